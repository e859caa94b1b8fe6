#pragma once

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

// Collects, while it lives, the messages of one logging category instead of
// printing them, so that a test can compare the exact diagnostics of a run.
// Messages of other categories pass on to the previous handler. One log at
// a time.
class DiagnosticLog
{
public:
    explicit DiagnosticLog(const char *category);
    ~DiagnosticLog();
    DiagnosticLog(const DiagnosticLog &) = delete;
    DiagnosticLog &operator=(const DiagnosticLog &) = delete;

    const QStringList &messages() const { return m_messages; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QByteArray m_category;
    QStringList m_messages;
    QtMessageHandler m_previousHandler = nullptr;
};
