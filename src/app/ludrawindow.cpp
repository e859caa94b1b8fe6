#include "ludrawindow.h"

#include "displayscale.h"
#include "inspector.h"
#include "ludraapplication.h"
#include "ludramenubar.h"
#include "ludratoolbar.h"
#include "networkscene.h"
#include "networkview.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"
#include "recentfiles.h"
#include "settingscontroller.h"
#include "settingsmodel.h"
#include "zoomcombobox.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsItem>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPainterPath>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

using Keys = SettingsModel;

const QString ZoomScaleKey = QStringLiteral("ZoomScale");
const QString NetworkSuffix = QStringLiteral("ldx");

// The file as messages name it: the last part of its path, in quotes.
QString quotedName(const QString &fileName)
{
    const QString name = fileName.mid(fileName.lastIndexOf(u'/') + 1);
    return QStringLiteral("“%1”").arg(name.isEmpty() ? LudraWindow::tr("Untitled") : name);
}

bool isAccessError(QFile::FileError error)
{
    return error == QFile::WriteError || error == QFile::OpenError ||
           error == QFile::PermissionsError;
}

} // namespace

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

    // The commands, the menus and the file handling.
    if (ludraApp)
        m_untitledNumber = ludraApp->untitledCount();
    QmdLudraController *c = m_controller.get();
    connect(c, &QmdController::atCleanStateChanged, this, &LudraWindow::onAtCleanStateChanged);
    connect(c, &QmdDocController::fileNameChanged, this, &LudraWindow::onFileNameChanged);
    connect(c, &QmdDocController::fileSaved, this, &LudraWindow::onFileSaved);
    connect(c, &QmdDocController::fileSaveError, this,
            [this](const QString &fileName, QFile::FileError error) {
                onFileSaveError(fileName, error);
            });
    connect(c, &QmdDocController::fileLoaded, this, &LudraWindow::onFileLoaded);
    connect(c, &QmdDocController::fileLoadError, this,
            [this](const QString &fileName, QFile::FileError error) {
                onFileLoadError(fileName, error);
            });
    connect(c, &QmdController::modelReset, this, &LudraWindow::reset);
    connect(c,
            qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(
                &QmdController::itemsChanged),
            this, &LudraWindow::onItemsEffected);
    connect(m_view, &NetworkView::cutRequested, this, &LudraWindow::cut);
    connect(m_view, &NetworkView::copyRequested, this, &LudraWindow::copy);
    connect(m_view, &NetworkView::pasteRequested, this, &LudraWindow::paste);
    connect(m_view, &NetworkView::deleteRequested, this, &LudraWindow::del);
    connect(m_view, &NetworkView::selectAllRequested, this, &LudraWindow::selectAll);
    m_menuBar = new LudraMenuBar(this);
    setMenuBar(m_menuBar);
    m_menuBar->setLudraWindow(this);
    reset();
}

LudraWindow::~LudraWindow()
{
    // The tool bar, inspector, scene and view let go of the controller first; the controller
    // stops the document's playback before the model goes.
    m_menuBar->setLudraWindow(nullptr);
    m_toolBar->setController(nullptr);
    m_inspector->setController(nullptr);
    m_view->setController(nullptr);
    m_scene->setController(nullptr);
    m_controller.reset();
}

QString LudraWindow::nameFilter()
{
    return QCoreApplication::applicationName() + QStringLiteral(" Network ( *.") + NetworkSuffix +
           u')';
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
    // The zoom the user chose for new windows, over the template's own; not
    // an edit of theirs, so nothing to undo and nothing to save.
    if (const SettingsModel *settings = ludraApp ? ludraApp->settingsModel() : nullptr) {
        bool ok = false;
        const double scale = settings->valueOrDefault(Keys::DefaultZoomKey).toDouble(&ok);
        if (ok && scale > 0) {
            m_controller->requestSetData(
                ZoomScaleKey, std::clamp(scale, NetworkView::MinZoom, NetworkView::MaxZoom),
                QmdIndex(), QmdRequestOptions(Qmd::NoUndo, tr("Zoom")));
        }
    }
}

