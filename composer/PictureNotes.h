#pragma once

#include <string>
#include <utility>
#include <vector>

namespace morvaleth {

// How a picture was made, kept with it by a format that can: pairs of a
// keyword and a text (see Recipe.h).
struct PictureNotes {
    std::vector<std::pair<std::string, std::string>> entries;

    bool operator==(const PictureNotes&) const = default;
};

} // namespace morvaleth
