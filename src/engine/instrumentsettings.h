#pragma once

#include <QBitArray>
#include <QString>

// What an instrument record asks of the instrument that plays it, as the
// playback reads it from the document: the record's label, port, channels
// and program change.
struct InstrumentSettings
{
    // The names under which the record keeps them.
    static inline const QString LabelKey = QStringLiteral("Label");
    static inline const QString PortKey = QStringLiteral("MidiPort");
    static inline const QString ChannelsKey = QStringLiteral("MidiChannels");
    static inline const QString DoProgramChangeKey = QStringLiteral("MidiDoProgramChange");
    static inline const QString ProgramKey = QStringLiteral("MidiProgram");
    static inline const QString BankMsbKey = QStringLiteral("MidiBankMSB");
    static inline const QString BankLsbKey = QStringLiteral("MidiBankLSB");

    QString label;
    // Null when the record names no port.
    QString port;
    // Bit i is MIDI channel i, counting from 0.
    QBitArray channels;
    bool doProgramChange = false;
    // Counted from 1, as the document counts programs.
    int program = 0;
    int bankMsb = 0;
    int bankLsb = 0;
};
