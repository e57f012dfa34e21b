#pragma once

#include "composer/Composition.h"
#include "composer/RowSink.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvaleth {

// How a picture was made, kept with it (PNG text chunks, the vector formats'
// metadata) so that it can be made again: the program's version, the seed
// and every setting that shapes the picture, as lines of "key=value" under
// RecipeKeyword; and, when asked for, the text it was made from under
// TextKeyword. The source's path is not kept, nor how the work was split.
inline constexpr std::string_view SoftwareKeyword = "Software";
inline constexpr std::string_view RecipeKeyword = "Morvaleth recipe";
inline constexpr std::string_view TextKeyword = "Morvaleth text";

// The notes of a picture made with these settings from this seed.
PictureNotes RecipeNotes(const CompositionSettings& settings, std::uint32_t seed);

// The settings and seed a recipe's text stands for, its text (when kept)
// read from memory; none when the text is no recipe of this program's. The
// size texts come back as the numbers they were read as.
struct MadeWith {
    CompositionSettings settings;
    std::uint32_t seed = 0;
    std::string version;
};
std::optional<MadeWith> ReadRecipe(const PictureNotes& notes);

} // namespace morvaleth
