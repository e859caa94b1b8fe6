#include "keycombobox.h"

#include <QSignalBlocker>

KeyComboBox::KeyComboBox(QWidget *parent) : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
}

QString KeyComboBox::currentKey() const
{
    return currentData().toString();
}

void KeyComboBox::setCurrentKey(const QString &key)
{
    refill(key);
}

void KeyComboBox::setKeys(const QStringList &keys)
{
    m_keys = keys;
    refill(currentKey());
}

void KeyComboBox::refill(const QString &current)
{
    const QSignalBlocker blocker(this);
    clear();
    for (const QString &key : std::as_const(m_keys))
        addItem(key, key);
    if (!current.isEmpty() && !m_keys.contains(current))
        addItem(tr("%1 %2").arg(current, tr("(offline)")), current);
    setCurrentIndex(current.isEmpty() ? -1 : findData(current));
}
