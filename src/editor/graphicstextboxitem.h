#pragma once

#include "elementitem.h"

#include <QCoreApplication>
#include <QGraphicsTextItem>
#include <QPointer>

#include "graphicstextboxedit.h"

// A text box: rich text on the grid. A click on a text box that is already
// selected opens an editor over it; when the editor closes, the text goes to
// the document as one undoable change, or not at all when it did not change.
//
// GUI thread only.
class GraphicsTextBoxItem : public GraphicsElementItem<QGraphicsTextItem>
{
    Q_OBJECT

public:
    static const QString DefaultStyleSheet;

    GraphicsTextBoxItem(QmdItemId id, NetworkScene *scene);
    ~GraphicsTextBoxItem() override;

    int type() const override { return TextBoxType; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    void elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid) override;

    GraphicsTextBoxEdit *editor() const { return m_editor; }

public Q_SLOTS:
    void openEditor(const QPointF &pos);
    void closeEditor();
    void selectAll();

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;

private:
    QPointer<GraphicsTextBoxEdit> m_editor;
    QString m_htmlAtOpen;
    QString m_documentHtml;
    bool m_pressedWhileSelected = false;
};
