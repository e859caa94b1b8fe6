#include "flashingvalidator.h"
#include "listedit.h"
#include "midievent.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(ListSyntax::Kind)
Q_DECLARE_METATYPE(QValidator::State)

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

} // namespace

class TestListEdit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void grammar_data();
    void grammar();
    void typedLettersTakeTheCaseAndRefusalsFlash();
    void anEditEndsOnceOnAnAcceptableText();
    void midiEntry_data();
    void midiEntry();
};

void TestListEdit::grammar_data()
{
    QTest::addColumn<ListSyntax::Kind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QValidator::State>("state");
    const auto row = [](const char *name, ListSyntax::Kind kind, const char *text,
                        QValidator::State state) {
        QTest::newRow(name) << kind << QString::fromLatin1(text) << state;
    };
    using L = ListSyntax;
    using V = QValidator;
    row("pitch: empty", L::PitchList, "", V::Acceptable);
    row("pitch: notes and a step", L::PitchList, "C#4,E4,+3", V::Acceptable);
    row("pitch: lowest octave, highest step", L::PitchList, "F#-2,-127", V::Acceptable);
    row("pitch: no E sharp", L::PitchList, "E#4", V::Invalid);
    row("pitch: no octave 9", L::PitchList, "C9", V::Invalid);
    row("pitch: step too far", L::PitchList, "+128", V::Invalid);
    row("pitch: lower case is refused", L::PitchList, "c4", V::Invalid);
    row("pitch: unfinished", L::PitchList, "C4,G", V::Intermediate);
    row("velocity: minus zero", L::VelocityList, "-0,127,+5", V::Acceptable);
    row("velocity: 128", L::VelocityList, "128", V::Invalid);
    row("velocity: +128", L::VelocityList, "+128", V::Invalid);
    row("velocity: sign alone", L::VelocityList, "64,+", V::Intermediate);
    row("duration: operators and percent", L::DurationList, "*2,/3,+.5,-25%", V::Acceptable);
    row("duration: four and four digits", L::DurationList, "1000.2345", V::Acceptable);
    row("duration: five digits", L::DurationList, "12345", V::Invalid);
    row("duration: lone percent", L::DurationList, "%", V::Invalid);
    row("duration: no product of a percent", L::DurationList, "*5%", V::Invalid);
    row("message: empty messages", L::UserMidiMessageList, "0x90 0x3c 0x40,,0xb", V::Acceptable);
    row("message: upper-case X", L::UserMidiMessageList, "0X90", V::Invalid);
    row("message: upper-case digit", L::UserMidiMessageList, "0xB0", V::Invalid);
    row("message: open byte", L::UserMidiMessageList, "0x90 0", V::Intermediate);
    row("scale: empty entry", L::ScaleList, "3/4,,5", V::Acceptable);
    row("scale: over zero", L::ScaleList, "3/0", V::Invalid);
    row("scale: leading zero", L::ScaleList, "3/04", V::Invalid);
    row("scale: open fraction", L::ScaleList, "3/", V::Intermediate);
    row("single pitch", L::SinglePitch, "A#8", V::Acceptable);
    row("single pitch: empty", L::SinglePitch, "", V::Intermediate);
    row("single pitch: no list", L::SinglePitch, "C3,E3", V::Invalid);
    row("single pitch: no step", L::SinglePitch, "+3", V::Invalid);
    row("single velocity", L::SingleVelocity, "127", V::Acceptable);
    row("single velocity: no sign", L::SingleVelocity, "+1", V::Invalid);
    row("single duration", L::SingleDuration, ".5", V::Acceptable);
    row("single duration: no operator", L::SingleDuration, "*2", V::Invalid);
}

void TestListEdit::grammar()
{
    QFETCH(ListSyntax::Kind, kind);
    QFETCH(QString, text);
    QFETCH(QValidator::State, state);
    ListEdit edit(kind);
    int pos = int(text.size());
    QCOMPARE(edit.validator()->validate(text, pos), state);
    // A refused text is signalled; an accepted one is not.
    QCOMPARE(edit.flashingValidator()->isFlashing(), state == QValidator::Invalid);
}

