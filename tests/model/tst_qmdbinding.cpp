#include "controllersignalrecorder.h"
#include "qmdcontroller.h"
#include "qmdmemmodel.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString pitch = QStringLiteral("Pitch");
const QVariant emptyValue(-1);
const QVariant mixedValue(QStringLiteral("<mixed>"));

} // namespace

// Stands in for a widget: a value property whose setter always signals (as a
// user edit does) and a check-box-like boolean.
class Widget : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(bool checked READ isChecked WRITE setChecked NOTIFY toggled)

public:
    QVariant value() const
    {
        ++reads;
        return m_value;
    }
    void setValue(const QVariant &value)
    {
        m_value = value;
        Q_EMIT valueChanged(value);
    }
    bool isChecked() const { return m_checked; }
    void setChecked(bool checked)
    {
        if (checked == m_checked)
            return;
        m_checked = checked;
        Q_EMIT toggled(checked);
    }
    int connections(const char *signal) const { return receivers(signal); }
    // As a button does: flips, then signals with its state.
    void click()
    {
        m_checked = !m_checked;
        Q_EMIT clicked(m_checked);
    }

    mutable int reads = 0;

Q_SIGNALS:
    void valueChanged(const QVariant &value);
    void toggled(bool checked);
    void clicked(bool checked = false);

private:
    QVariant m_value;
    bool m_checked = false;
};

namespace {

// A StrDict root with one StrDict per element, "E1", "E2", ..., each holding
// "Pitch" when a value is given (an invalid value means no item).
struct Document
{
    explicit Document(const QVariantList &values = {})
    {
        controller.setModel(&model);
        QObject::connect(&model, &QmdModel::requestFinished, &model, [this] { ++requests; });
        const QmdRequestOptions setup(Qmd::NoUndo, QStringLiteral("setup"));
        for (int i = 0; i < values.size(); ++i) {
            const QString name = QStringLiteral("E%1").arg(i + 1);
            controller.requestSetType(name, Qmd::StrDict, QmdIndex(), setup);
            elements.append(controller.index(name));
            if (values.at(i).isValid())
                controller.requestSetData(pitch, values.at(i), elements.last(), setup);
        }
        QCoreApplication::processEvents();
        requests = 0;
    }
    QVariant valueAt(int element, const QString &key = pitch) const
    {
        const QmdIndex item = controller.index(key, elements.at(element));
        return controller.isValid(item) ? controller.data(item) : QVariant();
    }
    QVariantList values() const
    {
        QVariantList result;
        for (int i = 0; i < elements.size(); ++i)
            result.append(valueAt(i));
        return result;
    }
    // Binds the value to "Pitch" of every element.
    void bindValue(Widget *w, const char *signal = SIGNAL(valueChanged(QVariant)))
    {
        QHash<QmdIndex, QSet<QString>> targets;
        for (const QmdIndex &element : elements)
            targets.insert(element, {pitch});
        controller.bind(w, "value", signal, targets, emptyValue, mixedValue,
                        QStringLiteral("Change Pitch"));
    }

    QmdMemModel model{Qmd::StrDict};
    QmdController controller;
    QmdIndexList elements;
    int requests = 0; // requests the model has served
};

} // namespace

class TestQmdBinding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shownValue_data();
    void shownValue();
    void userEdit_data();
    void userEdit();
    void refreshOncePerRequest();
    void destroyedObjectLosesBindings();
    void unbindActions_data();
    void unbindActions();
    void unbindOneProperty();
    void readOnlyBinding_data();
    void readOnlyBinding();
    void rebindReplacesTargets();
    void signalNamedByItsShortForm();
};

void TestQmdBinding::shownValue_data()
{
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QVariant>("shown");

    const QVariant none;
    QTest::newRow("all equal") << QVariantList{5, 5, 5} << QVariant(5);
    QTest::newRow("one differs") << QVariantList{1, 1, 2} << mixedValue;
    QTest::newRow("all missing") << QVariantList{none, none, none} << emptyValue;
    QTest::newRow("some missing") << QVariantList{5, none, 5} << mixedValue;
}

