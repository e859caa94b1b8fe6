#pragma once

#include "qmdpropertylistexporter.h"

// Writes a network document with its kinds, paths, signalling methods,
// positions, style colours and channel masks as readable text.
class QmdLudraExporter : public QmdPropertyListExporter
{
    Q_OBJECT

public:
    using QmdPropertyListExporter::QmdPropertyListExporter;

protected:
    void writeValue(const QmdIndex &index) override;
};
