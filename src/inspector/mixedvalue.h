#pragma once

#include <QMetaType>
#include <QVariant>

// What a bound inspector widget is given while the selected elements
// disagree on its key. The widgets show it as "mixed" and report it back,
// unchanged, until the user edits them, so that leaving such a widget alone
// writes nothing.
struct MixedValue
{
    friend bool operator==(const MixedValue &, const MixedValue &) { return true; }

    static QVariant variant();
    static bool is(const QVariant &value);
};

Q_DECLARE_METATYPE(MixedValue)

inline QVariant MixedValue::variant()
{
    return QVariant::fromValue(MixedValue());
}

inline bool MixedValue::is(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<MixedValue>();
}
