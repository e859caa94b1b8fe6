#include "ludrawindow.h"

#include "inspector.h"
#include "ludratoolbar.h"
#include "networkscene.h"
#include "networkview.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"

#include <QDockWidget>
#include <QFileInfo>
#include <QMessageBox>

LudraWindow::LudraWindow(QWidget *parent)
    : QMainWindow(parent), m_model(std::make_unique<QmdMemModel>()),
      m_controller(std::make_unique<QmdLudraController>())
{
    m_controller->setModel(m_model.get());

    m_scene = new NetworkScene(this);
    m_scene->setController(m_controller.get());
    m_view = new NetworkView(m_scene);
    m_view->setController(m_controller.get());
    setCentralWidget(m_view);
    m_inspector = new Inspector;
    m_inspector->setController(m_controller.get());
    auto *dock = new QDockWidget(tr("Inspector"), this);
    dock->setObjectName(QStringLiteral("inspectorDock"));
    dock->setWidget(m_inspector);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    m_toolBar = new LudraToolBar(m_view, this);
    m_toolBar->setController(m_controller.get());
    addToolBar(m_toolBar);
    connect(m_toolBar, &LudraToolBar::displayModeChanged, this,
            &LudraWindow::playbackPosDisplayModeChanged);
    resize(960, 640);

    connect(m_controller.get(), &QmdController::atCleanStateChanged, this,
            &LudraWindow::updateTitle);
    connect(m_controller.get(), &QmdDocController::fileNameChanged, this,
            &LudraWindow::updateTitle);
    updateTitle();
}

LudraWindow::~LudraWindow()
{
    // The tool bar, inspector, scene and view let go of the controller first; the controller
    // stops the document's playback before the model goes.
    m_toolBar->setController(nullptr);
    m_inspector->setController(nullptr);
    m_view->setController(nullptr);
    m_scene->setController(nullptr);
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
}

bool LudraWindow::loadFile(const QString &fileName)
{
    QFile::FileError error = QFile::NoError;
    const auto connection = connect(m_controller.get(), &QmdDocController::fileLoadError, this,
                                    [&error](const QString &, QFile::FileError e) { error = e; });
    m_controller->requestLoad(QFileInfo(fileName).absoluteFilePath());
    disconnect(connection);
    updateTitle();
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
