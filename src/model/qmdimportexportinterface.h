#pragma once

#include "qmddirectmodelinterface.h"

#include <QIODevice>
#include <QObject>
#include <QPointer>

// Base of the objects that read a document from a device into a model or
// write a model to a device. The device belongs to the caller, who opens it
// before and closes it after; a device destroyed meanwhile reads as null.
class QmdImportExportInterface : public QObject, public QmdDirectModelInterface
{
    Q_OBJECT

public:
    QmdImportExportInterface(QmdModel *model, QIODevice *device, QObject *parent = nullptr);

    QIODevice *device() const { return m_device.data(); }

    // Both bases name these; a call with an index argument means the model.
    using QmdDirectModelInterface::children;
    using QmdDirectModelInterface::parent;
    using QObject::children;
    using QObject::parent;

Q_SIGNALS:
    // For readers and writers that work in the background; the synchronous
    // property-list reader and writer emit neither.
    void progressChanged(double progress);
    void finished();

private:
    QPointer<QIODevice> m_device;
};
