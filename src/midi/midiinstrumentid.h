#pragma once

#include <QDebug>
#include <QMetaType>
#include <QtGlobal>

// An instrument of a General MIDI sound bank as MIDI selects it: bank
// select MSB (control change 0), bank select LSB (control change 32) and
// program. The bank is MSB * 128 + LSB, so a sound bank's drum kits in bank
// 128 have MSB 1 and LSB 0. A plain value; all 0 (the first piano) by
// default.
struct MidiInstrumentId
{
    quint8 bankMsb = 0;
    quint8 bankLsb = 0;
    quint8 program = 0;

    constexpr MidiInstrumentId() = default;
    constexpr MidiInstrumentId(quint8 msb, quint8 lsb, quint8 program)
        : bankMsb(msb), bankLsb(lsb), program(program)
    {
    }

    // The instrument of a bank number (0 to 16383) and a program (0 to 127).
    static constexpr MidiInstrumentId fromBank(int bank, int program)
    {
        return MidiInstrumentId(quint8((bank >> 7) & 0x7F), quint8(bank & 0x7F),
                                quint8(program & 0x7F));
    }
    constexpr int bank() const { return bankMsb * 128 + bankLsb; }

    // Makes the type known by the name "MidiInstrumentId" to queued signals.
    static void registerMetaType();

    friend constexpr auto operator<=>(const MidiInstrumentId &, const MidiInstrumentId &) = default;
};

QDebug operator<<(QDebug debug, const MidiInstrumentId &id);

Q_DECLARE_METATYPE(MidiInstrumentId)
