#include "abstractcontroller.h"

#include "abstractmodel.h"
#include "cevent.h"
#include "mevent.h"
#include "vevent.h"

AbstractController::AbstractController(AbstractModel *model)
{
    setModelMailbox(model ? model->mailbox() : nullptr);
}

AbstractModel *AbstractController::model() const
{
    return dynamic_cast<AbstractModel *>(participant(m_model));
}

void AbstractController::postToModel(QEvent *event) const
{
    post(m_model, event);
}

void AbstractController::setModelMailbox(QObject *model)
{
    m_model = model;
    post(model, new MChangeControllerEvent(mailbox()));
}

bool AbstractController::mvcEvent(QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == CViewAttachEvent::staticType()) {
        QObject *view = static_cast<CViewAttachEvent *>(event)->view;
        if (view && !m_views.contains(view)) {
            m_views.append(view);
            post(view, new VChangeControllerEvent(mailbox()));
        }
        return true;
    }
    if (type == CViewDetachEvent::staticType()) {
        QObject *view = static_cast<CViewDetachEvent *>(event)->view;
        m_views.removeIf([view](const QPointer<QObject> &v) { return v.isNull() || v == view; });
        post(view, new VChangeControllerEvent(nullptr));
        return true;
    }
    if (type == CChangeModelEvent::staticType()) {
        setModelMailbox(static_cast<CChangeModelEvent *>(event)->model);
        modelChanged();
        postToViews([] { return new VModelChangedEvent; });
        return true;
    }
    return false;
}