bool LudraWindow::loadFile(const QString &fileName)
{
    bool failed = false;
    const auto connection = connect(m_controller.get(), &QmdDocController::fileLoadError, this,
                                    [&failed] { failed = true; });
    m_controller->requestLoad(QFileInfo(fileName).absoluteFilePath());
    disconnect(connection);
    return !failed;
}

bool LudraWindow::canZoomIn() const
{
    return m_canZoomIn;
}

bool LudraWindow::canZoomOut() const
{
    return m_canZoomOut;
}

QPrinter *LudraWindow::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printer.get();
}

// --- Commands ----------------------------------------------------------------

void LudraWindow::reset()
{
    updateTitle();
    updateZoomLimits();
}

void LudraWindow::save()
{
    if (m_controller->fileName().isEmpty())
        saveAs();
    else
        m_controller->requestSaveInBackground(fileName());
}

void LudraWindow::saveAs()
{
    auto *dialog = new QFileDialog(this, tr("Save As"));
    m_saveAsDialog = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    // Qt's own dialog, the same on every desktop and under test.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(NetworkSuffix);
    dialog->setNameFilter(nameFilter());
    SettingsController *settings = ludraApp ? ludraApp->settingsController() : nullptr;
    if (settings) {
        dialog->restoreState(settings->value(Keys::SaveAsDialogStateKey).toByteArray());
        dialog->restoreGeometry(settings->value(Keys::SaveAsDialogGeometryKey).toByteArray());
    }
    const QString current = fileName();
    if (current.isEmpty())
        dialog->selectFile(QStringLiteral("Untitled.%1").arg(m_untitledNumber));
    else
        dialog->selectFile(current);
    connect(dialog, &QDialog::finished, this, [this, dialog, settings](int result) {
        if (settings) {
            settings->requestChangeValue(Keys::SaveAsDialogStateKey, dialog->saveState());
            settings->requestChangeValue(Keys::SaveAsDialogGeometryKey, dialog->saveGeometry());
        }
        onSaveAsDialogFinished(result);
        endBlockByDialog();
    });
    beginBlockByDialog();
    dialog->open();
}

void LudraWindow::onSaveAsDialogFinished(int result)
{
    const QStringList chosen = m_saveAsDialog ? m_saveAsDialog->selectedFiles() : QStringList();
    if (result != QDialog::Accepted || chosen.isEmpty()) {
        // The user changed their mind about saving, and so about closing.
        m_closeAfterSave = false;
        return;
    }
    QString target = chosen.first();
    // Only files of the network's suffix show in the open dialog; the
    // dialog adds it only to names without any suffix ("Untitled.2").
    if (QFileInfo(target).suffix() != NetworkSuffix)
        target += u'.' + NetworkSuffix;
    m_controller->requestSaveInBackground(target);
}

