#pragma once

#include <cstddef>

namespace morvaleth {

// How the render stage splits its work. None of it changes the picture.
struct RenderOptions {
    // Render threads, the calling one included; 0: one per core.
    int threads = 0;
    // Rows per band; 0: chosen from the picture's width.
    int bandRows = 0;
    // The most memory the planned stamps may hold at once; 0: a quarter of
    // the machine's. A run that needs more fails as out of resources.
    std::size_t mostStampBytes = 0;
};

} // namespace morvaleth
