#include "qmdludrapalette.h"

#include <iterator>

namespace {

struct PaletteEntry
{
    const char *name;
    int red;
    int green;
    int blue;
};

constexpr PaletteEntry Palette[] = {
    {QT_TRANSLATE_NOOP("QmdLudraPalette", "Tangerine"), 255, 128, 0},
    {QT_TRANSLATE_NOOP("QmdLudraPalette", "Pistachio"), 131, 204, 7},
    {QT_TRANSLATE_NOOP("QmdLudraPalette", "Aqua"), 0, 128, 255},
    {QT_TRANSLATE_NOOP("QmdLudraPalette", "Grape"), 128, 0, 255},
    {QT_TRANSLATE_NOOP("QmdLudraPalette", "Strawberry"), 255, 0, 128},
    {QT_TRANSLATE_NOOP("QmdLudraPalette", "Asparagus"), 128, 128, 0},
    {QT_TRANSLATE_NOOP("QmdLudraPalette", "Mocha"), 128, 64, 0},
    {QT_TRANSLATE_NOOP("QmdLudraPalette", "Nickel"), 128, 128, 128},
};

bool inPalette(int position)
{
    return position >= 0 && position < QmdLudraPalette::size();
}

} // namespace

int QmdLudraPalette::size()
{
    return int(std::size(Palette));
}

QColor QmdLudraPalette::color(int position)
{
    if (!inPalette(position))
        return QColor(Qt::black);
    const PaletteEntry &entry = Palette[position];
    return QColor(entry.red, entry.green, entry.blue);
}

QString QmdLudraPalette::name(int position)
{
    return inPalette(position) ? tr(Palette[position].name) : QString();
}
