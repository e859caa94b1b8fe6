#include "graphicstextboxedit.h"

#include "graphicstextboxitem.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QTextEdit>

GraphicsTextBoxEdit::GraphicsTextBoxEdit(GraphicsTextBoxItem *textBox, int cursorPosition)
    : QGraphicsProxyWidget(textBox), m_edit(new QTextEdit)
{
    setCacheMode(textBox->cacheMode());
    m_edit->setDocument(textBox->document());
    m_edit->setLineWrapMode(QTextEdit::NoWrap);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_edit->setFrameShape(QFrame::NoFrame);
    // The grid shows through, as it does behind the box itself.
    m_edit->viewport()->setAutoFillBackground(false);
    m_edit->setAttribute(Qt::WA_TranslucentBackground);
    m_edit->setContextMenuPolicy(Qt::CustomContextMenu);
    m_edit->installEventFilter(this);
    setWidget(m_edit);

    QTextCursor cursor(m_edit->document());
    cursor.setPosition(qBound(0, cursorPosition, m_edit->document()->characterCount() - 1));
    m_edit->setTextCursor(cursor);

    connect(m_edit, &QTextEdit::currentCharFormatChanged, this,
            &GraphicsTextBoxEdit::onCurrentCharFormatChanged);
    connect(m_edit, &QTextEdit::textChanged, this, &GraphicsTextBoxEdit::onTextChanged);
    connect(m_edit, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        ++m_ownPopups;
        const auto done = qScopeGuard([this] { --m_ownPopups; });
        QMenu *menu = createContextMenu(m_edit);
        menu->exec(m_edit->mapToGlobal(pos));
        delete menu;
        m_edit->setFocus();
    });
    onTextChanged();
    setFocus();
    m_edit->setFocus();
}

QString GraphicsTextBoxEdit::html() const
{
    return m_edit->document()->toHtml();
}

void GraphicsTextBoxEdit::selectAll()
{
    m_edit->selectAll();
}

void GraphicsTextBoxEdit::removeSelectedText()
{
    m_edit->textCursor().removeSelectedText();
}

void GraphicsTextBoxEdit::mergeFormat(const QTextCharFormat &format)
{
    QTextCursor cursor = m_edit->textCursor();
    cursor.mergeCharFormat(format);
    m_edit->mergeCurrentCharFormat(format);
}

void GraphicsTextBoxEdit::setFontBold(bool bold)
{
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    mergeFormat(format);
}

void GraphicsTextBoxEdit::setFontBigger()
{
    QTextCharFormat format;
    format.setFontPointSize(m_edit->currentFont().pointSizeF() + 1);
    mergeFormat(format);
}

void GraphicsTextBoxEdit::setFontSmaller()
{
    const qreal size = m_edit->currentFont().pointSizeF() - 1;
    if (size < 1)
        return;
    QTextCharFormat format;
    format.setFontPointSize(size);
    mergeFormat(format);
}

void GraphicsTextBoxEdit::onCurrentCharFormatChanged(const QTextCharFormat &format)
{
    Q_EMIT currentFormatChanged(format.font(), format.foreground().color());
}

void GraphicsTextBoxEdit::onFontFamilyActionTriggered(QAction *action)
{
    QTextCharFormat format;
    format.setFontFamilies({action->text()});
    mergeFormat(format);
}

void GraphicsTextBoxEdit::onFontSizeActionTriggered(QAction *action)
{
    bool ok = false;
    const qreal size = action->text().toDouble(&ok);
    if (!ok || size <= 0)
        return;
    QTextCharFormat format;
    format.setFontPointSize(size);
    mergeFormat(format);
}

void GraphicsTextBoxEdit::onTextChanged()
{
    m_edit->document()->adjustSize();
    const QSizeF size = m_edit->document()->size();
    resize(size.width() + 2, size.height() + 2);
}

void GraphicsTextBoxEdit::chooseColor()
{
    ++m_ownPopups;
    const auto done = qScopeGuard([this] { --m_ownPopups; });
    const QColor color = QColorDialog::getColor(m_edit->textColor(), m_edit, tr("Text Color"),
                                                QColorDialog::ShowAlphaChannel);
    if (color.isValid()) {
        QTextCharFormat format;
        format.setForeground(color);
        mergeFormat(format);
    }
    m_edit->setFocus();
}

