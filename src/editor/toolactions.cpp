#include "toolactions.h"

#include <QIcon>

ToolActions::ToolActions(QObject *parent) : QActionGroup(parent)
{
    // The menu's text of each tool, and the shorter one of its tool button.
    struct Entry
    {
        const char *text;
        const char *iconText;
        const char *icon;
    };
    static constexpr Entry entries[ToolCount] = {
        {QT_TR_NOOP("   &Selection"), QT_TR_NOOP("Selection"), "Selection"},
        {QT_TR_NOOP("   &Zoom"), QT_TR_NOOP("Zoom"), "Zoom"},
        {QT_TR_NOOP("   &Node && Edge"), QT_TR_NOOP("Create Node & Edge"), "NodeEdge"},
        {QT_TR_NOOP("   &Voice Group"), QT_TR_NOOP("Create Voice Group"), "VoiceGroup"},
        {QT_TR_NOOP("   &Text Box"), QT_TR_NOOP("Create Text Box"), "TextBox"},
    };
    for (int tool = 0; tool < ToolCount; ++tool) {
        QAction *action =
            addAction(QIcon(QStringLiteral(":/images/Tools/%1.png").arg(entries[tool].icon)),
                      tr(entries[tool].text));
        action->setIconText(tr(entries[tool].iconText));
        action->setToolTip(tr(entries[tool].iconText));
        action->setCheckable(true);
        action->setData(tool);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + tool)));
    }
    setExclusive(true);
    action(m_tool)->setChecked(true);
    connect(this, &QActionGroup::triggered, this, [this](QAction *picked) {
        const int tool = picked->data().toInt();
        if (tool == m_tool)
            return;
        m_tool = tool;
        Q_EMIT toolChanged(tool);
    });
}

void ToolActions::setTool(int tool)
{
    if (tool < 0 || tool >= ToolCount)
        return;
    m_tool = tool;
    action(tool)->setChecked(true);
}
