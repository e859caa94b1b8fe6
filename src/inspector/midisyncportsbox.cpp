#include "midisyncportsbox.h"

#include "qmdludracontroller.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString MidiSyncKey = QStringLiteral("MidiSync");
} // namespace

MidiSyncPortsBox::MidiSyncPortsBox(Direction direction, QWidget *parent)
    : QFrame(parent), m_direction(direction), m_entries(new QVBoxLayout(this)),
      m_checkBoxStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
    const QString name =
        direction == Inputs ? QStringLiteral("midiInputsBox") : QStringLiteral("midiOutputsBox");
    setObjectName(name);
    setStyleSheet(QStringLiteral("QWidget#%1 { background: rgb(223, 228, 234); "
                                 "border: 1px solid palette(mid); }")
                      .arg(name));
    // The check boxes sit on the box's light background whatever the
    // application's style.
    if (m_checkBoxStyle)
        m_checkBoxStyle->setParent(this);
    m_entries->setContentsMargins(6, 4, 6, 4);
    m_entries->setSpacing(2);
    rebuild();
}

MidiSyncPortsBox::~MidiSyncPortsBox()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
}

void MidiSyncPortsBox::setController(QmdLudraController *controller)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    QmdObserver::setController(controller);
    if (controller) {
        // Entries change in the container and inside each entry; a request
        // may touch several, so the list is rebuilt once it is done.
        const auto onChange = [this](const QmdIndex &parent) {
            const QmdIndex entries = container();
            if (parent == entries || m_controller->parent(parent) == entries)
                QTimer::singleShot(0, this, &MidiSyncPortsBox::rebuild);
        };
        using KeysSignal =
            void (QmdController::*)(const QmdIndex &, const QStringList &, QmdRequestId);
        m_connections = {
            connect(controller, KeysSignal(&QmdController::itemsChanged), this, onChange),
            connect(controller, KeysSignal(&QmdController::itemsRemoved), this, onChange),
            connect(controller, &QmdController::modelReset, this, &MidiSyncPortsBox::rebuild),
            connect(controller, &QObject::destroyed, this, [this] { setController(nullptr); })};
    }
    rebuild();
}

void MidiSyncPortsBox::setPorts(const QStringList &ports)
{
    m_ports = ports;
    rebuild();
}

QmdIndex MidiSyncPortsBox::container() const
{
    if (!m_controller)
        return QmdIndex();
    return m_direction == Inputs ? m_controller->syncMidiInputsIndex()
                                 : m_controller->syncMidiOutputsIndex();
}

void MidiSyncPortsBox::rebuild()
{
    while (QLayoutItem *item = m_entries->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QmdIndex entries = container();
    const QStringList named = m_controller ? m_controller->keys(entries) : QStringList();
    QStringList all = m_ports + named;
    all.sort(Qt::CaseInsensitive);
    all.removeDuplicates();
    for (const QString &port : std::as_const(all)) {
        const bool online = m_ports.contains(port);
        const QmdIndex entry = m_controller ? m_controller->index(port, entries) : QmdIndex();
        const bool sync =
            entry.isValid() && m_controller->data(m_controller->index(MidiSyncKey, entry)).toBool();
        auto *row = new QWidget(this);
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *label = new QLabel(online ? port : tr("%1 %2").arg(port, tr("(offline)")), row);
        label->setEnabled(online);
        label->setToolTip(port);
        auto *check = new QCheckBox(tr("Midi Sync"), row);
        if (m_checkBoxStyle)
            check->setStyle(m_checkBoxStyle);
        check->setChecked(sync);
        check->setProperty("port", port);
        layout->addWidget(label, 1);
        layout->addWidget(check);
        connect(check, &QCheckBox::toggled, this,
                [this, port, online](bool checked) { onSyncToggled(port, online, checked); });
        m_entries->addWidget(row);
    }
    if (all.isEmpty()) {
        auto *none =
            new QLabel(m_direction == Inputs ? tr("No MIDI inputs") : tr("No MIDI outputs"), this);
        none->setEnabled(false);
        m_entries->addWidget(none);
    }
}

void MidiSyncPortsBox::onSyncToggled(const QString &port, bool online, bool checked)
{
    if (!m_controller)
        return;
    const bool inputs = m_direction == Inputs;
    const QmdIndex entries = container();
    QmdIndex entry = m_controller->index(port, entries);
    if (!entry.isValid()) {
        if (!checked)
            return;
        const QString text =
            inputs ? tr("Create Midi Input Port Entry") : tr("Create Midi Output Port Entry");
        const QmdRequestId rid = m_controller->requestSetType(port, Qmd::StrDict, entries, text);
        entry = m_controller->index(port, entries);
        m_controller->requestSetData(MidiSyncKey, true, entry, QmdRequestOptions(0, text, rid));
    } else if (!checked && !online) {
        m_controller->requestRemove(port, entries,
                                    inputs ? tr("Remove Offline Non-MidiSync Input Port Entry")
                                           : tr("Remove Offline Non-MidiSync Output Port Entry"));
    } else {
        m_controller->requestSetData(MidiSyncKey, checked, entry, tr("Midi Sync"));
    }
}
