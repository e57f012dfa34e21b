#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvaleth {

// How a picture was made, kept with it by a format that can: pairs of a
// keyword and a text (see Recipe.h).
struct PictureNotes {
    std::vector<std::pair<std::string, std::string>> entries;

    bool operator==(const PictureNotes&) const = default;
};

// The keywords of the notes: the program that made the picture, its recipe,
// the text it was made from when that is kept (see Recipe.h), and the level a
// PNG was compressed at when one was asked for, which the same file, byte for
// byte, needs too.
inline constexpr std::string_view SoftwareKeyword = "Software";
inline constexpr std::string_view RecipeKeyword = "Morvaleth recipe";
inline constexpr std::string_view TextKeyword = "Morvaleth text";
inline constexpr std::string_view PngLevelKeyword = "Morvaleth png level";


} // namespace morvaleth
