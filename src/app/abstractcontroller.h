#pragma once

#include "mvcbase.h"

#include <QList>

class AbstractModel;

// A controller of the settings framework: the one way from views to a model
// and back. Views attach (CViewAttachEvent) and are told so
// (VChangeControllerEvent); when the controller changes its model
// (CChangeModelEvent) it tells the model (MChangeControllerEvent) and its
// views (VModelChangedEvent).
//
// Threads: as MvcBase.
class AbstractController : public MvcBase
{
public:
    explicit AbstractController(AbstractModel *model);

    // The model; nullptr once it has gone.
    AbstractModel *model() const;

protected:
    bool mvcEvent(QEvent *event) override;

    // The model is another one: whatever shows its values shows them again.
    virtual void modelChanged() {}

    // Posts the event to the model.
    void postToModel(QEvent *event) const;
    // Posts a copy of the event, made by makeEvent, to every attached view.
    template <class F> void postToViews(F &&makeEvent) const
    {
        for (const QPointer<QObject> &view : m_views)
            post(view, makeEvent());
    }

private:
    void setModelMailbox(QObject *model);

    QPointer<QObject> m_model;
    QList<QPointer<QObject>> m_views;
};
