#include "instrumentsmodel.h"
#include "networkdocument.h"
#include "qmdmemmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

// The list of instruments follows the document through the controller's own
// signals, checked by the model tester on every change.
class TestInstrumentsModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsFollowTheDocument();
};

void TestInstrumentsModel::rowsFollowTheDocument()
{
    NetworkDocument doc;
    const auto add = [&doc](const char *label) {
        return doc.instrumentOn(NetworkDocument::channels({0}), {{"Label", label}});
    };
    const QmdItemId bass = add("Bass");
    InstrumentsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setController(&doc.controller);
    const auto labels = [&model] {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row)
            texts.append(model.index(row, 0).data().toString());
        return texts;
    };
    const QmdItemId lead = add("Lead");
    const QmdItemId pad = add("Pad");
    QCOMPARE(labels(), QStringList({"Bass", "Lead", "Pad"}));
    QCOMPARE(model.index(2, 0).data(InstrumentsModel::IdRole).value<QmdItemId>(), pad);

    QVERIFY(doc.run(doc.controller.requestRemove(lead, doc.controller.instrumentsIndex())));
    QCOMPARE(labels(), QStringList({"Bass", "Pad"}));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(doc.run(doc.controller.requestSetData("Label", "Organ", doc.instrument(pad))));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex(), model.index(1, 0));
    QCOMPARE(labels(), QStringList({"Bass", "Organ"}));

    // Undo brings the removed record back; a reset lists the records in the
    // order they were made.
    QVERIFY(doc.run(doc.controller.requestUndo()));
    QVERIFY(doc.run(doc.controller.requestUndo()));
    QCOMPARE(model.rowCount(), 3);
    doc.controller.reset();
    QCOMPARE(labels(), QStringList({"Bass", "Lead", "Pad"}));
    QCOMPARE(model.index(0, 0).data(InstrumentsModel::IdRole).value<QmdItemId>(), bass);

    QmdMemModel other(Qmd::StrDict);
    doc.controller.setModel(&other);
    QCOMPARE(model.rowCount(), 0);
}

QTEST_MAIN(TestInstrumentsModel)
#include "tst_instrumentsmodel.moc"
