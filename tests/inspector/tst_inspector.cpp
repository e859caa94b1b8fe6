#include "channelsbox.h"
#include "documentpage.h"
#include "edgeusagelisteditor.h"
#include "edgeusagetile.h"
#include "inspector.h"
#include "listedit.h"
#include "midisyncportsbox.h"
#include "mixedcheckbox.h"
#include "networkdocument.h"
#include "nodepage.h"
#include "qmdludrapalette.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

namespace {

// The undo text of each request that a gesture made, once the queued
// signals of the gesture's requests, and of their reactions, have come.
class Requests : public QObject
{
public:
    explicit Requests(QmdController *controller)
    {
        connect(controller, &QmdController::requestFinished, this,
                [this, controller] { m_texts.append(controller->undoText()); });
    }
    QStringList madeBy(const std::function<void()> &gesture)
    {
        m_texts.clear();
        gesture();
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
        return m_texts;
    }

private:
    QStringList m_texts;
};

struct Fixture
{
    Fixture()
    {
        inspector.setPortListers([] { return QStringList{"Keys"}; },
                                 [] { return QStringList{"Synth A"}; });
        inspector.setController(&document.controller);
        inspector.resize(340, 760);
        inspector.show();
    }
    bool activate() { return QTest::qWaitForWindowActive(&inspector); }
    bool select(const QmdItemIdList &ids)
    {
        document.controller.setElementSelection(QmdItemIdSet(ids.cbegin(), ids.cend()));
        return QTest::qWaitFor([this] { return inspector.pendingPage() < 0; });
    }
    template <class T> T *field(const char *name) const
    {
        return inspector.findChild<T *>(QString::fromLatin1(name));
    }
    // Over what the field shows, as the user would.
    static void type(QWidget *field, const char *text)
    {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    // On the box itself: a check box takes clicks there and on its text.
    static void click(QCheckBox *box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }

    NetworkDocument document;
    Inspector inspector;
};

// A selected node with three outgoing edges: its usage list as tiles.
struct TileFixture : Fixture
{
    TileFixture()
    {
        node = document.node(0, 0);
        for (int i = 1; i <= 3; ++i)
            edges.append(document.edge(node, document.node(i, 1)));
        select({node});
    }
    QString list() const { return document.value(node, "ArcUsageList").toString(); }
    QString entries(std::initializer_list<int> order, const QString &uses = "1") const
    {
        QStringList texts;
        for (int i : order)
            texts.append(QStringLiteral("%1=%2").arg(edges.at(i)).arg(uses));
        return texts.join(',');
    }
    QPoint centre(int slot) const
    {
        return editor->mapFromScene(editor->tiles().at(slot)->sceneBoundingRect().center());
    }

    EdgeUsageListEditor *editor = inspector.nodePage()->edgeUsageEditor();
    QmdItemId node = 0;
    QmdItemIdList edges;
};

} // namespace

class TestInspector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pageFollowsSelection_data();
    void pageFollowsSelection();
    void eachFinishedEditIsOneRequest();
    void mixedFieldsWriteOnlyWhenEdited();
    void syncPortEntries();
    void addedInstrumentIsShownForEditing();
    void edgeTilesDragIntoANewOrder();
    void edgeTilesAddedEditedAndRemoved();
    void screenshots();
};

void TestInspector::pageFollowsSelection_data()
{
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("title");
    QTest::newRow("nothing") << QStringList{} << int(Inspector::DocumentPageIndex) << "Document";
    QTest::newRow("a node") << QStringList{"node"} << int(Inspector::NodePageIndex) << "Node";
    QTest::newRow("two nodes") << QStringList{"node", "other node"} << int(Inspector::NodePageIndex)
                               << "Node";
    QTest::newRow("an edge") << QStringList{"edge"} << int(Inspector::EdgePageIndex) << "Edge";
    QTest::newRow("a voice group")
        << QStringList{"group"} << int(Inspector::VoiceGroupPageIndex) << "Voice Group";
    QTest::newRow("a text box") << QStringList{"text"} << int(Inspector::TextBoxPageIndex)
                                << "Text Box";
    QTest::newRow("a node and an edge")
        << QStringList{"node", "edge"} << int(Inspector::DocumentPageIndex) << "Document";
}

