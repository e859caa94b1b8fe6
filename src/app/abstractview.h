#pragma once

#include "mvcbase.h"

class AbstractController;

// A view of the settings framework: it shows what its controller's model
// holds and asks the controller for changes. attach() asks a controller to
// take it on; the controller answers with VChangeControllerEvent, and from
// then on tells it of every change.
//
// Threads: as MvcBase.
class AbstractView : public MvcBase
{
public:
    ~AbstractView() override;

    // Asks to be attached to the controller, leaving the one before.
    void attach(AbstractController *controller);
    void detach();

    // The controller that has attached the view; nullptr before it has
    // answered, and once it has gone.
    AbstractController *controller() const;

protected:
    bool mvcEvent(QEvent *event) override;

    // The view has been attached to its controller, or detached: it shows
    // the model's values afresh.
    virtual void controllerChanged() {}
    // The controller uses another model.
    virtual void modelChanged() {}

    // Posts the event to the controller.
    void postToController(QEvent *event) const { post(m_controller, event); }

private:
    QPointer<QObject> m_requested;
    QPointer<QObject> m_controller;
};
