#include "graphicstextboxitem.h"

#include "graphicstextboxedit.h"
#include "qmdludracontroller.h"

#include <QAbstractTextDocumentLayout>
#include <QGraphicsSceneMouseEvent>
#include <QStyleOptionGraphicsItem>
#include <QTextDocument>

namespace {
const QString TextKey = QStringLiteral("Text");
}

const QString GraphicsTextBoxItem::DefaultStyleSheet = QStringLiteral(
    "body { font-family:'Arial'; font-size:12pt; font-style:normal; color:#FFFFFF; }");

GraphicsTextBoxItem::GraphicsTextBoxItem(QmdItemId id, NetworkScene *scene)
    : GraphicsElementItem(id, scene)
{
    // The text is edited in place; a cached picture would show stale text.
    setCacheMode(NoCache);
    document()->setDefaultStyleSheet(DefaultStyleSheet);
    document()->setUseDesignMetrics(true);
}

GraphicsTextBoxItem::~GraphicsTextBoxItem()
{
    delete m_editor;
}

void GraphicsTextBoxItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                QWidget *widget)
{
    // The open editor shows the same document; painting both would double
    // the text.
    if (m_editor)
        return;
    QGraphicsTextItem::paint(painter, option, widget);
}

void GraphicsTextBoxItem::elementDataChanged(QmdItemId id, const QStringList &keys,
                                             QmdRequestId rid)
{
    GraphicsElementItem::elementDataChanged(id, keys, rid);
    if (id != elementId() || !keys.contains(TextKey))
        return;
    // Setting the same text again would lose an open editor's caret and
    // selection; the document's HTML is rarely what toHtml() makes of it.
    const QString html = value(TextKey).toString();
    if (html == m_documentHtml)
        return;
    m_documentHtml = html;
    if (html != toHtml())
        setHtml(html);
}

void GraphicsTextBoxItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    m_pressedWhileSelected = isSelected();
    QGraphicsTextItem::mousePressEvent(event);
}

void GraphicsTextBoxItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsTextItem::mouseReleaseEvent(event);
    if (m_pressedWhileSelected && !m_editor && event->button() == Qt::LeftButton)
        openEditor(event->pos());
    m_pressedWhileSelected = false;
}

void GraphicsTextBoxItem::openEditor(const QPointF &pos)
{
    if (m_editor)
        return;
    const int cursor = document()->documentLayout()->hitTest(pos, Qt::FuzzyHit);
    m_htmlAtOpen = toHtml();
    m_editor = new GraphicsTextBoxEdit(this, qMax(cursor, 0));
    QObject::connect(m_editor, &GraphicsTextBoxEdit::editingFinished, this,
                     &GraphicsTextBoxItem::closeEditor);
    update();
}

void GraphicsTextBoxItem::closeEditor()
{
    if (!m_editor)
        return;
    const QString html = m_editor->html();
    GraphicsTextBoxEdit *editor = m_editor;
    m_editor = nullptr;
    editor->deleteLater();
    update();
    // toHtml() of an untouched document may still differ from the stored
    // text, which may come from a file: compare against what was opened.
    if (m_controller && html != m_htmlAtOpen && html != value(TextKey).toString()) {
        const QmdIndex element = m_controller->index(elementId(), m_controller->elementsIndex());
        m_controller->requestSetData(TextKey, html, element,
                                     QCoreApplication::translate("GraphicsTextBoxItem", "Text"));
    }
}

void GraphicsTextBoxItem::selectAll()
{
    if (m_editor)
        m_editor->selectAll();
}