// The bound object shows the common value, the mixed value or the empty
// value; showing it is no edit, even when it differs from every target. A
// reset refreshes the bound objects.
void TestQmdBinding::shownValue()
{
    QFETCH(QVariantList, values);
    QFETCH(QVariant, shown);

    Document doc(QVariantList(values.size()));
    Widget w;
    doc.bindValue(&w);
    QCOMPARE(w.value(), emptyValue);

    // Fill the targets as one undo step, so the refresh replaces the shown
    // value while the object's signal is connected.
    QmdRequestId rid = 0;
    int fills = 0;
    for (int i = 0; i < values.size(); ++i) {
        if (!values.at(i).isValid())
            continue;
        rid = doc.controller.requestSetData(pitch, values.at(i), doc.elements.at(i),
                                            QmdRequestOptions(0, QStringLiteral("Fill"), rid));
        ++fills;
    }
    doc.controller.reset();
    QCoreApplication::processEvents();
    QCOMPARE(w.value(), shown);
    QCOMPARE(doc.requests, fills);
}

void TestQmdBinding::userEdit_data()
{
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QVariant>("edit");
    QTest::addColumn<int>("written");
    QTest::addColumn<QVariant>("shownAfterUndo");

    const QVariant none;
    QTest::newRow("three differ") << QVariantList{1, 2, 3} << QVariant(7) << 3 << mixedValue;
    QTest::newRow("two equal already") << QVariantList{7, 2, 7} << QVariant(7) << 1 << mixedValue;
    QTest::newRow("all equal already") << QVariantList{7, 7, 7} << QVariant(7) << 0 << QVariant();
    QTest::newRow("all missing") << QVariantList{none, none, none} << QVariant(4) << 3
                                 << emptyValue;
}

// An edit writes the differing targets, one setData per parent, in one
// undoable request with the binding's text; one undo restores them all.
void TestQmdBinding::userEdit()
{
    QFETCH(QVariantList, values);
    QFETCH(QVariant, edit);
    QFETCH(int, written);
    QFETCH(QVariant, shownAfterUndo);

    Document doc(values);
    Widget w;
    doc.bindValue(&w);
    ControllerSignalRecorder recorder(&doc.controller);

    w.setValue(edit);
    QCOMPARE(doc.values(), QVariantList(values.size(), edit));
    QCOMPARE(doc.requests, written ? 1 : 0);
    QCOMPARE(doc.controller.undoRedoCount(), written ? 1 : 0);
    QCoreApplication::processEvents();
    QCOMPARE(recorder.count("itemsChanged(keys)"), written);
    QCOMPARE(w.value(), edit);
    // The refresh that followed made no request of its own.
    QCOMPARE(doc.requests, written ? 1 : 0);
    if (!written)
        return;

    QCOMPARE(doc.controller.undoText(), QStringLiteral("Change Pitch"));
    const QmdRequestId rid = recorder.events().first().rid;
    QCOMPARE(recorder.namesFor(rid).size(), recorder.events().size());
    for (const ControllerEvent &e : recorder.only({"itemsChanged(keys)"}))
        QCOMPARE(e.args.at(1).toStringList(), QStringList{pitch});

    doc.controller.requestUndo();
    QCOMPARE(doc.values(), values);
    QCoreApplication::processEvents();
    QCOMPARE(w.value(), shownAfterUndo);
}

