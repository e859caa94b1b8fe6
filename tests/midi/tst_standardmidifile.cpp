#include "midicsv.h"
#include "standardmidifile.h"

#include <QTemporaryDir>
#include <QTest>

// The files are read back with midicsv, a reader that is not ours.
namespace {

StandardMidiFileEvent midiEvent(qint64 tick, std::initializer_list<quint8> bytes)
{
    QByteArray message;
    for (quint8 byte : bytes)
        message.append(char(byte));
    return {tick, message};
}

// What midicsv lists for the file: header, tempo track, then the lines of
// the named tracks as given.
QStringList listing(const StandardMidiFile &file, const QStringList &trackLines)
{
    return QStringList{QStringLiteral("0, 0, Header, 1, %1, %2")
                           .arg(file.tracks.size() + 1)
                           .arg(file.ticksPerQuarter),
                       "1, 0, Start_track",
                       QStringLiteral("1, 0, Tempo, %1").arg(file.microsecondsPerQuarter),
                       "1, 0, End_track"} +
           trackLines + QStringList{"0, 0, End_of_file"};
}

} // namespace

class TestStandardMidiFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readBack_data();
    void readBack();

private:
    QStringList midicsv(const QByteArray &file);
};

QStringList TestStandardMidiFile::midicsv(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.mid"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {QStringLiteral("cannot write %1").arg(path)};
    file.close();
    return readWithMidicsv(path);
}

void TestStandardMidiFile::readBack_data()
{
    QTest::addColumn<StandardMidiFile>("file");
    QTest::addColumn<QStringList>("expected");

    StandardMidiFile file;
    file.tracks = {
        {QStringLiteral("Piano"),
         {midiEvent(0, {0xC0, 5}), midiEvent(0, {0x90, 60, 100}), midiEvent(0, {0x91, 64, 90}),
          midiEvent(480, {0x80, 60, 0}), midiEvent(480, {0x81, 64, 0}),
          midiEvent(960, {0xB2, 7, 80}), midiEvent(1000, {0xE3, 0x00, 0x40})}}};
    QTest::newRow("channel messages at equal and rising ticks; end at the last event")
        << file
        << listing(file, {"2, 0, Start_track", "2, 0, Title_t, \"Piano\"", "2, 0, Program_c, 0, 5",
                          "2, 0, Note_on_c, 0, 60, 100", "2, 0, Note_on_c, 1, 64, 90",
                          "2, 480, Note_off_c, 0, 60, 0", "2, 480, Note_off_c, 1, 64, 0",
                          "2, 960, Control_c, 2, 7, 80", "2, 1000, Pitch_bend_c, 3, 8192",
                          "2, 1000, End_track"});

    // Deltas on both sides of every length of a variable-length quantity:
    // 127 | 128, 16383 | 16384, 2097151 | 2097152, and the largest, 2^28 - 1.
    StandardMidiFileTrack track{QStringLiteral("Long"), {}};
    QStringList lines{"2, 0, Start_track", "2, 0, Title_t, \"Long\""};
    qint64 tick = 0;
    for (qint64 delta : {127, 1, 16383 - 128, 1, 2097151 - 16384, 1, 0x0FFFFFFF}) {
        tick += delta;
        track.events.append(midiEvent(tick, {0x99, 36, 1}));
        lines.append(QStringLiteral("2, %1, Note_on_c, 9, 36, 1").arg(tick));
    }
    lines.append(QStringLiteral("2, %1, End_track").arg(tick));
    file.tracks = {track};
    QTest::newRow("deltas of one to four bytes") << file << listing(file, lines);

    // 200 characters: the name's length takes two bytes.
    const QString name = QString(200, u'x');
    file.tracks = {
        {QStringLiteral("First"), {midiEvent(10, {0x90, 1, 2})}},
        {name, {}},
        {QStringLiteral("Third"), {midiEvent(5, {0x9F, 3, 4}), midiEvent(7, {0x8F, 3, 0})}}};
    QTest::newRow("several tracks, each timed from its own start; a long name")
        << file
        << listing(file,
                   {"2, 0, Start_track", "2, 0, Title_t, \"First\"", "2, 10, Note_on_c, 0, 1, 2",
                    "2, 10, End_track", "3, 0, Start_track",
                    QStringLiteral("3, 0, Title_t, \"%1\"").arg(name), "3, 0, End_track",
                    "4, 0, Start_track", "4, 0, Title_t, \"Third\"", "4, 5, Note_on_c, 15, 3, 4",
                    "4, 7, Note_off_c, 15, 3, 0", "4, 7, End_track"});

    file.tracks = {
        {QStringLiteral("Back"), {midiEvent(100, {0x90, 1, 2}), midiEvent(50, {0x80, 1, 0})}}};
    QTest::newRow("a tick that goes back is written at the one before")
        << file
        << listing(file,
                   {"2, 0, Start_track", "2, 0, Title_t, \"Back\"", "2, 100, Note_on_c, 0, 1, 2",
                    "2, 100, Note_off_c, 0, 1, 0", "2, 100, End_track"});
}

void TestStandardMidiFile::readBack()
{
    QFETCH(StandardMidiFile, file);
    QFETCH(QStringList, expected);

    QCOMPARE(midicsv(file.toByteArray()), expected);
}

QTEST_GUILESS_MAIN(TestStandardMidiFile)
#include "tst_standardmidifile.moc"
