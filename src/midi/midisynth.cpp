#include "midisynth.h"

#include "inprocessmidiport.h"
#include "midiinput.h"
#include "midisynthworker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// The mutex of the synthesizer, and the worker it guards. A standard mutex
// and condition variable, so that a thread checker sees the ordering they
// make. It is also the in-process port, which may outlive the synthesizer
// in a sender's hands: it then refuses what it is given.
struct MidiSynth::Shared : public InProcessMidiPort
{
    std::mutex mutex;
    std::condition_variable readyOrEnded;
    MidiSynthWorker *worker = nullptr;
    bool ended = false;

    bool receive(const QList<QByteArray> &messages) override
    {
        const std::lock_guard locker(mutex);
        if (ended)
            return false;
        // Before the thread has made its worker, messages are dropped: a
        // note played then would only have sounded late.
        if (worker) {
            for (const QByteArray &message : messages)
                worker->play(message);
        }
        return true;
    }
};

MidiSynth::MidiSynth(const QString &configuredSoundBank, QObject *parent)
    : QThread(parent), m_configuredSoundBank(configuredSoundBank),
      m_shared(std::make_shared<Shared>())
{
    MidiInstrumentId::registerMetaType();
    if (!InProcessMidiPort::add(portName(), m_shared))
        qWarning("MidiSynth: another synthesizer of this process has the port %s",
                 qPrintable(portName()));
    start(QThread::HighestPriority);
}

MidiSynth::~MidiSynth()
{
    InProcessMidiPort::remove(portName(), m_shared.get());
    quit();
    wait();
    // The thread's last step was under the mutex: taking it orders
    // everything the thread did before what follows here.
    const std::lock_guard locker(m_shared->mutex);
}

template <class T, class F> T MidiSynth::withWorker(const T &empty, F &&fn) const
{
    const std::lock_guard locker(m_shared->mutex);
    return m_shared->worker ? fn(m_shared->worker) : empty;
}

bool MidiSynth::isReady() const
{
    return withWorker(false, [](MidiSynthWorker *worker) { return worker->isReady(); });
}

bool MidiSynth::waitForReady(QDeadlineTimer deadline) const
{
    std::unique_lock locker(m_shared->mutex);
    const auto settled = [this] {
        return m_shared->ended || (m_shared->worker && m_shared->worker->isReady());
    };
    if (deadline.isForever())
        m_shared->readyOrEnded.wait(locker, settled);
    else
        m_shared->readyOrEnded.wait_until(locker, deadline.deadline<std::chrono::steady_clock>(),
                                          settled);
    return m_shared->worker && m_shared->worker->isReady();
}

MidiInput *MidiSynth::input() const
{
    return withWorker<MidiInput *>(nullptr,
                                   [](MidiSynthWorker *worker) { return worker->input(); });
}

void MidiSynth::setInput(MidiInput *input)
{
    const std::lock_guard locker(m_shared->mutex);
    MidiSynthWorker *worker = m_shared->worker;
    if (!worker || worker->input() == input)
        return;
    if (MidiInput *old = worker->input())
        QObject::disconnect(old, nullptr, worker, nullptr);
    worker->setInput(input);
    if (!input)
        return;
    // Both run on the emitting thread and reach the worker through the
    // shared state under its mutex, never through a worker pointer that
    // the synthesizer's thread may be deleting meanwhile.
    const std::shared_ptr<Shared> shared = m_shared;
    connect(
        input, &MidiInput::readyRead, worker,
        [shared](MidiInput *from) {
            const std::lock_guard locker(shared->mutex);
            if (shared->worker)
                shared->worker->onMidiInputReadyRead(from);
        },
        Qt::DirectConnection);
    connect(
        input, &QObject::destroyed, worker,
        [shared, input] {
            const std::lock_guard locker(shared->mutex);
            if (shared->worker && shared->worker->input() == input)
                shared->worker->setInput(nullptr);
        },
        Qt::DirectConnection);
}

bool MidiSynth::resetSoundBank()
{
    return withWorker(false, [](MidiSynthWorker *worker) { return worker->resetSoundBank(); });
}

bool MidiSynth::loadSoundBank(const QString &fileName, QString *error)
{
    const std::lock_guard locker(m_shared->mutex);
    if (!m_shared->worker) {
        if (error)
            *error = QStringLiteral("the synthesizer is not running");
        return false;
    }
    return m_shared->worker->loadSoundBank(fileName, error);
}

QString MidiSynth::soundBankName() const
{
    return withWorker(QString(), [](MidiSynthWorker *worker) { return worker->soundBankName(); });
}

QString MidiSynth::soundBankFileName() const
{
    return withWorker(QString(),
                      [](MidiSynthWorker *worker) { return worker->soundBankFileName(); });
}

int MidiSynth::instrumentCount() const
{
    return withWorker(0, [](MidiSynthWorker *worker) { return worker->instrumentCount(); });
}

MidiInstrumentId MidiSynth::instrumentId(int index) const
{
    return withWorker(MidiInstrumentId(),
                      [index](MidiSynthWorker *worker) { return worker->instrumentId(index); });
}

int MidiSynth::indexOfInstrument(const MidiInstrumentId &id) const
{
    return withWorker(0, [&id](MidiSynthWorker *worker) { return worker->indexOfInstrument(id); });
}

QString MidiSynth::instrumentName(int index) const
{
    return withWorker(QString(),
                      [index](MidiSynthWorker *worker) { return worker->instrumentName(index); });
}

MidiInstrumentId MidiSynth::instrumentOfChannel(int channel) const
{
    return withWorker(MidiInstrumentId(), [channel](MidiSynthWorker *worker) {
        return worker->instrumentOfChannel(channel);
    });
}

void MidiSynth::setInstrumentOfChannel(int channel, const MidiInstrumentId &instrument)
{
    const std::lock_guard locker(m_shared->mutex);
    if (m_shared->worker)
        m_shared->worker->setInstrumentOfChannel(channel, instrument);
}

QString MidiSynth::audioDriver() const
{
    return withWorker(QString(), [](MidiSynthWorker *worker) { return worker->audioDriver(); });
}

void MidiSynth::run()
{
    {
        const std::lock_guard locker(m_shared->mutex);
        auto *worker = new MidiSynthWorker(m_configuredSoundBank);
        connect(worker, &MidiSynthWorker::instrumentChanged, this, &MidiSynth::instrumentChanged,
                Qt::QueuedConnection);
        connect(worker, &MidiSynthWorker::soundBankChanged, this, &MidiSynth::soundBankChanged,
                Qt::QueuedConnection);
        m_shared->worker = worker;
        worker->initialise();
    }
    m_shared->readyOrEnded.notify_all();
    exec();
    {
        // Deleting the worker also ends its input's connections; a delivery
        // under way has the mutex, and finds no worker after this.
        const std::lock_guard locker(m_shared->mutex);
        delete std::exchange(m_shared->worker, nullptr);
        m_shared->ended = true;
    }
    m_shared->readyOrEnded.notify_all();
}
