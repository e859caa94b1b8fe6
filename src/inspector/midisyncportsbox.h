#pragma once

#include "qmdindex.h"
#include "qmdobserver.h"

#include <QFrame>
#include <QList>
#include <QMetaObject>
#include <QStringList>

class QStyle;
class QVBoxLayout;
class QmdLudraController;

// The MIDI ports of one direction that a document may sync its clock with:
// one entry per port the application sees and per port the document names
// ("SyncMidiInputs" or "SyncMidiOutputs"), the latter marked "(offline)"
// when absent. Checking "Midi Sync" on a port the document does not name
// yet creates its entry; unchecking it on an offline port removes the
// entry, so that the list does not fill with ports long gone.
//
// GUI thread only.
class MidiSyncPortsBox : public QFrame, public QmdObserver<QmdLudraController>
{
    Q_OBJECT

public:
    enum Direction { Inputs, Outputs };

    explicit MidiSyncPortsBox(Direction direction, QWidget *parent = nullptr);
    ~MidiSyncPortsBox() override;

    void setController(QmdLudraController *controller) override;
    // The ports the application sees now.
    void setPorts(const QStringList &ports);

public Q_SLOTS:
    void rebuild();

private:
    QmdIndex container() const;
    void onSyncToggled(const QString &port, bool online, bool checked);

    const Direction m_direction;
    QStringList m_ports;
    QVBoxLayout *m_entries;
    QStyle *m_checkBoxStyle;
    QList<QMetaObject::Connection> m_connections;
};
