#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <cstdint>

namespace morvaleth {

// a × b / c, rounded to the nearest whole number, halves away from zero;
// c is not 0.
int MulDiv(int a, int b, int c);

// A place laid out for one screen, scaled by MulDiv for another.
QRect Scaled(const QRect& rect, int numerator, int denominator);

// The size in points of a font whose characters are `characterHeight` pixels
// high on a screen of `pixelsPerInch`: 27 pixels are 20 points at 96 and 16
// at 120.
int PointSize(int characterHeight, int pixelsPerInch);

// The character height in pixels of a font of `points` on that screen.
int PixelHeightOfPoints(double points, int pixelsPerInch);

// The installed family that stands for a face name, as the engine resolves it
// through its alias file ("ＭＳ Ｐゴシック" is IPAPGothic); the name itself when
// nothing is installed for it.
QString ResolvedFamily(const QString& faceName);

// A screen font of the face, `pixelHeight` pixels high.
QFont ScreenFont(const QString& faceName, int pixelHeight);

// A family name as Qt's font dialog gives it, without the foundry it appends
// in brackets when two foundries share a family.
QString FamilyWithoutFoundry(const QString& family);

} // namespace morvaleth
