#pragma once

#include "mvcbase.h"

// A model of the settings framework: it holds values, applies the change
// requests posted to it (MEvent) and tells its one controller what changed,
// which tells its views. The controller makes itself known by posting
// MChangeControllerEvent.
//
// Threads: as MvcBase.
class AbstractModel : public MvcBase
{
public:
    // The mailbox of the controller it notifies; nullptr before one is known.
    QObject *controllerMailbox() const { return m_controller; }

protected:
    bool mvcEvent(QEvent *event) override;
    // Posts a notification (a VEvent) to the controller.
    void notifyController(QEvent *event) const { post(m_controller, event); }

private:
    QPointer<QObject> m_controller;
};
