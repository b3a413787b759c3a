#include "ui/Fonts.h"

#include <QFontInfo>

const QStringList& SansFamilies()
{
    static const QStringList families{
        "MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "Arial", "DejaVu Sans"};
    return families;
}

const QStringList& SerifFamilies()
{
    static const QStringList families{"Times New Roman", "Liberation Serif", "DejaVu Serif"};
    return families;
}

QFont FormFont(const QStringList& families, int pointSize)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSize(pointSize);
    return font;
}

QFont FormFace(const QStringList& families, bool bold)
{
    QFont font = FormFont(families, 8);
    font.setBold(bold);
    return font;
}

QFont DefaultFormFont()
{
    QFont font;
    font.setFamilies(SansFamilies());
    font.setPixelSize(11);
    return font;
}

QFont FixedPitchFormFont(const QString& family, int pixelSize)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    if (!QFontInfo(font).fixedPitch()) {
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
    }
    return font;
}
