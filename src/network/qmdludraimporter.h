#pragma once

#include "qmdpropertylistimporter.h"

// Reads what QmdLudraExporter writes back into values, accepting the names
// older documents used as well.
class QmdLudraImporter : public QmdPropertyListImporter
{
    Q_OBJECT

public:
    using QmdPropertyListImporter::QmdPropertyListImporter;

protected:
    QVariant readValue(const QString &tag, const QString &text, const QmdIndex &index) override;
};
