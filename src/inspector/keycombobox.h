#pragma once

#include <QComboBox>
#include <QStringList>

// A combo box of keys (such as MIDI port names) whose current key can be
// bound ("currentKey"): refilling the list keeps the current key, and a key
// that is not in the list stays current as an extra item marked "(offline)",
// so that a port that has gone away still shows as the one chosen. No key
// shows as no current item. Only the user's choice emits activated() and
// textActivated().
//
// GUI thread only.
class KeyComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString currentKey READ currentKey WRITE setCurrentKey)

public:
    explicit KeyComboBox(QWidget *parent = nullptr);

    QString currentKey() const;
    void setCurrentKey(const QString &key);

    // Shows these keys, in order, and keeps the current one; emits nothing.
    void setKeys(const QStringList &keys);
    QStringList keys() const { return m_keys; }

private:
    void refill(const QString &current);

    QStringList m_keys;
};
