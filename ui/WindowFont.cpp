#include "ui/WindowFont.h"

#include "composer/faces/FaceChain.h"

#include <cmath>
#include <cstdlib>

namespace morvaleth {

int MulDiv(int a, int b, int c)
{
    const std::int64_t product = std::int64_t(a) * b;
    const std::int64_t magnitude = (std::llabs(product) + std::llabs(c) / 2) / std::llabs(c);
    return int((product < 0) != (c < 0) ? -magnitude : magnitude);
}

QRect Scaled(const QRect& rect, int numerator, int denominator)
{
    return {MulDiv(rect.x(), numerator, denominator), MulDiv(rect.y(), numerator, denominator),
            MulDiv(rect.width(), numerator, denominator), MulDiv(rect.height(), numerator, denominator)};
}

int PointSize(int characterHeight, int pixelsPerInch)
{
    return MulDiv(characterHeight, 72, pixelsPerInch);
}

int PixelHeightOfPoints(double points, int pixelsPerInch)
{
    return int(std::lround(points * pixelsPerInch / 72.0));
}

QString ResolvedFamily(const QString& faceName)
{
    const FaceLocation face = FindFace(faceName.toStdString());
    return face.family.empty() ? faceName : QString::fromStdString(face.family);
}

QFont ScreenFont(const QString& faceName, int pixelHeight)
{
    QFont font(ResolvedFamily(faceName));
    font.setPixelSize(pixelHeight);
    return font;
}

QString FamilyWithoutFoundry(const QString& family)
{
    const qsizetype bracket = family.lastIndexOf(QLatin1String(" ["));
    if (bracket > 0 && family.endsWith(QLatin1Char(']')))
        return family.left(bracket);
    return family;
}

} // namespace morvaleth
