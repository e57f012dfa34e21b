#pragma once

#include <optional>

namespace morvaleth {

// How a file is encoded; none of it changes the pixels.
struct EncodeOptions {
    // Threads that may compress at once, the calling one included; 0: one
    // per core.
    int threads = 0;
    // A PNG compressed by zlib's level 0 to 9 rather than for speed.
    std::optional<int> pngLevel;
};

} // namespace morvaleth
