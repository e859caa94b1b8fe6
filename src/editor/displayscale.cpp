#include "displayscale.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

double DisplayScale::s_x = 1.0;
double DisplayScale::s_y = 1.0;
bool DisplayScale::s_pinned = false;

void DisplayScale::update()
{
    if (s_pinned)
        return;
    // Tests and screenshots draw as on a 72 DPI display whatever the
    // machine's, so that what they measure and show does not depend on it.
    bool ok = false;
    const double dotsPerInch = qEnvironmentVariable("LUDRA_DISPLAY_DPI").toDouble(&ok);
    if (ok && dotsPerInch > 0) {
        pin(dotsPerInch);
        return;
    }
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    s_x = screen->logicalDotsPerInchX() / 72.0;
    s_y = screen->logicalDotsPerInchY() / 72.0;
}

void DisplayScale::pin(double dotsPerInch)
{
    s_pinned = true;
    s_x = s_y = dotsPerInch / 72.0;
}

QPointF DisplayScale::tickPosToScenePos(const QmdLudra::TickPos &pos)
{
    return {double(pos.x) * pixelsPerTickX(), double(pos.y) * pixelsPerTickY()};
}

bool DisplayScale::scenePosToTickPos(const QPointF &pos, QmdLudra::TickPos *tickPos)
{
    const double x = pos.x() / pixelsPerTickX();
    const double y = pos.y() / pixelsPerTickY();
    constexpr double limit = 9.2e18;
    if (!(std::abs(x) < limit) || !(std::abs(y) < limit))
        return false;
    *tickPos = {std::llround(x), std::llround(y)};
    return true;
}