QMenu *GraphicsTextBoxEdit::createContextMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const bool hasSelection = m_edit->textCursor().hasSelection();
    const bool writable = !m_edit->isReadOnly();
    const QMimeData *clip = QApplication::clipboard()->mimeData();

    auto add = [&](const QString &text, QKeySequence::StandardKey key, bool enabled, auto slot) {
        QAction *action = menu->addAction(text, m_edit, slot);
        action->setShortcut(key);
        action->setEnabled(enabled);
        return action;
    };
    add(tr("Cu&t"), QKeySequence::Cut, hasSelection && writable, &QTextEdit::cut);
    add(tr("&Copy"), QKeySequence::Copy, hasSelection, &QTextEdit::copy);
    add(tr("&Paste"), QKeySequence::Paste, writable && clip && m_edit->canPaste(),
        &QTextEdit::paste);
    QAction *remove =
        menu->addAction(tr("&Delete"), this, &GraphicsTextBoxEdit::removeSelectedText);
    remove->setShortcut(QKeySequence::Delete);
    remove->setEnabled(hasSelection && writable);
    add(tr("Select A&ll"), QKeySequence::SelectAll, !m_edit->document()->isEmpty(),
        &QTextEdit::selectAll);
    menu->addSeparator();

    QMenu *font = menu->addMenu(tr("&Font"));
    font->setEnabled(writable);
    const QFont current = m_edit->currentFont();
    QMenu *families = font->addMenu(tr("&Family"));
    auto *familyGroup = new QActionGroup(families);
    for (const QString &family : QFontDatabase::families()) {
        QAction *action = families->addAction(family);
        action->setCheckable(true);
        action->setChecked(family == current.family());
        familyGroup->addAction(action);
    }
    connect(familyGroup, &QActionGroup::triggered, this,
            &GraphicsTextBoxEdit::onFontFamilyActionTriggered);
    QMenu *sizes = font->addMenu(tr("&Size"));
    auto *sizeGroup = new QActionGroup(sizes);
    for (int size : QFontDatabase::standardSizes()) {
        QAction *action = sizes->addAction(QString::number(size));
        action->setCheckable(true);
        action->setChecked(qFuzzyCompare(qreal(size), current.pointSizeF()));
        sizeGroup->addAction(action);
    }
    connect(sizeGroup, &QActionGroup::triggered, this,
            &GraphicsTextBoxEdit::onFontSizeActionTriggered);

    QAction *bold = font->addAction(tr("&Bold"), this, &GraphicsTextBoxEdit::setFontBold);
    bold->setCheckable(true);
    bold->setChecked(current.bold());
    QAction *italic = font->addAction(tr("&Italic"), m_edit, &QTextEdit::setFontItalic);
    italic->setCheckable(true);
    italic->setChecked(current.italic());
    QAction *underline = font->addAction(tr("&Underline"), m_edit, &QTextEdit::setFontUnderline);
    underline->setCheckable(true);
    underline->setChecked(current.underline());
    font->addSeparator();
    font->addAction(tr("Show &Colors"), this, &GraphicsTextBoxEdit::chooseColor);
    return menu;
}

bool GraphicsTextBoxEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_edit)
        return QGraphicsProxyWidget::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & Qt::ControlModifier) {
            switch (key->key()) {
            case Qt::Key_B:
                setFontBold(m_edit->fontWeight() <= QFont::Normal);
                return true;
            case Qt::Key_I:
                m_edit->setFontItalic(!m_edit->fontItalic());
                return true;
            case Qt::Key_U:
                m_edit->setFontUnderline(!m_edit->fontUnderline());
                return true;
            default:
                break;
            }
        }
    } else if (event->type() == QEvent::FocusOut && m_ownPopups == 0) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        // A menu of the editor's own takes the focus only for a moment.
        if (reason != Qt::PopupFocusReason)
            Q_EMIT editingFinished();
    }
    return false;
}