void LudraWindow::pageSetup()
{
    auto *dialog = new QPageSetupDialog(printer(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, &LudraWindow::endBlockByDialog);
    beginBlockByDialog();
    dialog->open();
}

void LudraWindow::print()
{
    auto *dialog = new QPrintDialog(printer(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::accepted, this, &LudraWindow::onPrintAccepted);
    connect(dialog, &QDialog::finished, this, &LudraWindow::endBlockByDialog);
    beginBlockByDialog();
    dialog->open();
}

void LudraWindow::onPrintAccepted()
{
    QPainter painter;
    if (!painter.begin(printer()))
        return;
    // The network fills the page as far as its proportions allow; what is
    // selected prints as it looks unselected.
    const QList<QGraphicsItem *> selected = m_scene->selectedItems();
    for (QGraphicsItem *item : selected)
        item->setSelected(false);
    m_scene->render(&painter, QRectF(), m_scene->contentsRect(), Qt::KeepAspectRatio);
    painter.end();
    for (QGraphicsItem *item : selected)
        item->setSelected(true);
}

void LudraWindow::undo()
{
    if (!(m_controller->isAtCleanState() && m_controller->canUndo())) {
        m_controller->requestUndo();
        return;
    }
    activateWindow();
    auto *box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                                tr("Warning"), QMessageBox::NoButton, this);
    box->setInformativeText(tr("You are about to undo past the last point that this file was "
                               "saved. Do you want to do this?"));
    QPushButton *undoButton = box->addButton(tr("&Undo"), QMessageBox::AcceptRole);
    QPushButton *keepButton = box->addButton(tr("&Don't Undo"), QMessageBox::RejectRole);
    box->setDefaultButton(undoButton);
    box->setEscapeButton(keepButton);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, undoButton] {
        if (box->clickedButton() == undoButton)
            m_controller->requestUndo();
        endBlockByDialog();
    });
    beginBlockByDialog();
    box->open();
}

void LudraWindow::redo()
{
    m_controller->requestRedo();
}

void LudraWindow::cut()
{
    copy();
    del();
}

void LudraWindow::copy()
{
    const QmdItemIdSet selected = m_scene->selectedIds();
    if (selected.isEmpty())
        return;
    auto *mime = new QMimeData;
    mime->setData(NetworkView::ElementsMimeType, m_controller->copyElements(selected));
    QGuiApplication::clipboard()->setMimeData(mime);
}

void LudraWindow::paste()
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (!mime || !mime->hasFormat(NetworkView::ElementsMimeType))
        return;
    QmdLudra::TickPos center;
    if (!DisplayScale::scenePosToTickPos(m_view->mapToScene(m_view->viewport()->rect().center()),
                                         &center))
        return;
    m_controller->requestPaste(mime->data(NetworkView::ElementsMimeType), m_view->snapped(center));
}

void LudraWindow::del()
{
    const QmdItemIdSet selected = m_scene->selectedIds();
    if (selected.isEmpty())
        return;
    m_controller->requestRemove(QmdItemIdList(selected.cbegin(), selected.cend()),
                                m_controller->elementsIndex(), tr("Delete"));
}

void LudraWindow::selectAll()
{
    QPainterPath area;
    area.addRect(m_scene->contentsRect());
    m_scene->setSelectionArea(area, Qt::ReplaceSelection, Qt::IntersectsItemShape);
}

void LudraWindow::zoomActualSize()
{
    zoom(1.0);
}

void LudraWindow::zoomIn()
{
    // The steps are those of the view's zoom box.
    const QList<double> &scales = ZoomComboBox::scales();
    const double now = zoomScale();
    const auto next = std::find_if(scales.cbegin(), scales.cend(),
                                   [now](double scale) { return scale > now * 1.0001; });
    if (next != scales.cend())
        zoom(*next);
}

void LudraWindow::zoomOut()
{
    const QList<double> &scales = ZoomComboBox::scales();
    const double now = zoomScale();
    const auto next = std::find_if(scales.crbegin(), scales.crend(),
                                   [now](double scale) { return scale < now * 0.9999; });
    if (next != scales.crend())
        zoom(*next);
}

void LudraWindow::zoom(qreal scale)
{
    scale = std::clamp(scale, qreal(NetworkView::MinZoom), qreal(NetworkView::MaxZoom));
    m_controller->requestSetData(ZoomScaleKey, scale, QmdIndex(), tr("Zoom"));
}

double LudraWindow::zoomScale() const
{
    bool ok = false;
    const double scale = m_controller->data(m_controller->index(ZoomScaleKey)).toDouble(&ok);
    return ok && scale > 0 ? std::clamp(scale, NetworkView::MinZoom, NetworkView::MaxZoom) : 1.0;
}

