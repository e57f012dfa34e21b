#pragma once

#include <string>
#include <vector>

namespace morvaleth {

// Which faces the stamps of a run take theirs from.
enum class FaceMix {
    One,      // every stamp in the chosen face
    Japanese, // the chosen face and every installed Japanese face
    Listed,   // the faces named in a list, the chosen one only if listed
};

struct FaceChoice {
    FaceMix mix = FaceMix::One;
    std::vector<std::string> listed;
    // Some stamps get their outlines thickened, as a bold cutting would.
    bool syntheticBold = false;

    bool operator==(const FaceChoice&) const = default;
};

} // namespace morvaleth