void TestInspector::pageFollowsSelection()
{
    QFETCH(QStringList, kinds);
    QFETCH(int, page);
    QFETCH(QString, title);
    Fixture f;
    NetworkDocument &d = f.document;
    QHash<QString, QmdItemId> ids;
    ids["node"] = d.node(0, 0);
    ids["other node"] = d.node(1, 0);
    ids["edge"] = d.edge(ids["node"], ids["other node"]);
    ids["group"] = d.group(ids["node"]);
    ids["text"] = d.addTextBox();
    // From another page, so that every row is a change of page.
    QVERIFY(f.select({ids["edge"], ids["text"]}));
    QmdItemIdList selection;
    for (const QString &kind : std::as_const(kinds))
        selection.append(ids[kind]);
    QVERIFY(f.select(selection));
    QCOMPARE(f.inspector.currentPage(), page);
    QCOMPARE(f.inspector.title(), title);
}

void TestInspector::eachFinishedEditIsOneRequest()
{
    Fixture f;
    QVERIFY(f.activate());
    NetworkDocument &d = f.document;
    const QmdItemId node = d.node(0, 0);
    Requests requests(&d.controller);

    // A spin box writes when its edit ends, not for each digit.
    auto *tempo = f.field<QSpinBox>("tempoSpinBox");
    QCOMPARE(requests.madeBy([&] { Fixture::type(tempo, "140"); }), QStringList{"Tempo"});
    QCOMPARE(d.controller.data(d.controller.index("Tempo")).toInt(), 140);
    QCOMPARE(requests.madeBy([&] { QTest::keyClick(tempo, Qt::Key_Up); }), QStringList{"Tempo"});

    QVERIFY(f.select({node}));
    auto *pitches = f.field<ListEdit>("pitchListEdit");
    QCOMPARE(requests.madeBy([&] { Fixture::type(pitches, "c4,e4,g4,"); }),
             QStringList{"Pitch List"});
    QCOMPARE(d.value(node, "PitchList").toString(), QStringLiteral("C4,E4,G4"));
    QCOMPARE(pitches->text(), QStringLiteral("C4,E4,G4"));
    QCOMPARE(requests.madeBy([&] { Fixture::click(f.field<MixedCheckBox>("muteCheckBox")); }),
             QStringList{"Mute"});
    QCOMPARE(d.value(node, "DontPlayNote").toBool(), true);
}

void TestInspector::mixedFieldsWriteOnlyWhenEdited()
{
    Fixture f;
    QVERIFY(f.activate());
    NetworkDocument &d = f.document;
    const QmdItemIdList nodes{d.node(0, 0, {{"PitchList", "C3"}, {"DontPlayNote", true}}),
                              d.node(1, 0, {{"PitchList", "D3"}}),
                              d.node(2, 0, {{"PitchList", "E3"}})};
    QVERIFY(f.select(nodes));
    Requests requests(&d.controller);
    auto *pitches = f.field<ListEdit>("pitchListEdit");
    auto *velocities = f.field<ListEdit>("velocityListEdit");
    auto *mute = f.field<MixedCheckBox>("muteCheckBox");
    QCOMPARE(pitches->text(), QString());
    QCOMPARE(pitches->placeholderText(), QStringLiteral("mixed"));
    QCOMPARE(mute->checkState(), Qt::PartiallyChecked);

    QCOMPARE(requests.madeBy([&] {
        pitches->setFocus();
        QTest::keyClick(pitches, Qt::Key_Return);
        velocities->setFocus();
    }),
             QStringList());
    QCOMPARE(requests.madeBy([&] { Fixture::type(pitches, "g3"); }), QStringList{"Pitch List"});
    QCOMPARE(requests.madeBy([&] { Fixture::click(mute); }), QStringList{"Mute"});
    for (QmdItemId node : nodes) {
        QCOMPARE(d.value(node, "PitchList").toString(), QStringLiteral("G3"));
        QCOMPARE(d.value(node, "DontPlayNote").toBool(), true);
    }
    QCOMPARE(pitches->text(), QStringLiteral("G3"));
    QVERIFY(pitches->placeholderText() != QStringLiteral("mixed"));
}

