#pragma once

#include <QActionGroup>

// The five editing tools as one group of checkable actions, for the window's
// tool bar and tool menu alike: their texts are the menu's, their icon texts
// the tool bar's. The tool is a value of the document
// ("Tool"), so that it is saved and undone with it: bound through the
// controller to the property "tool", the group shows the document's tool,
// and a tool the user picks becomes a request.
//
// GUI thread only.
class ToolActions : public QActionGroup
{
    Q_OBJECT
    Q_PROPERTY(int tool READ tool WRITE setTool NOTIFY toolChanged)

public:
    enum Tool { Selection = 0, Zoom = 1, NodeAndEdge = 2, VoiceGroup = 3, TextBox = 4, ToolCount };

    explicit ToolActions(QObject *parent = nullptr);

    QAction *action(int tool) const { return actions().value(tool); }
    int tool() const { return m_tool; }
    // Any other value than a tool's leaves the tool as it is.
    void setTool(int tool);

Q_SIGNALS:
    // The user picked a tool.
    void toolChanged(int tool);

private:
    int m_tool = NodeAndEdge;
};
