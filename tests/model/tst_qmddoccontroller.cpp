#include "controllersignalrecorder.h"
#include "qmddoccontroller.h"
#include "qmdelementdoccontroller.h"
#include "qmdmemmodel.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A document whose file holds one line: the root's "Value". Loading replaces
// the whole root by one holding only that value, so a loaded document has no
// "Elements" until the controller's reset puts them back.
class OneValueController : public QmdElementDocController
{
public:
    QFile::FileError save(const QString &fileName, QmdRequestId) override
    {
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return file.error();
        file.write(data(index(QStringLiteral("Value"))).toString().toUtf8());
        return QFile::NoError;
    }
    QFile::FileError load(const QString &fileName, QmdRequestId) override
    {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return file.error();
        setType(QmdIndex(), Qmd::StrDict);
        setData(QStringLiteral("Value"), QString::fromUtf8(file.readAll()));
        return QFile::NoError;
    }
};

QString readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeFile(const QString &fileName, const QString &text)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

} // namespace

class TestQmdDocController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileRequests_data();
    void fileRequests();
};

void TestQmdDocController::fileRequests_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QString>("startName"); // "", "target" or "other"
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<QString>("endName");
    QTest::addColumn<bool>("clean");
    QTest::addColumn<int>("status");

    QTest::newRow("save under a new name")
        << "save" << true << "" << QStringList{"fileSaved", "fileNameChanged"} << "target" << true
        << 0;
    QTest::newRow("save under the same name")
        << "save" << true << "target" << QStringList{"fileSaved"} << "target" << true << 0;
    QTest::newRow("save fails to open")
        << "save" << false << "other" << QStringList{"fileSaveError"} << "other" << false << -1;
    QTest::newRow("load") << "load" << true << ""
                          << QStringList{"modelReset", "fileLoaded", "fileNameChanged"} << "target"
                          << true << 0;
    QTest::newRow("load fails to open")
        << "load" << false << "" << QStringList{"fileLoadError"} << "" << false << -1;
    QTest::newRow("load template keeps the name")
        << "template" << true << "other" << QStringList{"modelReset", "templateLoaded"} << "other"
        << true << 0;
}

void TestQmdDocController::fileRequests()
{
    QFETCH(QString, mode);
    QFETCH(bool, fileExists);
    QFETCH(QString, startName);
    QFETCH(QStringList, emitted);
    QFETCH(QString, endName);
    QFETCH(bool, clean);
    QFETCH(int, status);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QHash<QString, QString> names{
        {"", ""}, {"target", dir.filePath("doc.txt")}, {"other", dir.filePath("other.txt")}};
    const QString fileName =
        fileExists ? names.value("target") : dir.filePath(QStringLiteral("missing/doc.txt"));
    writeFile(names.value("target"), QStringLiteral("from file"));

    QmdMemModel model;
    OneValueController controller;
    controller.setModel(&model);
    if (!startName.isEmpty())
        controller.requestSave(names.value(startName));
    controller.requestSetData(QStringLiteral("Value"), QStringLiteral("edited"));
    QCoreApplication::processEvents();
    writeFile(names.value("target"), QStringLiteral("from file"));

    ControllerSignalRecorder recorder(&controller);
    QmdRequestId rid = 0;
    if (mode == "save")
        rid = controller.requestSave(fileName);
    else if (mode == "load")
        rid = controller.requestLoad(fileName);
    else
        rid = controller.requestLoadTemplate(fileName);

    QCOMPARE(recorder.names(), emitted);
    for (const ControllerEvent &e : recorder.events()) {
        if (e.name != "modelReset")
            QCOMPARE(e.rid, rid);
    }
    // The outcome's own signal: first, or right after the reset.
    const QString outcome = emitted.at(emitted.first() == "modelReset" ? 1 : 0);
    const QVariantList fileArgs = recorder.only({outcome}).first().args;
    QCOMPARE(fileArgs.first().toString(), fileName);
    if (status != 0)
        QCOMPARE(fileArgs.at(1).toInt(), int(QFile::OpenError));
    QCOMPARE(controller.fileName(), names.value(endName));
    QCOMPARE(controller.isAtCleanState(), clean);

    QCoreApplication::processEvents();
    const QList<ControllerEvent> finished = recorder.only({"requestFinished"});
    QVERIFY(!finished.isEmpty());
    QCOMPARE(finished.first().rid, rid);
    QCOMPARE(finished.first().args, QVariantList{status});
    // A file request is no undo step: only the earlier edit can be undone.
    QCOMPARE(controller.undoRedoCount(), 1);

    const QmdIndex elements = controller.elementsIndex();
    QCOMPARE(controller.containerType(elements), Qmd::IntDict);
    const QString value = controller.data(controller.index(QStringLiteral("Value"))).toString();
    if (mode == "save") {
        QCOMPARE(value, QStringLiteral("edited"));
        QCOMPARE(readFile(names.value("target")),
                 status == 0 ? QStringLiteral("edited") : QStringLiteral("from file"));
    } else {
        QCOMPARE(value, status == 0 ? QStringLiteral("from file") : QStringLiteral("edited"));
        // The loaded root had no "Elements": the reset made them, empty, and
        // without disturbing the clean state.
        if (status == 0) {
            QVERIFY(controller.ids(elements).isEmpty());
            QVERIFY(controller.isAtCleanState());
        }
    }
}

QTEST_GUILESS_MAIN(TestQmdDocController)
#include "tst_qmddoccontroller.moc"