void TestListEdit::typedLettersTakeTheCaseAndRefusalsFlash()
{
    ListEdit pitches(ListSyntax::PitchList);
    QTest::keyClicks(&pitches, "c4,f#3");
    QCOMPARE(pitches.text(), QStringLiteral("C4,F#3"));
    QVERIFY(!pitches.flashingValidator()->isFlashing());
    QTest::keyClicks(&pitches, "e");
    QCOMPARE(pitches.text(), QStringLiteral("C4,F#3"));
    QVERIFY(pitches.flashingValidator()->isFlashing());
    QTRY_VERIFY(!pitches.flashingValidator()->isFlashing());

    ListEdit messages(ListSyntax::UserMidiMessageList);
    QTest::keyClicks(&messages, "0XB0 0X4");
    QCOMPARE(messages.text(), QStringLiteral("0xb0 0x4"));
}

// Return on a trailing comma drops it and reports the edit; leaving the
// field then reports nothing more. An unfinished text is kept, unreported.
void TestListEdit::anEditEndsOnceOnAnAcceptableText()
{
    QWidget window;
    auto *edit = new ListEdit(ListSyntax::VelocityList, &window);
    auto *other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy edits(edit, &BoundLineEdit::valueEdited);

    edit->setFocus();
    QTest::keyClicks(edit, "64,");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(edit->text(), QStringLiteral("64"));
    QCOMPARE(edits.count(), 1);
    other->setFocus();
    QCOMPARE(edits.count(), 1);

    edit->setFocus();
    QTest::keyClicks(edit, ",+");
    other->setFocus();
    QCOMPARE(edit->text(), QStringLiteral("64,+"));
    QCOMPARE(edits.count(), 1);
    QVERIFY(edit->flashingValidator()->isFlashing());
}

void TestListEdit::midiEntry_data()
{
    QTest::addColumn<ListSyntax::Kind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("result");
    const QByteArray e3 = bytes({0x90, 64, 100});
    QTest::newRow("into an empty field") << ListSyntax::PitchList << "" << 0 << 0 << e3 << "E3";
    QTest::newRow("at the end") << ListSyntax::PitchList << "C3" << 2 << 2 << e3 << "C3,E3";
    QTest::newRow("before a comma")
        << ListSyntax::PitchList << "C3,G3" << 2 << 2 << e3 << "C3,E3,G3";
    QTest::newRow("after a comma")
        << ListSyntax::PitchList << "C3,G3" << 3 << 3 << e3 << "C3,E3,G3";
    QTest::newRow("at the start") << ListSyntax::PitchList << "G3" << 0 << 0 << e3 << "E3,G3";
    QTest::newRow("over a selection")
        << ListSyntax::PitchList << "C3,D3,G3" << 3 << 5 << e3 << "C3,E3,G3";
    QTest::newRow("lowest note") << ListSyntax::PitchList << "" << 0 << 0 << bytes({0x90, 1, 1})
                                 << "C#-2";
    QTest::newRow("a velocity") << ListSyntax::VelocityList << "64" << 2 << 2 << e3 << "64,100";
    QTest::newRow("a note-off adds nothing")
        << ListSyntax::PitchList << "C3" << 2 << 2 << bytes({0x90, 64, 0}) << "C3";
    QTest::newRow("another channel adds nothing")
        << ListSyntax::VelocityList << "" << 0 << 0 << bytes({0x91, 64, 90}) << "";
    QTest::newRow("durations take no notes")
        << ListSyntax::DurationList << "1" << 1 << 1 << e3 << "1";
    QTest::newRow("any message, in lower case")
        << ListSyntax::UserMidiMessageList << "0x90" << 4 << 4 << bytes({0xB0, 0x40, 0x7F})
        << "0x90,0xb0 0x40 0x7f";
    QTest::newRow("a single pitch is replaced")
        << ListSyntax::SinglePitch << "C3" << 2 << 2 << e3 << "E3";
}

// As the application delivers it: an event to the focused field.
void TestListEdit::midiEntry()
{
    QFETCH(ListSyntax::Kind, kind);
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QByteArray, message);
    QFETCH(QString, result);
    ListEdit edit(kind);
    edit.setText(text);
    edit.setSelection(from, to - from);
    QSignalSpy edited(&edit, &QLineEdit::textEdited);
    MidiEvent event(0, message);
    QCoreApplication::sendEvent(&edit, &event);
    QCOMPARE(edit.text(), result);
    QCOMPARE(event.isAccepted(), result != text);
    QCOMPARE(edited.count(), result != text ? 1 : 0);
}

QTEST_MAIN(TestListEdit)
#include "tst_listedit.moc"
