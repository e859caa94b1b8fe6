#include "midisynth.h"
#include "midisynthdialog.h"
#include "soundbank.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTreeView>
#include <QtTest>

class TestMidiSynthDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void withoutABank();
    void showsTheBankAndFollowsTheChannel();
    void opensAndResetsBanks();
    void oneDialogKeepsItsGeometry();

private:
    template <class T> static T *child(QWidget *dialog, const char *name)
    {
        return dialog->findChild<T *>(QString::fromLatin1(name));
    }
};

void TestMidiSynthDialog::initTestCase()
{
    // No MIDI system and no audio output; settings of the test's own.
    qputenv("LUDRA_MIDI_API", "jack");
    qputenv("JACK_DEFAULT_SERVER", QByteArray("ludra-no-server-") +
                                       QByteArray::number(QCoreApplication::applicationPid()));
    qputenv("JACK_NO_START_SERVER", "1");
    qputenv("LUDRA_AUDIO_DRIVER", "none");
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("LudraTests"));
    QSettings().remove(MidiSynthDialog::geometryKey());
    QVERIFY2(QFile::exists(timGM6mbFileName()), "scripts/install-deps installs TimGM6mb");
}

// A synthesizer whose thread has ended answers as one without a bank.
void TestMidiSynthDialog::withoutABank()
{
    MidiSynth synth;
    synth.quit();
    QVERIFY(synth.wait(60000));
    MidiSynthDialog dialog;
    dialog.setSynth(&synth);
    QCOMPARE(child<QLabel>(&dialog, "soundBankLabel")->text(), QStringLiteral("(no sound bank)"));
    QCOMPARE(child<QComboBox>(&dialog, "instrumentsComboBox")->count(), 0);
    QAbstractItemModel *channels = child<QTreeView>(&dialog, "channelView")->model();
    QCOMPARE(channels->rowCount(), 16);
    QCOMPARE(channels->index(15, 0).data().toString(), QStringLiteral("16"));
    QCOMPARE(channels->index(4, 1).data().toString(), QString());
}

void TestMidiSynthDialog::showsTheBankAndFollowsTheChannel()
{
    MidiSynth synth(timGM6mbFileName());
    QVERIFY(synth.waitForReady(QDeadlineTimer(60000)));
    // The bank's names as the synthesizer gives them.
    const auto name = [&synth](int program) {
        return synth.instrumentName(synth.indexOfInstrument(MidiInstrumentId(0, 0, program)));
    };
    QVERIFY(!name(40).isEmpty() && name(40) != name(0));
    MidiSynthDialog dialog;
    dialog.setSynth(&synth);
    auto *instruments = child<QComboBox>(&dialog, "instrumentsComboBox");
    auto *view = child<QTreeView>(&dialog, "channelView");
    auto *program = child<QSpinBox>(&dialog, "programSpinBox");
    QCOMPARE(child<QLabel>(&dialog, "soundBankLabel")->text(), QStringLiteral("TimGM6mb.sf2"));
    QCOMPARE(instruments->count(), synth.instrumentCount());
    QCOMPARE(instruments->itemText(0), synth.instrumentName(0));
    QCOMPARE(view->currentIndex().row(), 0);
    QCOMPARE(view->model()->index(0, 1).data().toString(), name(0));

    // The fifth channel made current; its program typed in.
    view->setCurrentIndex(view->model()->index(4, 0));
    QSignalSpy reports(&synth, &MidiSynth::instrumentChanged);
    QSignalSpy programChanges(program, &QSpinBox::valueChanged);
    program->setFocus();
    program->selectAll();
    QTest::keyClicks(program, "41");
    QTest::keyClick(program, Qt::Key_Return);
    // The synthesizer's report brings the list to the new instrument.
    QTRY_COMPARE(instruments->currentText(), name(40));
    QCOMPARE(view->model()->index(4, 1).data().toString(), name(40));
    QCOMPARE(synth.instrumentOfChannel(4), MidiInstrumentId(0, 0, 40));
    QCOMPARE(synth.instrumentOfChannel(0), MidiInstrumentId(0, 0, 0));
    // Shown back, not written again.
    QCOMPARE(program->value(), 41);
    QCOMPARE(programChanges.count(), 1);
    QCOMPARE(reports.count(), 1);

    // Back on the first channel the widgets show its instrument.
    view->setCurrentIndex(view->model()->index(0, 0));
    QCOMPARE(program->value(), 1);
    QCOMPARE(instruments->currentText(), name(0));
    QCOMPARE(reports.count(), 1);
}

void TestMidiSynthDialog::opensAndResetsBanks()
{
    MidiSynth synth(timGM6mbFileName());
    QVERIFY(synth.waitForReady(QDeadlineTimer(60000)));
    MidiSynthDialog dialog;
    dialog.setSynth(&synth);
    QSignalSpy chosen(&dialog, &MidiSynthDialog::soundBankFileChosen);
    QTemporaryFile garbage(QDir::tempPath() + "/XXXXXX.sf2");
    QVERIFY(garbage.open());
    garbage.write("RIFF and nothing else");
    garbage.close();

    QVERIFY(!dialog.openSoundBank(garbage.fileName()));
    QVERIFY(!child<QLabel>(&dialog, "errorLabel")->isHidden());
    QCOMPARE(child<QLabel>(&dialog, "soundBankLabel")->text(), QStringLiteral("TimGM6mb.sf2"));
    QVERIFY(dialog.openSoundBank(timGM6mbFileName()));
    QVERIFY(child<QLabel>(&dialog, "errorLabel")->isHidden());
    child<QPushButton>(&dialog, "resetButton")->click();
    QCOMPARE(chosen.size(), 2);
    QCOMPARE(chosen.at(0).at(0).toString(), timGM6mbFileName());
    QCOMPARE(chosen.at(1).at(0).toString(), QString());
}

void TestMidiSynthDialog::oneDialogKeepsItsGeometry()
{
    MidiSynthDialog *first = MidiSynthDialog::showDialog(nullptr);
    QCOMPARE(child<QLabel>(first, "soundBankLabel")->text(), QStringLiteral("(no sound bank)"));
    first->resize(500, 610);
    QCOMPARE(MidiSynthDialog::showDialog(nullptr), first);
    first->close();
    QTRY_VERIFY(!MidiSynthDialog::dialog());

    MidiSynthDialog *second = MidiSynthDialog::showDialog(nullptr);
    QCOMPARE(second->size(), QSize(500, 610));
    MidiSynthDialog::closeDialog();
    QTRY_VERIFY(!MidiSynthDialog::dialog());

    const QString folder = qEnvironmentVariable("LUDRA_INSPECTOR_SHOTS");
    if (!folder.isEmpty()) {
        MidiSynth synth(timGM6mbFileName());
        QVERIFY(synth.waitForReady(QDeadlineTimer(60000)));
        MidiSynthDialog dialog;
        dialog.setSynth(&synth);
        dialog.show();
        QVERIFY(dialog.grab().save(folder + "/synth-dialog.png"));
    }
}

QTEST_MAIN(TestMidiSynthDialog)
#include "tst_midisynthdialog.moc"
