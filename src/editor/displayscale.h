#pragma once

#include "qmdludra.h"

#include <QPointF>

// How big a point of the editor is on this display: the desktop's logical
// resolution over 72. One principal of the grid is 120 points, so at 96 DPI
// it is 160 pixels. Read once, when the application starts, before any
// window exists; tests pin it to 72 DPI, where one principal is exactly 120
// pixels and geometry numbers are whole.
//
// GUI thread only.
class DisplayScale
{
public:
    static constexpr double PointsPerPrincipal = 120.0;

    // From the primary screen of the running GUI application, unless
    // LUDRA_DISPLAY_DPI holds a resolution above 0, which pins it; pinned
    // values stay.
    static void update();
    // Fixes the resolution, whatever the display says.
    static void pin(double dotsPerInch);

    static double x() { return s_x; }
    static double y() { return s_y; }

    static double pixelsPerTickX()
    {
        return PointsPerPrincipal * s_x / QmdLudra::TicksPerPrincipal;
    }
    static double pixelsPerTickY()
    {
        return PointsPerPrincipal * s_y / QmdLudra::TicksPerPrincipal;
    }
    static QPointF tickPosToScenePos(const QmdLudra::TickPos &pos);
    // Rounded to the nearest tick, halves away from zero; false when a
    // coordinate lies beyond what 64 bits hold.
    static bool scenePosToTickPos(const QPointF &pos, QmdLudra::TickPos *tickPos);

private:
    static double s_x;
    static double s_y;
    static bool s_pinned;
};
