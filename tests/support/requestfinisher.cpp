#include "requestfinisher.h"

#include "qmdcontroller.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

bool finishRequest(QmdController *controller, QmdRequestId rid)
{
    bool finished = false;
    const QMetaObject::Connection connection =
        QObject::connect(controller, &QmdController::requestFinished,
                         [&finished, rid](QmdRequestId done, int) { finished |= done == rid; });
    const QDeadlineTimer deadline(5000);
    while (!finished && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QObject::disconnect(connection);
    return finished;
}
