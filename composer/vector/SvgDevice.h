#pragma once

#include "composer/encode/Formats.h"
#include "composer/save/ByteOutput.h"
#include "composer/vector/Device.h"

#include <memory>

namespace morvaleth {

// An SVG picture of the run's stamps, written into the output as they come:
// the picture's size in pixels (in millimetres too with a resolution), a
// white sheet, then for each stamp its scrap as two polygons (the fill by
// the even-odd rule, and the outline one pixel wide through the pixels'
// centres), its glyphs as uses of outlines that each go into the file once,
// before their first use, in font units with the stamp's matrix, and its
// characters as invisible text over them in the face's family, so that the
// letter can be selected, searched and copied. Memory holds only which
// outlines were written.
std::unique_ptr<StampDevice> SvgDevice(ByteOutput& output, const OutputOptions& options);

// The same SVG compressed with gzip as it is written (.svgz).
std::unique_ptr<StampDevice> CompressedSvgDevice(ByteOutput& output, const OutputOptions& options);

} // namespace morvaleth
