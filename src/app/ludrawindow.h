#pragma once

#include "qmdglobal.h"
#include "qmdindex.h"

#include <QFile>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class Inspector;
class LudraMenuBar;
class LudraToolBar;
class NetworkScene;
class NetworkView;
class QFileDialog;
class QPrinter;
class QmdLudraController;
class QmdMemModel;

// A document window: one network document, its controller and model, the
// network drawn in its scene and edited in its view, the inspector of what
// is selected docked at its right, the menu bar of its commands, and the
// tool bar with the editing tools, the playback controls and the position
// display.
//
// Its title is the document's file name with the modified marker, or
// "Untitled"; its file path is the document's.
//
// Saving runs in the background (QmdDocController::requestSaveInBackground):
// the window stays usable while the file is written, and hears of the
// outcome from its controller. Closing a modified document asks first; when
// the user chooses to save, the window closes once the save has succeeded.
//
// While one of its window-modal dialogs is open the window is blocked: its
// menu bar disables the window's commands.
//
// Threads: the GUI thread only.
class LudraWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit LudraWindow(QWidget *parent = nullptr);
    ~LudraWindow() override;

    QmdLudraController *controller() const { return m_controller.get(); }
    NetworkScene *scene() const { return m_scene; }
    NetworkView *view() const { return m_view; }
    Inspector *inspector() const { return m_inspector; }
    LudraMenuBar *ludraMenuBar() const { return m_menuBar; }
    LudraToolBar *toolBar() const { return m_toolBar; }
    // The document's file, absolute; empty while untitled.
    QString fileName() const;
    // What the open and save dialogs list: "Ludra Network ( *.ldx)".
    static QString nameFilter();

    // Starts a new document from the template file, which leaves it
    // untitled; an empty or unreadable template leaves the document as its
    // controller resets it. It shows at the application's default zoom
    // ("Windows: Default Zoom"), not the template's.
    void startFromTemplate(const QString &templateFile);
    // Loads the file into the window's document; when it cannot, tells the
    // user (a warning on the window) and returns false.
    bool loadFile(const QString &fileName);

    bool isBlockedByDialog() const { return m_blockCount > 0; }
    // The user chose to save while closing: the window closes once a save
    // succeeds.
    bool isClosingAfterSave() const { return m_closeAfterSave; }
    bool canZoomIn() const;
    bool canZoomOut() const;
    // What Page Setup set up and Print prints on; made when first asked for.
    QPrinter *printer();

Q_SIGNALS:
    void canZoomInChanged(bool canZoomIn);
    void canZoomOutChanged(bool canZoomOut);
    void blockedByDialogChanged(bool blocked);
    // The position display shows another mode (PlaybackPosDisplay::Mode).
    void playbackPosDisplayModeChanged(int mode);

public Q_SLOTS:
    // The window follows a document that was replaced as a whole.
    void reset();
    void save();
    void saveAs();
    void pageSetup();
    void print();
    // Asks first when the undo would leave the state last saved.
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void del();
    void selectAll();
    void zoomActualSize();
    void zoomIn();
    void zoomOut();
    // Stored in the document, clamped to what the view can show.
    void zoom(qreal scale);
    void beginBlockByDialog();
    void endBlockByDialog();

    void onPrintAccepted();
    void onSaveAsDialogFinished(int result);
    void onFileSaved();
    void onFileSaveError(const QString &fileName, QFile::FileError error);
    void onFileLoaded();
    void onFileLoadError(const QString &fileName, QFile::FileError error);
    void onFileNameChanged(const QString &fileName);
    void onAtCleanStateChanged(bool atCleanState);
    void onItemsEffected(const QmdIndex &parent, const QStringList &keys);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void updateTitle();
    void updateZoomLimits();
    double zoomScale() const;
    void reportFileError(const QString &text, QFile::FileError error);

    std::unique_ptr<QmdMemModel> m_model;
    std::unique_ptr<QmdLudraController> m_controller;
    NetworkScene *m_scene = nullptr;
    NetworkView *m_view = nullptr;
    Inspector *m_inspector = nullptr;
    LudraMenuBar *m_menuBar = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    QPointer<QFileDialog> m_saveAsDialog;
    // The number this window had among the application's untitled
    // documents when it was made: its name until it has one.
    int m_untitledNumber = 0;
    int m_blockCount = 0;
    bool m_closeAfterSave = false;
    bool m_canZoomIn = false;
    bool m_canZoomOut = false;
    LudraToolBar *m_toolBar = nullptr;
};