// Bound objects are refreshed once per request: after all its change signals
// and before its requestFinished; a request that does not touch their keys
// leaves them alone.
void TestQmdBinding::refreshOncePerRequest()
{
    Document doc({1, 1});
    Widget w;
    doc.bindValue(&w);
    QCOMPARE(w.value(), QVariant(1));

    QVariantList seenAtChange;
    QVariantList seenAtFinish;
    const QMetaObject::Connection atChange =
        connect(&doc.controller,
                qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(
                    &QmdController::itemsChanged),
                this, [&] { seenAtChange.append(w.property("value")); });
    const QMetaObject::Connection atFinish =
        connect(&doc.controller, &QmdController::requestFinished, this,
                [&] { seenAtFinish.append(w.property("value")); });

    const QHash<QmdIndex, QVariant> both{{doc.controller.index(pitch, doc.elements.at(0)), 8},
                                         {doc.controller.index(pitch, doc.elements.at(1)), 8}};
    doc.controller.requestSetData(both);
    QCoreApplication::processEvents();
    QCOMPARE(seenAtChange, QVariantList({1, 1}));
    QCOMPARE(seenAtFinish, QVariantList{8});
    disconnect(atChange);
    disconnect(atFinish);

    // Reading the value is what a refresh does first: count the refreshes.
    w.reads = 0;
    doc.controller.requestSetData(QStringLiteral("Other"), 3, doc.elements.at(0));
    QCoreApplication::processEvents();
    QCOMPARE(w.reads, 0);
    doc.controller.requestSetData(both.keys().first(), 9);
    QCoreApplication::processEvents();
    QCOMPARE(w.reads, 1);
    QCOMPARE(w.property("value"), mixedValue);
    QCOMPARE(doc.requests, 3);
}

void TestQmdBinding::destroyedObjectLosesBindings()
{
    Document doc({1});
    auto *kept = new Widget;
    auto *doomed = new Widget;
    doc.bindValue(kept);
    doc.bindValue(doomed);

    // Destroyed while its refresh is pending: the refresh skips it.
    connect(&doc.controller,
            qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(
                &QmdController::itemsChanged),
            this, [&doomed] {
                delete doomed;
                doomed = nullptr;
            });
    doc.controller.requestSetData(pitch, 2, doc.elements.at(0));
    QCoreApplication::processEvents();
    QVERIFY(!doomed);
    QCOMPARE(kept->value(), QVariant(2));

    QObject *keptAddress = kept;
    delete kept;
    QVERIFY(!doc.controller.isBound(keptAddress));
    doc.controller.requestSetData(pitch, 3, doc.elements.at(0));
    QCoreApplication::processEvents();
    QCOMPARE(doc.valueAt(0), QVariant(3));
}

void TestQmdBinding::unbindActions_data()
{
    QTest::addColumn<int>("actions");
    QTest::addColumn<bool>("bound");
    QTest::addColumn<QVariant>("shown");
    QTest::addColumn<int>("notifyConnections");
    QTest::addColumn<int>("destroyedConnections");
    QTest::addColumn<bool>("editWrites");
    QTest::addColumn<bool>("documentRefreshes");

    QTest::newRow("1 forget") << 1 << false << QVariant(5) << 1 << 1 << false << false;
    QTest::newRow("2 reset") << 2 << true << emptyValue << 1 << 1 << true << true;
    QTest::newRow("4 disconnect") << 4 << true << QVariant(5) << 0 << 0 << false << true;
    QTest::newRow("7 all") << 7 << false << emptyValue << 0 << 0 << false << false;
}

void TestQmdBinding::unbindActions()
{
    QFETCH(int, actions);
    QFETCH(bool, bound);
    QFETCH(QVariant, shown);
    QFETCH(int, notifyConnections);
    QFETCH(int, destroyedConnections);
    QFETCH(bool, editWrites);
    QFETCH(bool, documentRefreshes);

    Widget w; // outlives the controller: a binding left connected never dangles
    Document doc({5});
    doc.bindValue(&w);
    QCOMPARE(w.value(), QVariant(5));
    QSignalSpy spy(&w, &Widget::valueChanged);

    doc.controller.unbind(&w, nullptr, QmdController::UnbindActions(actions));
    QCOMPARE(spy.count(), 0); // resetting blocks the object's signals
    QCOMPARE(doc.controller.isBound(&w), bound);
    QCOMPARE(w.value(), shown);
    // The spy is one more receiver.
    QCOMPARE(w.connections(SIGNAL(valueChanged(QVariant))), notifyConnections + 1);
    QCOMPARE(w.connections(SIGNAL(destroyed(QObject *))), destroyedConnections);

    w.setValue(9);
    QCOMPARE(doc.requests, editWrites ? 1 : 0);
    QCOMPARE(doc.valueAt(0), editWrites ? QVariant(9) : QVariant(5));

    doc.controller.requestSetData(pitch, 6, doc.elements.at(0));
    QCoreApplication::processEvents();
    QCOMPARE(w.value(), documentRefreshes ? QVariant(6) : QVariant(9));
}

