#include "abstractmodel.h"

#include "mevent.h"

bool AbstractModel::mvcEvent(QEvent *event)
{
    if (event->type() == MChangeControllerEvent::staticType()) {
        m_controller = static_cast<MChangeControllerEvent *>(event)->controller;
        return true;
    }
    return false;
}
