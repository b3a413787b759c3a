#include "hexeditor/Graphics.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>

namespace {

QColor SystemColor(uint32_t index, const QPalette& palette)
{
    switch (index) {
    case 0: // scroll bar
    case 15: // button face
    case 4: // menu
    case 10: // active border
    case 11: // inactive border
        return palette.color(QPalette::Active, QPalette::Button);
    case 1: // desktop
    case 12: // application work space
        return palette.color(QPalette::Active, QPalette::Dark);
    case 2:
    case 13:
        return palette.color(QPalette::Active, QPalette::Highlight);
    case 3:
        return palette.color(QPalette::Inactive, QPalette::Highlight);
    case 5:
        return palette.color(QPalette::Active, QPalette::Base);
    case 6:
    case 21:
        return palette.color(QPalette::Active, QPalette::Shadow);
    case 7:
    case 18:
        return palette.color(QPalette::Active, QPalette::ButtonText);
    case 8:
        return palette.color(QPalette::Active, QPalette::Text);
    case 9:
    case 14:
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    case 16:
        return palette.color(QPalette::Active, QPalette::Dark);
    case 17:
        return palette.color(QPalette::Disabled, QPalette::Text);
    case 19:
        return palette.color(QPalette::Inactive, QPalette::HighlightedText);
    case 20:
        return palette.color(QPalette::Active, QPalette::Light);
    case 22:
        return palette.color(QPalette::Active, QPalette::Midlight);
    case 23:
        return palette.color(QPalette::Active, QPalette::ToolTipText);
    case 24:
        return palette.color(QPalette::Active, QPalette::ToolTipBase);
    default:
        return palette.color(QPalette::Active, QPalette::Base);
    }
}

} // namespace

QColor ColorToQColor(TColor color, const QPalette& palette)
{
    if ((color & clSystemColor) != 0)
        return SystemColor(color & 0xFF, palette);
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

QColor ColorToQColor(TColor color)
{
    return ColorToQColor(color, QGuiApplication::palette());
}

TColor ColorFromQColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return TColor(rgb.red()) | (TColor(rgb.green()) << 8) | (TColor(rgb.blue()) << 16);
}

namespace {

// Whether every character of the font is as wide as any other. Asked of the metrics too:
// some monospaced faces do not say so in their font information.
bool IsFixedPitch(const QFont& font)
{
    if (QFontInfo(font).fixedPitch())
        return true;
    const QFontMetricsF metrics(font);
    const qreal w = metrics.horizontalAdvance(QLatin1Char('w'));
    return w > 0 && metrics.horizontalAdvance(QLatin1Char('i')) == w
        && metrics.horizontalAdvance(QLatin1Char('M')) == w
        && metrics.horizontalAdvance(QLatin1Char('.')) == w;
}

} // namespace

QFont FixedPitchFont(const QString& family, int pointSize)
{
    QFont font(family);
    font.setPointSize(pointSize);
    if (IsFixedPitch(font))
        return font;
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    if (IsFixedPitch(font))
        return font;
    // The family itself stands for a proportional face: take a monospaced one.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(pointSize);
    for (const char* candidate : {"Liberation Mono", "DejaVu Sans Mono", "Courier New", "monospace"}) {
        if (IsFixedPitch(fixed))
            return fixed;
        fixed = QFont(QString::fromLatin1(candidate));
        fixed.setPointSize(pointSize);
    }
    return fixed;
}