void TestInspector::syncPortEntries()
{
    Fixture f;
    NetworkDocument &d = f.document;
    const QmdIndex inputs = d.controller.syncMidiInputsIndex();
    QVERIFY(d.run(d.controller.requestSetType("Gone", Qmd::StrDict, inputs)));
    QVERIFY(
        d.run(d.controller.requestSetData("MidiSync", true, d.controller.index("Gone", inputs))));
    auto *box = f.inspector.documentPage()->midiInputsBox();
    const auto entries = [box] {
        QStringList shown;
        for (const QCheckBox *check : box->findChildren<QCheckBox *>()) {
            const QString port = check->property("port").toString();
            shown.append(port + (check->isChecked() ? " on" : " off"));
        }
        return shown;
    };
    const auto check = [box](const QString &port) {
        for (QCheckBox *check : box->findChildren<QCheckBox *>()) {
            if (check->property("port") == port)
                return check;
        }
        return static_cast<QCheckBox *>(nullptr);
    };
    QTRY_COMPARE(entries(), (QStringList{"Gone on", "Keys off"}));
    QVERIFY(box->findChild<QLabel *>()->text().endsWith("Gone (offline)"));

    Requests requests(&d.controller);
    QCOMPARE(requests.madeBy([&] { Fixture::click(check("Keys")); }),
             QStringList{"Create Midi Input Port Entry"});
    QCOMPARE(entries(), (QStringList{"Gone on", "Keys on"}));
    QCOMPARE(requests.madeBy([&] { Fixture::click(check("Gone")); }),
             QStringList{"Remove Offline Non-MidiSync Input Port Entry"});
    QCOMPARE(entries(), (QStringList{"Keys on"}));
    QCOMPARE(d.controller.keys(inputs), QStringList{"Keys"});
}

void TestInspector::addedInstrumentIsShownForEditing()
{
    Fixture f;
    NetworkDocument &d = f.document;
    f.inspector.documentPage()->tabs()->setCurrentIndex(1);
    f.field<QPushButton>("addInstrumentButton")->click();
    auto *label = f.field<BoundLineEdit>("labelEdit");
    QTRY_COMPARE(label->text(), QStringLiteral("Instrument"));
    const QmdItemId instrument = d.controller.ids(d.controller.instrumentsIndex()).value(0);
    QCOMPARE(d.instrumentValue(instrument, "MidiChannels").toBitArray().count(true), 1);

    Requests requests(&d.controller);
    auto *all = f.field<ChannelsBox>("channelsBox")->findChild<QPushButton *>();
    QCOMPARE(all->text(), QStringLiteral("All"));
    QCOMPARE(requests.madeBy([&] { QTest::mouseClick(all, Qt::LeftButton); }),
             QStringList{"MIDI Channels"});
    QCOMPARE(d.instrumentValue(instrument, "MidiChannels").toBitArray(), QBitArray(16, true));
    QVERIFY(!f.field<QSpinBox>("programSpinBox")->isEnabled());
}

void TestInspector::edgeTilesDragIntoANewOrder()
{
    TileFixture f;
    QCOMPARE(f.editor->usageText(), f.entries({0, 1, 2}));
    const QmdIndex identifiers =
        f.document.controller.index(QmdLudra::ArcIdentifiersKey, f.document.element(f.node));
    for (const EdgeUsageTile *tile : f.editor->tiles()) {
        const QmdIndex identifier = f.document.controller.index(tile->edge(), identifiers);
        QCOMPARE(tile->color(),
                 QmdLudraPalette::color(f.document.controller.data(identifier).toInt()));
    }

    // Past the middle of the second slot the tiles swap at once; the list
    // is written when the tile is let go.
    Requests requests(&f.document.controller);
    QWidget *viewport = f.editor->viewport();
    const QPoint start = f.centre(0);
    QCOMPARE(requests.madeBy([&] {
        QTest::mousePress(viewport, Qt::LeftButton, {}, start);
        QTest::mouseMove(viewport, start + QPoint(EdgeUsageTile::SlotWidth / 2 + 4, 0));
    }),
             QStringList());
    QCOMPARE(f.editor->usageText(), f.entries({1, 0, 2}));
    QTRY_COMPARE(f.editor->tiles().at(0)->pos(), QPointF(0, 0));
    QCOMPARE(f.list(), f.entries({0, 1, 2}));
    QCOMPARE(
        requests.madeBy([&] { QTest::mouseRelease(viewport, Qt::LeftButton, {}, f.centre(1)); }),
        QStringList{"Edge Usage"});
    QCOMPARE(f.list(), f.entries({1, 0, 2}));
    QCOMPARE(f.editor->tiles().at(1)->pos(), QPointF(EdgeUsageTile::SlotWidth, 0));
    QCOMPARE(requests.madeBy([&] { QTest::mouseClick(viewport, Qt::LeftButton, {}, f.centre(2)); }),
             QStringList());

    // A node without edges offers none to add.
    QVERIFY(f.select({f.document.node(5, 5)}));
    QMenu menu;
    f.editor->fillAddMenu(&menu);
    QCOMPARE(menu.actions().size(), 1);
    QCOMPARE(menu.actions().at(0)->text(), QStringLiteral("(no edges)"));
    QVERIFY(!menu.actions().at(0)->isEnabled());
}

