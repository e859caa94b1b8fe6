#pragma once

#include <QFile>
#include <QMainWindow>
#include <QString>

#include <memory>

class Inspector;
class LudraToolBar;
class NetworkScene;
class NetworkView;
class QmdLudraController;
class QmdMemModel;

// A document window: one network document, its controller and model, the
// network drawn in its scene and edited in its view, and the inspector of
// what is selected docked at its right; its tool bar holds the editing tools,
// the playback controls and the position display. The document's menus come
// later.
//
// Its title is the document's file name with the modified marker, or
// "Untitled"; its file path is the document's.
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
    LudraToolBar *toolBar() const { return m_toolBar; }
    // The document's file, absolute; empty while untitled.
    QString fileName() const;

    // Starts a new document from the template file, which leaves it
    // untitled; an empty or unreadable template leaves the document as its
    // controller resets it.
    void startFromTemplate(const QString &templateFile);
    // Loads the file into the window's document; when it cannot, tells the
    // user (a warning on the window) and returns false.
    bool loadFile(const QString &fileName);

Q_SIGNALS:
    // The position display shows another mode (PlaybackPosDisplay::Mode).
    void playbackPosDisplayModeChanged(int mode);

private:
    void updateTitle();
    void reportLoadError(const QString &fileName, QFile::FileError error);

    std::unique_ptr<QmdMemModel> m_model;
    std::unique_ptr<QmdLudraController> m_controller;
    NetworkScene *m_scene = nullptr;
    NetworkView *m_view = nullptr;
    Inspector *m_inspector = nullptr;
    LudraToolBar *m_toolBar = nullptr;
};
