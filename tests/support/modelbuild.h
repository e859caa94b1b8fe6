#pragma once

#include "qmdmodel.h"

// Builds document trees from the text form that ModelDump writes, so that a
// test states its input tree the way it states its expected one:
// "S{Elements=I{3=S{Name=QString:x,Hidden=bool:false}},Tempo=double:120}".
// Values are type:text, converted from the text by QVariant; "-" is an
// invalid value. Strings holding ',', '}' or '=' cannot be written this way.
class ModelBuild
{
public:
    // Replaces the root of the model by the tree; false on a syntax error.
    static bool tree(QmdModel &model, const QString &text);
    // The item at a path of keys and decimal identifiers ("/Elements/3"),
    // chosen by the kind of each container on the way; "/" is the root.
    static QmdIndex indexAt(const QmdModel &model, const QString &path);
};