void LudraWindow::updateZoomLimits()
{
    const double scale = zoomScale();
    if (const bool can = scale < NetworkView::MaxZoom; can != m_canZoomIn) {
        m_canZoomIn = can;
        Q_EMIT canZoomInChanged(can);
    }
    if (const bool can = scale > NetworkView::MinZoom; can != m_canZoomOut) {
        m_canZoomOut = can;
        Q_EMIT canZoomOutChanged(can);
    }
}

void LudraWindow::beginBlockByDialog()
{
    if (++m_blockCount == 1)
        Q_EMIT blockedByDialogChanged(true);
}

void LudraWindow::endBlockByDialog()
{
    if (m_blockCount == 0)
        return;
    if (--m_blockCount == 0)
        Q_EMIT blockedByDialogChanged(false);
}

// --- File results --------------------------------------------------------------

void LudraWindow::onFileSaved()
{
    if (ludraApp && ludraApp->recentFiles())
        ludraApp->recentFiles()->add(fileName());
    if (m_closeAfterSave)
        QTimer::singleShot(0, this, &QWidget::close);
}

void LudraWindow::onFileSaveError(const QString &fileName, QFile::FileError error)
{
    const QString name = quotedName(fileName);
    reportFileError(
        isAccessError(error)
            ? tr("The network could not be saved as %1. You may not have permission.").arg(name)
            : tr("The network could not be saved as %1. An unknown error occurred.").arg(name),
        error);
}

void LudraWindow::onFileLoaded()
{
    if (ludraApp && ludraApp->recentFiles())
        ludraApp->recentFiles()->add(fileName());
}

void LudraWindow::onFileLoadError(const QString &fileName, QFile::FileError error)
{
    const QString name = quotedName(fileName);
    reportFileError(
        isAccessError(error)
            ? tr("The network %1 could not be opened. You may not have permission.").arg(name)
            : tr("The network %1 could not be opened. An unknown error occurred.").arg(name),
        error);
}

void LudraWindow::reportFileError(const QString &text, QFile::FileError error)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(), text,
                                QMessageBox::Ok, this);
    box->setInformativeText(tr("Code: %1").arg(int(error)));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QDialog::finished, this, &LudraWindow::endBlockByDialog);
    beginBlockByDialog();
    box->open();
}

void LudraWindow::onFileNameChanged(const QString &)
{
    updateTitle();
}

void LudraWindow::onAtCleanStateChanged(bool atCleanState)
{
    setWindowModified(!atCleanState);
}

void LudraWindow::onItemsEffected(const QmdIndex &parent, const QStringList &keys)
{
    if (!parent.isValid() && keys.contains(ZoomScaleKey))
        updateZoomLimits();
}

void LudraWindow::updateTitle()
{
    const QString name = fileName();
    setWindowFilePath(name);
    setWindowTitle(name.isEmpty() ? tr("Untitled") + QStringLiteral("[*]")
                                  : QFileInfo(name).fileName() + QStringLiteral("[*]"));
    setWindowModified(!m_controller->isAtCleanState());
}

// --- Closing -----------------------------------------------------------------

void LudraWindow::closeEvent(QCloseEvent *event)
{
    // A save under way decides: the window closes when it succeeds.
    if (m_controller->savesUnderWay() > 0 && m_closeAfterSave) {
        event->ignore();
        return;
    }
    if (!isWindowModified()) {
        event->accept();
        return;
    }
    activateWindow();
    QString title = windowTitle();
    title.remove(QStringLiteral("[*]"));
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    tr("Do you want to save the changes you made to the network “%1”?").arg(title),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("closeQuestion"));
    box.setInformativeText(tr("Your changes will be lost if you don't save them."));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    box.setWindowModality(Qt::WindowModal);
    beginBlockByDialog();
    const int answer = box.exec();
    endBlockByDialog();
    switch (answer) {
    case QMessageBox::Save:
        m_closeAfterSave = true;
        event->ignore();
        save();
        break;
    case QMessageBox::Discard:
        event->accept();
        break;
    default:
        event->ignore();
        break;
    }
}
