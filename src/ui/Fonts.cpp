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

QFont FormFont(const QStringList& families, int pointSize, int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies(families);
    if (pixelSize > 0)
        font.setPixelSize(pixelSize);
    else
        font.setPointSize(pointSize);
    if (bold)
        font.setBold(true);
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
    return FormFont(SansFamilies(), 0, 11);
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
