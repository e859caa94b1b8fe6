#include "midiinstrumentid.h"

void MidiInstrumentId::registerMetaType()
{
    qRegisterMetaType<MidiInstrumentId>("MidiInstrumentId");
}

QDebug operator<<(QDebug debug, const MidiInstrumentId &id)
{
    const QDebugStateSaver saver(debug);
    debug.nospace() << "MidiInstrumentId(" << int(id.bankMsb) << ", " << int(id.bankLsb) << ", "
                    << int(id.program) << ')';
    return debug;
}
