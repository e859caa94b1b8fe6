#include "instrumentrecords.h"
#include "instrumentsmodel.h"
#include "networkdocument.h"
#include "qmdmemmodel.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// A model bound to a document, checked by the model tester on every change.
struct Fixture
{
    Fixture()
    {
        first = addInstrumentRecord(document.controller, {{"Label", "Bass"}});
        second = addInstrumentRecord(document.controller, {{"Label", "Lead"}});
        QCoreApplication::processEvents();
        model.setController(&document.controller);
    }

    QmdItemIdList rows() const
    {
        QmdItemIdList ids;
        for (int row = 0; row < model.rowCount(); ++row)
            ids.append(model.index(row, 0).data(InstrumentsModel::IdRole).value<QmdItemId>());
        return ids;
    }
    QStringList labels() const
    {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row)
            texts.append(model.index(row, 0).data(Qt::DisplayRole).toString());
        return texts;
    }
    QmdItemId add(const QString &label)
    {
        const QmdItemId id = addInstrumentRecord(document.controller, {{"Label", label}});
        QCoreApplication::processEvents();
        return id;
    }

    NetworkDocument document;
    InstrumentsModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    QmdItemId first = 0;
    QmdItemId second = 0;
};

// The colour of a pixel drawn with alpha a over white, per channel.
int overWhite(int channel, double alpha)
{
    return qRound(channel * alpha + 255 * (1 - alpha));
}

bool near(QRgb actual, QRgb expected)
{
    return qAbs(qRed(actual) - qRed(expected)) <= 1 &&
           qAbs(qGreen(actual) - qGreen(expected)) <= 1 &&
           qAbs(qBlue(actual) - qBlue(expected)) <= 1;
}

} // namespace

class TestInstrumentsModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsFollowAddsAndRemoves();
    void rowsFollowResets();
    void dataChangesRefreshTheRow();
    void swatch_data();
    void swatch();
};

// Binding lists the records in the order made; rows follow adds and removes.
void TestInstrumentsModel::rowsFollowAddsAndRemoves()
{
    Fixture f;
    QCOMPARE(f.labels(), QStringList({"Bass", "Lead"}));
    QmdLudraController &controller = f.document.controller;
    const QmdItemId third = f.add("Pad");
    const QmdItemId fourth = f.add("Drums");

    Q_EMIT controller.instrumentsAdded({third, fourth}, 0);
    QCOMPARE(f.rows(), QmdItemIdList({f.first, f.second, third, fourth}));
    QCOMPARE(f.labels(), QStringList({"Bass", "Lead", "Pad", "Drums"}));
    // An id already listed is not listed twice.
    Q_EMIT controller.instrumentsAdded({third}, 0);
    QCOMPARE(f.rows(), QmdItemIdList({f.first, f.second, third, fourth}));

    controller.requestRemove(QmdItemIdList{f.second, fourth}, controller.instrumentsIndex());
    QCoreApplication::processEvents();
    // An id that is not listed is passed over.
    Q_EMIT controller.instrumentsRemoved({f.second, 999, fourth}, 0);
    QCOMPARE(f.rows(), QmdItemIdList({f.first, third}));
    QCOMPARE(f.labels(), QStringList({"Bass", "Pad"}));
}

void TestInstrumentsModel::rowsFollowResets()
{
    Fixture f;
    QmdLudraController &controller = f.document.controller;
    const QmdItemId third = f.add("Pad");
    controller.requestRemove(f.first, controller.instrumentsIndex());
    QCoreApplication::processEvents();

    QSignalSpy aboutToReset(&f.model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(&f.model, &QAbstractItemModel::modelReset);
    controller.reset();
    QVERIFY(!aboutToReset.isEmpty());
    QCOMPARE(reset.size(), aboutToReset.size());
    QCOMPARE(f.rows(), QmdItemIdList({f.second, third}));

    // A new document replaces the rows entirely.
    QmdMemModel other(Qmd::StrDict);
    controller.setModel(&other);
    QCOMPARE(f.rows(), QmdItemIdList());
}

void TestInstrumentsModel::dataChangesRefreshTheRow()
{
    Fixture f;
    QmdLudraController &controller = f.document.controller;
    QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);
    controller.requestSetData("Label", "Organ",
                              controller.index(f.second, controller.instrumentsIndex()));
    QCoreApplication::processEvents();
    Q_EMIT controller.instrumentDataChanged(f.second, {"Label"}, 0);

    QVERIFY(!changed.isEmpty());
    const QModelIndex row = f.model.index(1, 0);
    QCOMPARE(changed.last().at(0).toModelIndex(), row);
    QCOMPARE(changed.last().at(1).toModelIndex(), row);
    QCOMPARE(row.data().toString(), QString("Organ"));

    changed.clear();
    Q_EMIT controller.instrumentDataRemoved(f.first, {"Color"}, 0);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex(), f.model.index(0, 0));
    // Another id refreshes nothing.
    Q_EMIT controller.instrumentDataChanged(999, {"Label"}, 0);
    QCOMPARE(changed.size(), 1);
}

void TestInstrumentsModel::swatch_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QColor>("color");

    QTest::newRow("opaque colour") << QVariant(QColor(200, 40, 10)) << QColor(200, 40, 10);
    QTest::newRow("translucent colour")
        << QVariant(QColor(0, 100, 255, 128)) << QColor(0, 100, 255, 128);
    QTest::newRow("colour text of a loaded file")
        << QVariant("#336699") << QColor(0x33, 0x66, 0x99);
}

void TestInstrumentsModel::swatch()
{
    QFETCH(QVariant, stored);
    QFETCH(QColor, color);

    Fixture f;
    QmdLudraController &controller = f.document.controller;
    controller.requestSetData("Color", stored,
                              controller.index(f.first, controller.instrumentsIndex()));
    QCoreApplication::processEvents();

    const QVariant decoration = f.model.index(0, 0).data(Qt::DecorationRole);
    QCOMPARE(decoration.typeId(), QMetaType::QPixmap);
    const QImage image = decoration.value<QPixmap>().toImage();
    QCOMPARE(image.size(), QSize(10, 10));

    const QRgb edge = qRgb(color.red(), color.green(), color.blue());
    const double alpha = 0.6 * color.alphaF();
    const QRgb inside = qRgb(overWhite(color.red(), alpha), overWhite(color.green(), alpha),
                             overWhite(color.blue(), alpha));
    // The outline of the 9 x 9 rectangle covers the border of the pixmap.
    for (const QPoint &p : {QPoint(0, 0), QPoint(9, 0), QPoint(0, 9), QPoint(9, 9), QPoint(5, 0)})
        QVERIFY2(near(image.pixel(p), edge), qPrintable(QString::number(image.pixel(p), 16)));
    for (const QPoint &p : {QPoint(1, 1), QPoint(5, 5), QPoint(8, 8)})
        QVERIFY2(near(image.pixel(p), inside), qPrintable(QString::number(image.pixel(p), 16)));
}

QTEST_MAIN(TestInstrumentsModel)
#include "tst_instrumentsmodel.moc"
