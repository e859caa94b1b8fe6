#include "ludrawindow.h"

#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

namespace {

QString counted(int n, const char *one, const char *many)
{
    return n == 1 ? LudraWindow::tr(one) : LudraWindow::tr(many).arg(n);
}

} // namespace

LudraWindow::LudraWindow(QWidget *parent)
    : QMainWindow(parent), m_model(std::make_unique<QmdMemModel>()),
      m_controller(std::make_unique<QmdLudraController>())
{
    m_controller->setModel(m_model.get());

    // Until the network scene exists, the window says what the document
    // holds, and nothing more.
    m_summary = new QLabel;
    m_summary->setAlignment(Qt::AlignCenter);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setMargin(24);
    setCentralWidget(m_summary);
    resize(960, 640);

    connect(m_controller.get(), &QmdController::atCleanStateChanged, this,
            &LudraWindow::updateTitle);
    connect(m_controller.get(), &QmdDocController::fileNameChanged, this,
            &LudraWindow::updateTitle);
    connect(m_controller.get(), &QmdController::modelReset, this, &LudraWindow::updateSummary);
    connect(m_controller.get(), &QmdController::requestFinished, this, &LudraWindow::updateSummary);
    updateTitle();
    updateSummary();
}

LudraWindow::~LudraWindow()
{
    // The controller stops the document's playback before the model goes.
    m_controller.reset();
}

QString LudraWindow::fileName() const
{
    const QString name = m_controller->fileName();
    return name.isEmpty() ? name : QFileInfo(name).absoluteFilePath();
}

void LudraWindow::startFromTemplate(const QString &templateFile)
{
    if (!templateFile.isEmpty())
        m_controller->requestLoadTemplate(templateFile);
    updateSummary();
}

bool LudraWindow::loadFile(const QString &fileName)
{
    QFile::FileError error = QFile::NoError;
    const auto connection = connect(m_controller.get(), &QmdDocController::fileLoadError, this,
                                    [&error](const QString &, QFile::FileError e) { error = e; });
    m_controller->requestLoad(QFileInfo(fileName).absoluteFilePath());
    disconnect(connection);
    updateTitle();
    updateSummary();
    if (error == QFile::NoError)
        return true;
    reportLoadError(fileName, error);
    return false;
}

void LudraWindow::updateTitle()
{
    const QString name = fileName();
    setWindowFilePath(name);
    setWindowTitle(name.isEmpty() ? tr("Untitled") + QStringLiteral("[*]")
                                  : QFileInfo(name).fileName() + QStringLiteral("[*]"));
    setWindowModified(!m_controller->isAtCleanState());
}

void LudraWindow::updateSummary()
{
    int nodes = 0, edges = 0, voiceGroups = 0, textBoxes = 0;
    const QmdIndex elements = m_controller->index(QmdLudra::ElementsKey);
    const QmdItemIdList ids = m_controller->ids(elements);
    for (const QmdItemId id : ids) {
        const QmdIndex element = m_controller->index(id, elements);
        switch (m_controller->data(m_controller->index(QmdLudra::TypeKey, element)).toUInt()) {
        case QmdLudra::Node:
            ++nodes;
            break;
        case QmdLudra::Edge:
            ++edges;
            break;
        case QmdLudra::VoiceGroup:
            ++voiceGroups;
            break;
        case QmdLudra::TextBox:
            ++textBoxes;
            break;
        default:
            break;
        }
    }
    const int instruments = int(m_controller->ids(m_controller->instrumentsIndex()).size());
    const QString name = fileName();
    m_summary->setText((name.isEmpty() ? tr("Untitled") : QFileInfo(name).fileName()) + u'\n' +
                       QStringList{counted(nodes, "1 node", "%1 nodes"),
                                   counted(edges, "1 edge", "%1 edges"),
                                   counted(voiceGroups, "1 voice group", "%1 voice groups"),
                                   counted(textBoxes, "1 text box", "%1 text boxes"),
                                   counted(instruments, "1 instrument", "%1 instruments")}
                           .join(QStringLiteral(", ")));
}

void LudraWindow::reportLoadError(const QString &fileName, QFile::FileError error)
{
    const QString name = QFileInfo(fileName).fileName();
    const bool access =
        error == QFile::ReadError || error == QFile::OpenError || error == QFile::PermissionsError;
    auto *box = new QMessageBox(
        QMessageBox::Warning, tr("Ludra"),
        access ? tr("The network “%1” could not be opened. You may not have permission.").arg(name)
               : tr("The network “%1” could not be opened. An unknown error occurred.").arg(name),
        QMessageBox::Ok, this);
    box->setInformativeText(tr("Code: %1").arg(int(error)));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
