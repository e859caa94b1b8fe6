#pragma once

#include "inspectorpage.h"

class ListEdit;
class MixedCheckBox;
class PathSelector;

// The route, wormhole flag and scale list of the selected edges.
//
// GUI thread only.
class EdgePage : public InspectorPage
{
    Q_OBJECT

public:
    explicit EdgePage(QWidget *parent = nullptr);

protected:
    void bindFields() override;

private:
    PathSelector *m_path;
    MixedCheckBox *m_wormhole;
    ListEdit *m_scales;
};
