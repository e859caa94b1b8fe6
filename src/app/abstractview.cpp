#include "abstractview.h"

#include "abstractcontroller.h"
#include "cevent.h"
#include "vevent.h"

#include <utility>

AbstractView::~AbstractView()
{
    // The controller drops a view whose mailbox has gone; telling it keeps
    // its list short at once.
    post(m_requested, new CViewDetachEvent(mailbox()));
}

void AbstractView::attach(AbstractController *controller)
{
    detach();
    m_requested = controller ? controller->mailbox() : nullptr;
    post(m_requested, new CViewAttachEvent(mailbox()));
}

void AbstractView::detach()
{
    post(std::exchange(m_requested, nullptr), new CViewDetachEvent(mailbox()));
}

AbstractController *AbstractView::controller() const
{
    return dynamic_cast<AbstractController *>(participant(m_controller));
}

bool AbstractView::mvcEvent(QEvent *event)
{
    if (event->type() == VChangeControllerEvent::staticType()) {
        QObject *controller = static_cast<VChangeControllerEvent *>(event)->controller;
        // An answer from a controller the view has left since is stale.
        if (controller && controller != m_requested)
            return true;
        m_controller = controller;
        controllerChanged();
        return true;
    }
    if (event->type() == VModelChangedEvent::staticType()) {
        modelChanged();
        return true;
    }
    return false;
}
