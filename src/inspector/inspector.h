#pragma once

#include "qmdglobal.h"
#include "qmdobserver.h"

#include <QList>
#include <QMetaObject>
#include <QStringList>
#include <QWidget>

#include <functional>

class DocumentPage;
class EdgePage;
class InspectorPage;
class InstrumentsModel;
class NodePage;
class QLabel;
class QStackedWidget;
class QVariantAnimation;
class QmdLudraController;
class VoiceGroupPage;

// The side panel of a document window: one page at a time, chosen by what
// is selected in the network. Nodes, edges and voice groups each have a
// page bound to all the selected elements of that kind; text boxes, which
// are edited in place, have a page that says so; the document page shows
// otherwise. Switching pages animates the panel's height to the new page.
//
// The MIDI ports offered are read through two listers, the MIDI layer's by
// default; the window calls the rescan slots when the application sees the
// ports change.
//
// GUI thread only.
class Inspector : public QWidget, public QmdObserver<QmdLudraController>
{
    Q_OBJECT

public:
    enum Page {
        DocumentPageIndex,
        NodePageIndex,
        EdgePageIndex,
        VoiceGroupPageIndex,
        TextBoxPageIndex
    };
    static constexpr int TransformMs = 180;

    using PortLister = std::function<QStringList()>;

    explicit Inspector(QWidget *parent = nullptr);
    ~Inspector() override;

    void setController(QmdLudraController *controller) override;
    void setPortListers(PortLister inputs, PortLister outputs);

    // The page shown, and the one the panel is moving to (-1 when none).
    int currentPage() const;
    int pendingPage() const { return m_pendingPage; }
    QString title() const;
    InstrumentsModel *instrumentsModel() const { return m_instruments; }
    DocumentPage *documentPage() const { return m_documentPage; }
    NodePage *nodePage() const { return m_nodePage; }
    EdgePage *edgePage() const { return m_edgePage; }
    VoiceGroupPage *voiceGroupPage() const { return m_voiceGroupPage; }

public Q_SLOTS:
    void reset();
    void setFixedHeightSlot(int height);
    void transformToPage(int index, bool force = false, bool hideDuringTransform = true);
    void transformFinished();
    void onElementSelectionChanged();
    void documentRescanMidiInputs();
    void documentRescanMidiOutputs();
    void onInstrumentsAddedOrRemoved();
    void onInstrumentSelectionChanged();
    void instrumentRescanMidiOutputs();

private:
    QWidget *page(int index) const { return m_pages.value(index); }

    InstrumentsModel *m_instruments;
    QLabel *m_title;
    QStackedWidget *m_stack;
    QList<QWidget *> m_pages;
    DocumentPage *m_documentPage;
    NodePage *m_nodePage;
    EdgePage *m_edgePage;
    VoiceGroupPage *m_voiceGroupPage;
    QVariantAnimation *m_animation;
    int m_pendingPage = -1;
    PortLister m_listInputs;
    PortLister m_listOutputs;
    QList<QMetaObject::Connection> m_connections;
};
