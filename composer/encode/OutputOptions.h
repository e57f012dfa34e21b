#pragma once

#include <functional>
#include <optional>
#include <string_view>

namespace morvaleth {

// What a format's writer needs besides the output; none of it changes the
// pixels.
struct OutputOptions {
    // The picture's resolution, 0 when it has none: the raster files then
    // record none (BMP's pixels per metre 0, no PNG pHYs), and a vector page
    // takes a pixel for a 96th of an inch.
    int dotsPerInch = 0;
    // Told of what a vector output draws otherwise than asked: a face whose
    // licence forbids embedding, drawn as outlines without text.
    std::function<void(std::string_view message)> warning;
    // Threads that may compress at once, the calling one included; 0: one
    // per core.
    int threads = 0;
    // A PNG compressed by zlib's level 0 to 9 rather than for speed.
    std::optional<int> pngLevel;
};

} // namespace morvaleth
