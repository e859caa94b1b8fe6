#include "inspector.h"

#include "documentpage.h"
#include "edgepage.h"
#include "instrumentpage.h"
#include "instrumentsmodel.h"
#include "midiinput.h"
#include "midioutput.h"
#include "midisyncportsbox.h"
#include "nodepage.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "voicegrouppage.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>

namespace {

QStringList sorted(const QSet<QString> &names)
{
    QStringList list(names.cbegin(), names.cend());
    list.sort(Qt::CaseInsensitive);
    return list;
}

QWidget *textBoxPage()
{
    auto *page = new QWidget;
    page->setWindowTitle(Inspector::tr("Text Box"));
    auto *note = new QLabel(Inspector::tr("Text boxes are edited on the grid: double-click one "
                                          "to change its text."),
                            page);
    note->setWordWrap(true);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(note);
    return page;
}

} // namespace

Inspector::Inspector(QWidget *parent)
    : QWidget(parent), m_instruments(new InstrumentsModel(this)), m_title(new QLabel),
      m_stack(new QStackedWidget), m_documentPage(new DocumentPage(m_instruments)),
      m_nodePage(new NodePage(m_instruments)), m_edgePage(new EdgePage),
      m_voiceGroupPage(new VoiceGroupPage(m_instruments)), m_animation(new QVariantAnimation(this)),
      m_listInputs([] { return sorted(MidiInput::inputPortNames()); }),
      m_listOutputs([] { return sorted(MidiOutput::outputPortNames()); })
{
    m_pages = {m_documentPage, m_nodePage, m_edgePage, m_voiceGroupPage, textBoxPage()};
    for (QWidget *page : std::as_const(m_pages))
        m_stack->addWidget(page);
    // As tall as its page and no taller: a page whose fields may grow would
    // otherwise take the room left below it.
    m_stack->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    m_title->setObjectName(QStringLiteral("inspectorTitle"));
    QFont font = m_title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    m_title->setFont(font);
    m_title->setContentsMargins(8, 6, 8, 2);

    // The panel keeps the height of its page; the space below stays empty,
    // and a page taller than the window scrolls.
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_title);
    column->addWidget(m_stack);
    column->addStretch();
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    m_animation->setDuration(TransformMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setFixedHeightSlot(value.toInt()); });
    connect(m_animation, &QVariantAnimation::finished, this, &Inspector::transformFinished);
    connect(m_documentPage->instrumentList()->selectionModel(),
            &QItemSelectionModel::selectionChanged, this, &Inspector::onInstrumentSelectionChanged);

    m_pendingPage = DocumentPageIndex;
    transformFinished();
}

Inspector::~Inspector()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
}

void Inspector::setController(QmdLudraController *controller)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    QmdObserver::setController(controller);
    m_instruments->setController(controller);
    if (controller) {
        m_connections = {
            connect(controller, &QmdElementDocController::elementSelectionChanged, this,
                    &Inspector::onElementSelectionChanged),
            connect(controller, &QmdLudraController::instrumentsAdded, this,
                    [this](const QmdItemIdList &ids) {
                        // An instrument just added is the one to set up.
                        const QModelIndexList rows =
                            ids.isEmpty()
                                ? QModelIndexList()
                                : m_instruments->match(m_instruments->index(0, 0),
                                                       InstrumentsModel::IdRole, ids.last());
                        if (!rows.isEmpty())
                            m_documentPage->instrumentList()->setCurrentIndex(rows.first());
                        onInstrumentsAddedOrRemoved();
                    }),
            connect(controller, &QmdLudraController::instrumentsRemoved, this,
                    &Inspector::onInstrumentsAddedOrRemoved),
            connect(controller, &QmdController::modelReset, this, &Inspector::reset),
            connect(controller, &QObject::destroyed, this, [this] { setController(nullptr); })};
    }
    reset();
}

void Inspector::setPortListers(PortLister inputs, PortLister outputs)
{
    m_listInputs = std::move(inputs);
    m_listOutputs = std::move(outputs);
    documentRescanMidiInputs();
    documentRescanMidiOutputs();
    instrumentRescanMidiOutputs();
}

int Inspector::currentPage() const
{
    return m_stack->currentIndex();
}

