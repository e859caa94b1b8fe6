#include "abstractsettingsview.h"
#include "keycombobox.h"
#include "preferencesdialog.h"
#include "settingscontroller.h"
#include "settingsmodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using Keys = SettingsModel;

// Every store the model reports, in order.
class SettingsRecorder : public AbstractSettingsView
{
public:
    QStringList changes;

    bool isAttached() const { return controller() != nullptr; }
    int count(const QString &key) const { return int(changes.count(key)); }

protected:
    void settingsValueChanged(const QString &key, const QVariant &) override
    {
        changes.append(key);
    }
    void settingsKeyRemoved(const QString &key) override { changes.append(key); }
};

} // namespace

// The settings reach the store only as the user changes a bound widget, once
// a change, and every bound widget follows the store.
class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void boundCheckBoxWritesOnceAndOthersFollow();
    void destroyedWidgetIsUnbound();
    void choosingNoneClearsTemplateFile();
    void portListRefillWritesNothing();

private:
    // Stores a value under a key of its own and waits until it is reported:
    // whatever was stored before it has been reported by then.
    void fence();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SettingsModel> m_model;
    std::unique_ptr<SettingsController> m_controller;
    std::unique_ptr<SettingsRecorder> m_recorder;
    int m_fences = 0;
};

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_model = std::make_unique<SettingsModel>(m_dir->filePath(QStringLiteral("settings.ini")));
    m_controller = std::make_unique<SettingsController>(m_model.get());
    m_recorder = std::make_unique<SettingsRecorder>();
    m_recorder->attach(m_controller.get());
    QTRY_VERIFY(m_recorder->isAttached());
}

void TestSettings::cleanup()
{
    m_recorder.reset();
    m_controller.reset();
    m_model.reset();
    m_dir.reset();
}

void TestSettings::fence()
{
    const QString key = QStringLiteral("Fence");
    const int before = m_recorder->count(key);
    m_controller->requestChangeValue(key, ++m_fences);
    QTRY_COMPARE(m_recorder->count(key), before + 1);
}

void TestSettings::boundCheckBoxWritesOnceAndOthersFollow()
{
    QCheckBox clicked;
    QCheckBox other;
    m_controller->bind(&clicked, "checked", SIGNAL(toggled(bool)), Keys::MidiThruEnabledKey);
    m_controller->bind(&other, "checked", SIGNAL(toggled(bool)), Keys::MidiThruEnabledKey);
    // Nothing stored yet: both show no value.
    QVERIFY(!clicked.isChecked());
    QVERIFY(!other.isChecked());

    clicked.click();
    // The store answers from the event loop.
    QVERIFY(!other.isChecked());
    QTRY_VERIFY(other.isChecked());
    QCOMPARE(m_model->value(Keys::MidiThruEnabledKey).toBool(), true);
    fence();
    // Setting the widgets from the store wrote nothing back.
    QCOMPARE(m_recorder->count(Keys::MidiThruEnabledKey), 1);

    other.click();
    QTRY_VERIFY(!clicked.isChecked());
    fence();
    QCOMPARE(m_recorder->count(Keys::MidiThruEnabledKey), 2);
    QCOMPARE(m_model->value(Keys::MidiThruEnabledKey).toBool(), false);
}

void TestSettings::destroyedWidgetIsUnbound()
{
    QCheckBox kept;
    auto *gone = new QCheckBox;
    m_controller->bind(&kept, "checked", SIGNAL(toggled(bool)), Keys::MidiInputEnabledKey);
    m_controller->bind(gone, "checked", SIGNAL(toggled(bool)), Keys::MidiInputEnabledKey);
    QVERIFY(m_controller->isBound(gone));
    delete gone;
    QVERIFY(!m_controller->isBound(gone));

    // A change of the key reaches the widget left, and nothing else.
    kept.click();
    fence();
    QCOMPARE(m_recorder->count(Keys::MidiInputEnabledKey), 1);
    QVERIFY(kept.isChecked());
}

void TestSettings::choosingNoneClearsTemplateFile()
{
    const QString templateFile = m_dir->filePath(QStringLiteral("songs/start.ldx"));
    m_controller->requestChangeValue(Keys::TemplateFileKey, templateFile);
    fence();
    PreferencesDialog dialog(m_controller.get(), {}, {});
    QComboBox *combo = dialog.templateFileComboBox();
    QCOMPARE(combo->currentText(), QStringLiteral("songs — start.ldx"));
    QCOMPARE(combo->itemText(0), QStringLiteral("None"));
    QCOMPARE(combo->itemText(combo->count() - 1), QStringLiteral("Choose..."));

    // The user picks the first item.
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    QTRY_VERIFY(!m_model->contains(Keys::TemplateFileKey));
    // The list follows once the store's notice has come round the event
    // loop, after the store itself has changed.
    fence();
    QCOMPARE(combo->currentText(), QStringLiteral("None"));
    QCOMPARE(combo->findText(QStringLiteral("songs — start.ldx")), -1);
}

void TestSettings::portListRefillWritesNothing()
{
    QStringList inputs{QStringLiteral("Keys:out"), QStringLiteral("Pads:out")};
    QStringList outputs{QStringLiteral("Synth:in")};
    m_controller->requestChangeValue(Keys::MidiInputEnabledKey, true);
    m_controller->requestChangeValue(Keys::MidiInputPortKey, QStringLiteral("Pads:out"));
    fence();
    const int storedBefore = int(m_recorder->changes.size());

    PreferencesDialog dialog(
        m_controller.get(), [&inputs] { return inputs; }, [&outputs] { return outputs; });
    KeyComboBox *inputCombo = dialog.midiInputPortComboBox();
    QCOMPARE(inputCombo->currentKey(), QStringLiteral("Pads:out"));
    QCOMPARE(dialog.midiThruPortComboBox()->currentKey(), QString());

    // The chosen port goes away and others come: it stays chosen.
    inputs = {QStringLiteral("Drums:out"), QStringLiteral("Keys:out")};
    outputs = {QStringLiteral("Synth:in"), QStringLiteral("Sampler:in")};
    dialog.rescanInputPorts();
    dialog.rescanThruPorts();
    QCOMPARE(inputCombo->currentKey(), QStringLiteral("Pads:out"));
    QCOMPARE(inputCombo->count(), 3);
    QCOMPARE(dialog.midiThruPortComboBox()->count(), 2);
    fence();
    QCOMPARE(m_recorder->changes.mid(storedBefore), QStringList{QStringLiteral("Fence")});

    // The user's choice is stored.
    inputCombo->setFocus();
    QTest::keyClick(inputCombo, Qt::Key_Home);
    QTRY_COMPARE(m_model->value(Keys::MidiInputPortKey).toString(), QStringLiteral("Drums:out"));

    // Input off: its port list is greyed out, also when the store turns it
    // back on from elsewhere.
    dialog.midiInputCheckBox()->click();
    QVERIFY(!inputCombo->isEnabled());
    QVERIFY(dialog.midiThruPortComboBox()->isEnabled() == dialog.midiThruCheckBox()->isChecked());
    m_controller->requestChangeValue(Keys::MidiInputEnabledKey, true);
    QTRY_VERIFY(inputCombo->isEnabled());
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
