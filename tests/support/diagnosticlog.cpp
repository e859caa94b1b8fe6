#include "diagnosticlog.h"

namespace {
DiagnosticLog *currentLog = nullptr;
}

DiagnosticLog::DiagnosticLog(const char *category) : m_category(category)
{
    Q_ASSERT(!currentLog);
    currentLog = this;
    m_previousHandler = qInstallMessageHandler(&DiagnosticLog::handle);
}

DiagnosticLog::~DiagnosticLog()
{
    qInstallMessageHandler(m_previousHandler);
    currentLog = nullptr;
}

void DiagnosticLog::handle(QtMsgType type, const QMessageLogContext &context,
                           const QString &message)
{
    if (context.category && currentLog->m_category == context.category)
        currentLog->m_messages << message;
    else if (currentLog->m_previousHandler)
        currentLog->m_previousHandler(type, context, message);
}
