#pragma once

#include "abstractinstrument.h"

// An instrument without a port: it prints every event it sends to the
// standard output, for following a document's output without MIDI.
class DebugInstrument : public AbstractInstrument
{
    Q_OBJECT

public:
    explicit DebugInstrument(QmdItemId id, QObject *parent = nullptr);
    ~DebugInstrument() override;

    static QString staticTypeName();
    static QString staticDisplayName();

    QString typeName() const override;
    QString displayName() const override;

protected:
    // There is no port to follow.
    void applyInstrumentData(const QStringList &keys) override;
    bool sendBatch(const QList<InstrumentEvent> &batch) override;
};
