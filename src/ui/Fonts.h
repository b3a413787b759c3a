#pragma once
// The fonts of the classic forms, with the stand-ins this platform has: one place for the
// family lists every window uses.
#include <QFont>
#include <QStringList>

// "MS Sans Serif" and its metric stand-ins, the forms' default face.
const QStringList& SansFamilies();
// "Times New Roman" and its stand-ins.
const QStringList& SerifFamilies();

// A font of the first installed family of the list, at pointSize.
QFont FormFont(const QStringList& families, int pointSize);
// An 8-point face of the first installed family whose weight is always set, also when plain,
// so that a control given the plain face stays plain on a bold page.
QFont FormFace(const QStringList& families, bool bold);
// The forms' default: the sans families at 11 pixels (8 points at 96 dpi).
QFont DefaultFormFont();
// A fixed-pitch font: family when it is fixed-pitch here, else a monospace stand-in,
// because a grid of one-character cells needs equal character widths.
QFont FixedPitchFormFont(const QString& family, int pixelSize);
