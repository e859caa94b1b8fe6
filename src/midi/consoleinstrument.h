#pragma once

#include "abstractinstrument.h"

#include <QByteArray>

#include <mutex>

// An instrument without a port that prints each note event as one line on
// the standard output, for a person and for awk alike: the time in seconds
// from the start, the record's label (blanks made underscores, "-" when
// empty), "ch" and its MIDI channels (counted from 1, comma-separated, "-"
// for none), "on" or "off", the note's name (C3 is 60, as the document's
// pitch lists write it) and number, "vel" and the velocity:
//
//       1.250  Flute  ch 1  on   E3   64  vel 90
//
// Program changes and user messages are not notes and are left out.
//
// Threads: as AbstractInstrument; the label and channels are read on the
// controller's thread and printed on the output thread.
class ConsoleInstrument : public AbstractInstrument
{
    Q_OBJECT

public:
    explicit ConsoleInstrument(QmdItemId id, QObject *parent = nullptr);
    ~ConsoleInstrument() override;

    static QString staticTypeName();
    static QString staticDisplayName();

    QString typeName() const override;
    QString displayName() const override;

    // The line for a note event at the time, without its newline; empty
    // for an event that is no note.
    static QByteArray describe(const InstrumentEvent &event, double seconds,
                               const QByteArray &label, const QByteArray &channels);
    // "C3" for 60, "C#3" for 61.
    static QByteArray noteName(int note);

protected:
    void applyInstrumentData(const QStringList &keys) override;
    bool sendBatch(const QList<InstrumentEvent> &batch) override;

private:
    std::mutex m_mutex;
    QByteArray m_label = QByteArrayLiteral("-");
    QByteArray m_channels = QByteArrayLiteral("-");
};
