#include "qmdludravoicehost.h"

#include "qmdludra.h"
#include "qmdludracontroller.h"

using QmdLudra::FromNodeKey;
using QmdLudra::TickPosKey;
using QmdLudra::ToNodeKey;

QmdLudraVoiceHost::QmdLudraVoiceHost(QmdLudraController *controller) : m_controller(controller) {}

QVariant QmdLudraVoiceHost::elementValue(QmdItemId element, const QString &key) const
{
    const std::lock_guard locker(m_controller->dataLock());
    const QmdIndex record = m_controller->index(element, m_controller->elementsIndex());
    return m_controller->data(m_controller->index(key, record));
}

bool QmdLudraVoiceHost::hasElement(QmdItemId element) const
{
    const std::lock_guard locker(m_controller->dataLock());
    return m_controller->isValid(m_controller->index(element, m_controller->elementsIndex()));
}

bool QmdLudraVoiceHost::hasElementState(QmdItemId element) const
{
    const std::lock_guard locker(m_controller->dataLock());
    return m_controller->isValid(m_controller->index(element, m_controller->elementStatesIndex()));
}

QVariant QmdLudraVoiceHost::elementStateValue(QmdItemId element, const QString &key) const
{
    const std::lock_guard locker(m_controller->dataLock());
    const QmdIndex state = m_controller->index(element, m_controller->elementStatesIndex());
    return m_controller->data(m_controller->index(key, state));
}

void QmdLudraVoiceHost::writeElementState(QmdItemId element, const QHash<QString, QVariant> &values)
{
    // The check and the write form one step, so a record removed in between
    // is not written to as if it were the root.
    const std::lock_guard locker(m_controller->dataLock());
    const QmdIndex state = m_controller->index(element, m_controller->elementStatesIndex());
    if (!m_controller->isValid(state))
        return;
    // Counters that playback advances are no edit of the user's.
    m_controller->requestSetData(values, state,
                                 QmdRequestOptions(Qmd::NoUndo, QStringLiteral("Playback")));
}

qint64 QmdLudraVoiceHost::travelTime(QmdItemId edge, bool *ok) const
{
    const std::lock_guard locker(m_controller->dataLock());
    const QmdIndex elements = m_controller->elementsIndex();
    const QmdIndex record = m_controller->index(edge, elements);
    const auto node = [&](const QString &key) {
        return m_controller->index(m_controller->data(m_controller->index(key, record)).toUInt(),
                                   elements);
    };
    const QmdIndex from = node(FromNodeKey);
    const QmdIndex to = node(ToNodeKey);
    if (!m_controller->isValid(record) || !m_controller->isValid(from) ||
        !m_controller->isValid(to)) {
        *ok = false;
        return 0;
    }
    const auto position = [&](const QmdIndex &node) {
        return m_controller->data(m_controller->index(TickPosKey, node)).value<QmdLudra::TickPos>();
    };
    const int path =
        m_controller->data(m_controller->index(QStringLiteral("Path"), record)).toInt();
    const qint64 length = QmdLudra::edgeLength(path, position(from), position(to), ok);
    return *ok ? length : 0;
}
