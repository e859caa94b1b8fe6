#include "midiportlister.h"

#include "midibackend.h"

#include <QCoreApplication>

namespace {

std::unique_ptr<RtMidiIn> &inputLister()
{
    static std::unique_ptr<RtMidiIn> lister;
    return lister;
}

std::unique_ptr<RtMidiOut> &outputLister()
{
    static std::unique_ptr<RtMidiOut> lister;
    return lister;
}

} // namespace

QMutex &MidiPortLister::mutex()
{
    static QMutex m;
    return m;
}

std::atomic<bool> &MidiPortLister::failed()
{
    static std::atomic<bool> flag{false};
    return flag;
}

QSet<QString> MidiPortLister::inputPortNames()
{
    QMutexLocker locker(&mutex());
    return portNames(inputLister());
}

QSet<QString> MidiPortLister::outputPortNames()
{
    QMutexLocker locker(&mutex());
    return portNames(outputLister());
}

template <class T> QSet<QString> MidiPortLister::portNames(std::unique_ptr<T> &lister)
{
    QSet<QString> names;
    if (!lister) {
        lister = MidiBackend::create<T>(
            QStringLiteral("Ludra MIDI port list %1").arg(QCoreApplication::applicationPid()),
            &failed());
    }
    if (!lister)
        return names;
    failed().store(false);
    try {
        const unsigned int count = lister->getPortCount();
        for (unsigned int i = 0; i < count; ++i)
            names.insert(QString::fromStdString(lister->getPortName(i)));
    } catch (const RtMidiError &error) {
        qCInfo(lcLudraMidi, "%s", error.what());
        failed().store(true);
    }
    if (failed().load()) {
        // A service that went away, or broke the object: a fresh one next
        // time may find it back.
        MidiBackend::destroy(std::move(lister));
        names.clear();
    }
    return names;
}
