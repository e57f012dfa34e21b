#pragma once

#include "composer/Composition.h"
#include "composer/vector/Device.h"

#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QTransform>

#include <cstdint>
#include <map>
#include <tuple>

class QPrinter;

namespace morvaleth {

// Draws a run's stamps through a painter as shapes: the scraps as polygons
// with their one-pixel outline, the glyphs as their outlines filled, each
// outline made into a path once. On a printer or any other painter the
// letter is as sharp as its vector files, at whatever scale `place` maps the
// picture's pixels to.
class TPainterDevice final : public StampDevice {
public:
    TPainterDevice(QPainter& painter, const QTransform& place);

    void Begin(int width, int height) override;
    void Face(const DeviceFace& face) override;
    void Stamp(const DeviceStamp& stamp, GlyphOutlines& outlines) override;
    void Finish() override;

private:
    QPainter& painter_;
    QTransform place_;
    std::map<std::tuple<std::uint16_t, std::uint32_t, bool>, QPainterPath> paths_;
};

// Where a picture of `picture` size goes in `area`: as large as it fits with
// its proportions kept, centred.
QRectF FittedPlace(QSizeF picture, const QRectF& area);

// Composes the letter of `settings` again (its seed fixed) and draws it
// through the painter into `area`, fitted as FittedPlace says. Fails as the
// run fails.
void PaintLetter(QPainter& painter, const QRectF& area, const CompositionSettings& settings);

// The same onto the printer's page, within its printable area.
void PrintLetter(QPrinter& printer, const CompositionSettings& settings);

} // namespace morvaleth
