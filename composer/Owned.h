#pragma once

#include <memory>

namespace morvaleth {

// A C library handle that releases itself: Owned<FT_FaceRec_, FT_Done_Face>.
template <typename T, auto Release>
struct HandleReleaser {
    void operator()(T* handle) const { Release(handle); }
};
template <typename T, auto Release>
using Owned = std::unique_ptr<T, HandleReleaser<T, Release>>;

} // namespace morvaleth
