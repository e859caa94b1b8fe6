#include "waverenderer.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

// Frames rendered and written at once.
constexpr int BlockFrames = 4096;

void appendLittleEndian(QByteArray &bytes, quint32 value, int byteCount)
{
    for (int i = 0; i < byteCount; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

QByteArray waveHeader(int sampleRate, qint64 frames)
{
    constexpr int Channels = 2;
    constexpr int BytesPerSample = 2;
    const quint32 dataBytes = quint32(frames * Channels * BytesPerSample);
    QByteArray header;
    header.append("RIFF");
    appendLittleEndian(header, 36 + dataBytes, 4);
    header.append("WAVE");
    header.append("fmt ");
    appendLittleEndian(header, 16, 4);
    appendLittleEndian(header, 1, 2); // PCM
    appendLittleEndian(header, Channels, 2);
    appendLittleEndian(header, quint32(sampleRate), 4);
    appendLittleEndian(header, quint32(sampleRate * Channels * BytesPerSample), 4);
    appendLittleEndian(header, Channels * BytesPerSample, 2);
    appendLittleEndian(header, BytesPerSample * 8, 2);
    header.append("data");
    appendLittleEndian(header, dataBytes, 4);
    return header;
}

// Rounded to the nearest 16-bit value, halves away from zero, the same way
// on every run.
qint16 toSample(float value)
{
    if (std::isnan(value))
        return 0;
    const float scaled = std::clamp(value, -1.0f, 1.0f) * 32767.0f;
    return qint16(scaled + (scaled < 0 ? -0.5f : 0.5f));
}

} // namespace

WaveRenderer::WaveRenderer(int sampleRate) : m_engine(sampleRate, false) {}

bool WaveRenderer::loadSoundBank(const QString &fileName, QString *error)
{
    return m_engine.loadSoundBank(fileName, error);
}

QList<WaveRenderer::TimedMessage> WaveRenderer::timeline(const StandardMidiFile &file) const
{
    // Ticks to frames through the file's one tempo; a file without ticks
    // per quarter has all its events at the start.
    const double framesPerTick = file.ticksPerQuarter == 0
                                     ? 0.0
                                     : double(file.microsecondsPerQuarter) * sampleRate() /
                                           (double(file.ticksPerQuarter) * 1e6);
    QList<TimedMessage> messages;
    for (const StandardMidiFileTrack &track : file.tracks) {
        for (const StandardMidiFileEvent &event : track.events)
            messages.append({std::llround(double(std::max<qint64>(event.tick, 0)) * framesPerTick),
                             event.message});
    }
    // The tracks one after the other, each in its order, at equal frames.
    std::stable_sort(
        messages.begin(), messages.end(),
        [](const TimedMessage &a, const TimedMessage &b) { return a.frame < b.frame; });
    return messages;
}

qint64 WaveRenderer::frameCount(const StandardMidiFile &file) const
{
    const QList<TimedMessage> messages = timeline(file);
    const qint64 last = messages.isEmpty() ? 0 : messages.last().frame;
    return last + std::llround(TailSeconds * sampleRate());
}

bool WaveRenderer::render(const StandardMidiFile &file, QIODevice *device, QString *error)
{
    const auto failed = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!m_engine.hasSoundBank())
        return failed(QStringLiteral("no sound bank is loaded"));
    const QList<TimedMessage> messages = timeline(file);
    m_total = frameCount(file);
    m_written = 0;
    if (m_total > MaxFrames)
        return failed(QStringLiteral("the audio would be too long for a WAV file"));
    const QByteArray header = waveHeader(sampleRate(), m_total);
    if (device->write(header) != header.size())
        return failed(device->errorString());
    for (const TimedMessage &timed : messages) {
        if (!writeFrames(timed.frame - m_written, device))
            return failed(device->errorString());
        m_engine.play(timed.message);
    }
    if (!writeFrames(m_total - m_written, device))
        return failed(device->errorString());
    return true;
}

bool WaveRenderer::writeFrames(qint64 count, QIODevice *device)
{
    m_left.resize(BlockFrames);
    m_right.resize(BlockFrames);
    while (count > 0) {
        const int frames = int(std::min<qint64>(count, BlockFrames));
        m_engine.render(m_left.data(), m_right.data(), frames);
        m_block.resize(qsizetype(frames) * 4);
        char *out = m_block.data();
        for (int i = 0; i < frames; ++i) {
            qToLittleEndian(toSample(m_left[size_t(i)]), out);
            qToLittleEndian(toSample(m_right[size_t(i)]), out + 2);
            out += 4;
        }
        if (device->write(m_block) != m_block.size())
            return false;
        count -= frames;
        m_written += frames;
        if (m_progress)
            m_progress(m_written, m_total);
    }
    return true;
}