// Unbinding one property of an object keeps its other bindings.
void TestQmdBinding::unbindOneProperty()
{
    Document doc({5});
    Widget w;
    Widget other;
    doc.bindValue(&w);
    doc.controller.bind(&w, "checked", SIGNAL(toggled(bool)), QStringLiteral("Muted"),
                        doc.elements.at(0), false, false, QStringLiteral("Mute"));
    doc.bindValue(&other);

    doc.controller.unbind(&w, "value");
    QVERIFY(!doc.controller.isBound(&w, "value"));
    QCOMPARE(w.connections(SIGNAL(valueChanged(QVariant))), 0);
    QCOMPARE(w.connections(SIGNAL(destroyed(QObject *))), 1);

    // The remaining binding, to one item, still works both ways.
    w.setChecked(true);
    QCOMPARE(doc.valueAt(0, QStringLiteral("Muted")), QVariant(true));
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Mute"));
    doc.controller.requestUndo();
    QCoreApplication::processEvents();
    QVERIFY(!w.isChecked());

    doc.controller.unbind(QObjectList{&w, &other});
    QVERIFY(!doc.controller.isBound(&w));
    QVERIFY(!doc.controller.isBound(&other));
    QCOMPARE(w.connections(SIGNAL(destroyed(QObject *))), 0);
}

void TestQmdBinding::readOnlyBinding_data()
{
    QTest::addColumn<QByteArray>("signal");
    QTest::newRow("null signal") << QByteArray();
    QTest::newRow("unknown signal") << QByteArray("2noSuchSignal()");
}

// Without a (usable) notify signal the document drives the object, never the
// other way round.
void TestQmdBinding::readOnlyBinding()
{
    QFETCH(QByteArray, signal);
    Document doc({5});
    Widget w;
    if (signal == "2noSuchSignal()")
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("has no signal"));
    doc.bindValue(&w, signal.isNull() ? nullptr : signal.constData());
    QCOMPARE(w.value(), QVariant(5));

    w.setValue(9);
    QCOMPARE(doc.requests, 0);
    doc.controller.requestSetData(pitch, 6, doc.elements.at(0));
    QCoreApplication::processEvents();
    QCOMPARE(w.value(), QVariant(6));
}

void TestQmdBinding::rebindReplacesTargets()
{
    Document doc({1, 2});
    Widget w;
    doc.controller.bind(&w, "value", SIGNAL(valueChanged(QVariant)), pitch, doc.elements.at(0),
                        emptyValue, mixedValue, QStringLiteral("First"));
    doc.controller.bind(&w, "value", SIGNAL(valueChanged(QVariant)), pitch, doc.elements.at(1),
                        emptyValue, mixedValue, QStringLiteral("Second"));
    QCOMPARE(w.value(), QVariant(2));
    QCOMPARE(w.connections(SIGNAL(valueChanged(QVariant))), 1);

    doc.controller.requestSetData(pitch, 10, doc.elements.at(0));
    QCoreApplication::processEvents();
    QCOMPARE(w.value(), QVariant(2));

    w.setValue(4);
    QCOMPARE(doc.values(), QVariantList({10, 4}));
    QCOMPARE(doc.controller.undoText(), QStringLiteral("Second"));
}

// A signal with a default argument, bound by its short form as
// SIGNAL(clicked()) names it, is the one the object emits.
void TestQmdBinding::signalNamedByItsShortForm()
{
    Document doc({false});
    Widget w;
    doc.controller.bind(&w, "checked", SIGNAL(clicked()), {{doc.elements.first(), {pitch}}},
                        false, false, QStringLiteral("Check"));
    w.click();
    QCOMPARE(doc.valueAt(0), QVariant(true));
}

QTEST_GUILESS_MAIN(TestQmdBinding)
#include "tst_qmdbinding.moc"
