#pragma once

#include "composer/Composition.h"
#include "composer/PictureNotes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvaleth {

// How a picture was made, kept with it (PNG text chunks, the vector formats'
// metadata) so that it can be made again: the program's version, the seed
// and every setting that shapes the picture, as lines of "key=value" under
// RecipeKeyword, the encoding as the text was read in rather than as it was
// asked for; and, when asked for, the text it was made from under
// TextKeyword, as far as it was read, its line ends as LF. The source's path
// is not kept, nor how the work was split.
// The notes of a picture made with these settings from this seed, its text
// read in `read` (Automatic: plain ASCII); `text` when it is kept.
PictureNotes RecipeNotes(const CompositionSettings& settings, std::uint32_t seed, SourceEncoding read,
                         const std::u32string* text = nullptr);

// The settings and seed a recipe's notes stand for, the text (when kept) as
// a text in memory to be read as UTF-8; none when the notes hold no recipe
// of this program's. The size texts come back as the numbers they were read
// as; `read` is the encoding the text was read in.
struct MadeWith {
    CompositionSettings settings;
    std::uint32_t seed = 0;
    std::string version;
    SourceEncoding read = SourceEncoding::Automatic;
    std::optional<int> pngLevel;
};
std::optional<MadeWith> ReadRecipe(const PictureNotes& notes);

} // namespace morvaleth