QString Inspector::title() const
{
    return m_title->text();
}

void Inspector::reset()
{
    m_documentPage->bindTo(m_controller, {QmdIndex()});
    m_documentPage->instrumentList()->clearSelection();
    onInstrumentSelectionChanged();
    if (m_controller) {
        documentRescanMidiInputs();
        documentRescanMidiOutputs();
        instrumentRescanMidiOutputs();
    }
    onElementSelectionChanged();
}

void Inspector::setFixedHeightSlot(int height)
{
    m_stack->setFixedHeight(height);
}

void Inspector::transformToPage(int index, bool force, bool hideDuringTransform)
{
    if (!page(index))
        return;
    const int target = m_pendingPage >= 0 ? m_pendingPage : currentPage();
    if (!force && index == target)
        return;
    m_pendingPage = index;
    if (hideDuringTransform)
        m_stack->hide();
    m_animation->stop();
    m_animation->setStartValue(m_stack->height());
    m_animation->setEndValue(page(index)->sizeHint().height());
    m_animation->start();
}

void Inspector::transformFinished()
{
    QWidget *target = page(m_pendingPage);
    m_pendingPage = -1;
    if (!target)
        return;
    m_title->setText(target->windowTitle());
    // The stack takes the height of the page it shows, not of its tallest.
    for (QWidget *page : std::as_const(m_pages))
        page->setSizePolicy(QSizePolicy::Preferred,
                            page == target ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    m_stack->setCurrentWidget(target);
    // From now on the page's own layout decides, as its contents change.
    m_stack->setMinimumHeight(0);
    m_stack->setMaximumHeight(QWIDGETSIZE_MAX);
    m_stack->show();
}

void Inspector::onElementSelectionChanged()
{
    m_nodePage->unbind();
    m_edgePage->unbind();
    m_voiceGroupPage->unbind();
    QHash<uint, QList<QmdIndex>> byKind;
    if (m_controller) {
        const QmdItemIdSet selection = m_controller->elementSelection();
        QmdItemIdList ids(selection.cbegin(), selection.cend());
        std::sort(ids.begin(), ids.end());
        for (QmdItemId id : std::as_const(ids)) {
            const QmdIndex element = m_controller->index(id, m_controller->elementsIndex());
            const uint kind =
                m_controller->data(m_controller->index(QmdLudra::TypeKey, element)).toUInt();
            byKind[kind].append(element);
        }
    }
    int target = DocumentPageIndex;
    if (byKind.size() == 1) {
        const QList<QmdIndex> &elements = byKind.cbegin().value();
        switch (byKind.cbegin().key()) {
        case QmdLudra::Node:
            m_nodePage->bindTo(m_controller, elements);
            target = NodePageIndex;
            break;
        case QmdLudra::Edge:
            m_edgePage->bindTo(m_controller, elements);
            target = EdgePageIndex;
            break;
        case QmdLudra::VoiceGroup:
            m_voiceGroupPage->bindTo(m_controller, elements);
            target = VoiceGroupPageIndex;
            break;
        case QmdLudra::TextBox:
            target = TextBoxPageIndex;
            break;
        default:
            break;
        }
    }
    transformToPage(target);
}

void Inspector::documentRescanMidiInputs()
{
    m_documentPage->midiInputsBox()->setPorts(m_listInputs ? m_listInputs() : QStringList());
}

void Inspector::documentRescanMidiOutputs()
{
    m_documentPage->midiOutputsBox()->setPorts(m_listOutputs ? m_listOutputs() : QStringList());
}

void Inspector::onInstrumentsAddedOrRemoved()
{
    onInstrumentSelectionChanged();
}

void Inspector::onInstrumentSelectionChanged()
{
    const QmdItemId id = m_documentPage->selectedInstrument();
    InstrumentPage *page = m_documentPage->instrumentPage();
    if (!m_controller || !id) {
        page->bindTo(m_controller, {});
        return;
    }
    page->bindTo(m_controller, {m_controller->index(id, m_controller->instrumentsIndex())});
}

void Inspector::instrumentRescanMidiOutputs()
{
    m_documentPage->instrumentPage()->setOutputPorts(m_listOutputs ? m_listOutputs()
                                                                   : QStringList());
}