void TestInspector::edgeTilesAddedEditedAndRemoved()
{
    TileFixture f;
    QVERIFY(f.activate());
    QVERIFY(f.document.set(f.node, "ArcUsageList", QString()));
    Requests requests(&f.document.controller);
    const QStringList once{"Edge Usage"};

    QMenu menu;
    f.editor->fillAddMenu(&menu);
    QCOMPARE(menu.actions().size(), 3);
    QCOMPARE(requests.madeBy([&] { menu.actions().at(1)->trigger(); }), once);
    QCOMPARE(requests.madeBy([&] { menu.actions().at(2)->trigger(); }), once);
    QCOMPARE(f.list(), f.entries({1, 2}));

    // Double-click, type 0, Return: the tile stays, used 0 times.
    QSpinBox *uses = f.editor->usesSpinBox();
    QCOMPARE(requests.madeBy([&] {
        QTest::mouseDClick(f.editor->viewport(), Qt::LeftButton, {}, f.centre(0));
        QVERIFY(uses->isVisible());
        QTest::keyClick(uses, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(uses, "0");
        QTest::keyClick(uses, Qt::Key_Return);
    }),
             once);
    QVERIFY(!uses->isVisible());
    QCOMPARE(f.list(), f.entries({1}, "0") + "," + f.entries({2}));

    for (const QString &left : {f.entries({2}), QString()}) {
        QCOMPARE(requests.madeBy([&] {
            f.editor->tiles().at(0)->setFocus();
            QTest::keyClick(f.editor, Qt::Key_Delete);
        }),
                 once);
        QCOMPARE(f.list(), left);
        QCOMPARE(f.editor->usageText(), left);
    }
}

// LUDRA_INSPECTOR_SHOTS=folder saves each page as a PNG there, to look at:
// the document's tabs, a node with three edge tiles, two differing nodes,
// an edge and a voice group.
void TestInspector::screenshots()
{
    const QString folder = qEnvironmentVariable("LUDRA_INSPECTOR_SHOTS");
    if (folder.isEmpty())
        QSKIP("LUDRA_INSPECTOR_SHOTS is not set");
    Fixture f;
    NetworkDocument &d = f.document;
    d.addInstrument();
    const QmdItemId node = d.node(0, 0, {{"PitchList", "C4,E4,G4,+12"}, {"VelocityList", "96,64"}});
    QmdItemIdList edges;
    for (int i = 1; i <= 3; ++i)
        edges.append(d.edge(node, d.node(i, 1, {{"DontPlayNote", i == 2}})));
    QVERIFY(d.set(node, "ArcUsageList",
                  d.value(node, "ArcUsageList").toString().replace("=1,", "=2,")));
    const QmdItemId group = d.group(node);
    f.field<QPushButton>("addInstrumentButton")->click();
    QTabWidget *tabs = f.inspector.documentPage()->tabs();
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        QVERIFY(f.inspector.grab().save(
            QStringLiteral("%1/inspector-document-%2.png").arg(folder).arg(tab)));
    }
    const QList<QPair<QString, QmdItemIdList>> pages{
        {"node", {node}},
        {"nodes", {node, d.value(edges.at(1), "ToNode").toUInt()}},
        {"edge", {edges.first()}},
        {"voice-group", {group}}};
    for (const auto &[name, selection] : pages) {
        QVERIFY(f.select(selection));
        QVERIFY(f.inspector.grab().save(QStringLiteral("%1/inspector-%2.png").arg(folder, name)));
    }
}

QTEST_MAIN(TestInspector)
#include "tst_inspector.moc"
