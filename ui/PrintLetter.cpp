#include "ui/PrintLetter.h"

#include <QPen>
#include <QPolygonF>
#include <QPrinter>

#include <algorithm>

namespace morvaleth {

namespace {

QColor ColorOf(TColor color)
{
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

QPolygonF PolygonOf(const std::array<TPoint, 4>& corners, double shift)
{
    QPolygonF polygon;
    for (const TPoint& corner : corners)
        polygon << QPointF(corner.x + shift, corner.y + shift);
    return polygon;
}

// The outline in font units; filled by the nonzero rule, as FreeType fills
// an outline.
QPainterPath PathOf(const GlyphPath& outline)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    std::size_t next = 0;
    const auto point = [&] {
        const GlyphPath::Point& p = outline.points[next++];
        return QPointF(p.x, p.y);
    };
    for (const GlyphPath::Verb verb : outline.verbs) {
        switch (verb) {
        case GlyphPath::Verb::Move:
            path.closeSubpath();
            path.moveTo(point());
            break;
        case GlyphPath::Verb::Line:
            path.lineTo(point());
            break;
        case GlyphPath::Verb::Quadratic: {
            const QPointF control = point();
            path.quadTo(control, point());
            break;
        }
        case GlyphPath::Verb::Cubic: {
            const QPointF first = point();
            const QPointF second = point();
            path.cubicTo(first, second, point());
            break;
        }
        }
    }
    path.closeSubpath();
    return path;
}

} // namespace

TPainterDevice::TPainterDevice(QPainter& painter, const QTransform& place) : painter_(painter), place_(place) {}

void TPainterDevice::Begin(int, int)
{
    painter_.save();
    painter_.setRenderHint(QPainter::Antialiasing);
}

void TPainterDevice::Face(const DeviceFace&) {}

void TPainterDevice::Stamp(const DeviceStamp& stamp, GlyphOutlines& outlines)
{
    painter_.setTransform(place_);
    if (stamp.scrap) {
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(ColorOf(stamp.fill));
        painter_.drawPolygon(PolygonOf(stamp.corners, 0), Qt::OddEvenFill);
        // The outline runs through the pixels' centres, one pixel wide.
        QPen outline(ColorOf(stamp.outline), 1);
        outline.setJoinStyle(Qt::MiterJoin);
        painter_.setPen(outline);
        painter_.setBrush(Qt::NoBrush);
        painter_.drawPolygon(PolygonOf(stamp.corners, 0.5));
    }
    for (const DeviceGlyph& glyph : stamp.glyphs) {
        const auto key = std::make_tuple(stamp.face, glyph.glyph, stamp.bold);
        auto path = paths_.find(key);
        if (path == paths_.end())
            path = paths_.emplace(key, PathOf(outlines.Outline(stamp.face, glyph.glyph, stamp.bold))).first;
        painter_.setTransform(QTransform(glyph.xx, glyph.yx, glyph.xy, glyph.yy, glyph.x, glyph.y) * place_);
        painter_.fillPath(path->second, ColorOf(stamp.character));
    }
}

void TPainterDevice::Finish()
{
    painter_.restore();
}

QRectF FittedPlace(QSizeF picture, const QRectF& area)
{
    if (picture.isEmpty() || area.isEmpty())
        return {area.topLeft(), QSizeF(0, 0)};
    const double scale = std::min(area.width() / picture.width(), area.height() / picture.height());
    const QSizeF size = picture * scale;
    return {area.center() - QPointF(size.width() / 2, size.height() / 2), size};
}

void PaintLetter(QPainter& painter, const QRectF& area, const CompositionSettings& settings)
{
    CompositionRun run(settings);
    run.OpenSource();
    const QRectF place = FittedPlace(QSizeF(run.Width(), run.Height()), area);
    QTransform transform;
    transform.translate(place.x(), place.y());
    transform.scale(place.width() / run.Width(), place.height() / run.Height());
    TPainterDevice device(painter, transform);
    run.Trace(device);
}

void PrintLetter(QPrinter& printer, const CompositionSettings& settings)
{
    QPainter painter(&printer);
    // The painter's origin is the printable area's corner.
    const QRectF area(QPointF(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
    PaintLetter(painter, area, settings);
}

} // namespace morvaleth
