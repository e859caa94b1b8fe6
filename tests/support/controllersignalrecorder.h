#pragma once

#include "qmdglobal.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

class QmdController;

// One signal emitted by a controller: its name (the id and key forms of
// itemsChanged/itemsRemoved are told apart by an "(ids)" or "(keys)" suffix),
// its request id (0 when it has none) and its other arguments.
struct ControllerEvent
{
    QString name;
    QmdRequestId rid = 0;
    QVariantList args;
};

// Records every signal of a controller, and of the document and element
// controller layers when present, in the order of emission.
class ControllerSignalRecorder : public QObject
{
    Q_OBJECT

public:
    explicit ControllerSignalRecorder(QmdController *controller, QObject *parent = nullptr);

    const QList<ControllerEvent> &events() const { return m_events; }
    QStringList names() const;
    QStringList namesFor(QmdRequestId rid) const;
    int count(const QString &name) const;
    // Events whose name is in names, in order.
    QList<ControllerEvent> only(const QStringList &names) const;
    void clear() { m_events.clear(); }

private:
    void record(const QString &name, QmdRequestId rid, const QVariantList &args = {});

    QList<ControllerEvent> m_events;
};
