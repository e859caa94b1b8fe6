#pragma once

#include "qmdmodel.h"

// Text forms of a document tree for tests: whole trees compare in one
// assertion, and signal logs name parents by their path from the root.
class ModelDump
{
public:
    // The tree below index (the root for an index that is not valid), with
    // the items of every container sorted by identifier or key, values with
    // their type: I{1=int:5,2=S{a=QString:x}}.
    static QString tree(const QmdModel &model, const QmdIndex &index = QmdIndex());
    // The identifiers and keys from the root to index: "/3/Name"; "/" for
    // the root.
    static QString path(const QmdModel &model, const QmdIndex &index);
    // type:value, or "-" for an invalid value.
    static QString value(const QVariant &value);
};
