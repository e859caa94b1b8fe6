#pragma once

#include <QList>
#include <QMetaType>
#include <QSet>
#include <QtGlobal>

// Identifier of an item inside one IntDict container. 0 is never an
// identifier: it stands for "no item" and is what allocation returns when it
// fails.
using QmdItemId = quint32;
// Identifier of one request made to a controller; 0 means "no request".
using QmdRequestId = quint32;

using QmdItemIdList = QList<QmdItemId>;
using QmdItemIdSet = QSet<QmdItemId>;

namespace Qmd {

// The kind of an item of the document tree.
enum ContainerType {
    NoContainer = 0, // a plain value, an invalid value or no item at all
    IntDict = 1,     // dictionary keyed by QmdItemId
    StrDict = 2      // dictionary keyed by non-empty strings
};

// Flags reported with the end of every request.
using RequestFlags = quint32;
enum RequestFlag : quint32 {
    NoUndo = 1 // the changes are made but not recorded for undo
};

} // namespace Qmd

Q_DECLARE_METATYPE(Qmd::ContainerType)
