#include "controllersignalrecorder.h"
#include "qmdcontroller.h"
#include "qmdmemmodel.h"

#include <QCoreApplication>
#include <QtTest>

namespace {

const QString pitch = QStringLiteral("Pitch");
const QVariant emptyValue(-1);
const QVariant mixedValue(QStringLiteral("<mixed>"));

} // namespace

// Stands in for a widget: a value property whose setter always signals, as a
// user edit does, and a button's checked state.
class Widget : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(bool checked MEMBER m_checked)

public:
    QVariant value() const { return m_value; }
    void setValue(const QVariant &value)
    {
        m_value = value;
        Q_EMIT valueChanged(value);
    }
    // As a button does: flips, then signals with its state.
    void click()
    {
        m_checked = !m_checked;
        Q_EMIT clicked(m_checked);
    }

Q_SIGNALS:
    void valueChanged(const QVariant &value);
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
    void userEdit_data();
    void userEdit();
    void signalNamedByItsShortForm();
};

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

// A signal with a default argument, bound by its short form as
// SIGNAL(clicked()) names it, is the one the object emits.
void TestQmdBinding::signalNamedByItsShortForm()
{
    Document doc({false});
    Widget w;
    doc.controller.bind(&w, "checked", SIGNAL(clicked()), {{doc.elements.first(), {pitch}}}, false,
                        false, QStringLiteral("Check"));
    w.click();
    QCOMPARE(doc.valueAt(0), QVariant(true));
}

QTEST_GUILESS_MAIN(TestQmdBinding)
#include "tst_qmdbinding.moc"
