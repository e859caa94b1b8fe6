#pragma once

#include <QGraphicsProxyWidget>
#include <QTextCharFormat>

class GraphicsTextBoxItem;
class QAction;
class QMenu;
class QTextEdit;

// The in-place editor of a text box: a text edit over the box, sharing its
// document, so that what is typed shows in place. Editing ends when the
// focus leaves, unless it went to the editor's own menu or colour dialog.
//
// GUI thread only.
class GraphicsTextBoxEdit : public QGraphicsProxyWidget
{
    Q_OBJECT

public:
    GraphicsTextBoxEdit(GraphicsTextBoxItem *textBox, int cursorPosition);

    QTextEdit *textEdit() const { return m_edit; }
    QString html() const;
    // The menu the editor shows on a right-click, built apart from showing
    // it so that it can be checked.
    QMenu *createContextMenu(QWidget *parent);

Q_SIGNALS:
    void editingFinished();
    // The font and colour at the caret, for panels that show them.
    void currentFormatChanged(const QFont &font, const QColor &color);

public Q_SLOTS:
    void selectAll();
    void removeSelectedText();
    void setFontBold(bool bold);
    void setFontBigger();
    void setFontSmaller();
    void onCurrentCharFormatChanged(const QTextCharFormat &format);
    void onFontFamilyActionTriggered(QAction *action);
    void onFontSizeActionTriggered(QAction *action);
    void onTextChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void mergeFormat(const QTextCharFormat &format);
    void chooseColor();

    QTextEdit *m_edit;
    // Set while a menu or dialog of the editor's own has the focus.
    int m_ownPopups = 0;
};
