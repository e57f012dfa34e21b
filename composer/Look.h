#pragma once

#include "composer/Color.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morvaleth {

// The colours the scraps and characters are cut from. Grey is the grey,
// silver and black schemes; each other palette is a small table of paper and
// ink pairs (see plan/Stamp.h).
enum class PaletteId : std::uint8_t { Grey, Magazine, Newsprint, Pastel };

// What the letter is pasted onto: a colour, or nothing at all (an alpha
// channel where the format has one).
struct Background {
    bool transparent = false;
    TColor color = clWhite; // when not transparent

    bool operator==(const Background&) const = default;
};

// How a letter looks beyond its places, heights, tilts and faces. The
// default is the grey letter on white with clean scraps and no shadows, and
// leaves every picture as it always was. A look takes its random choices
// from a random source of its own, so that a seed gives the same places,
// heights, tilts and scraps with any look.
struct Look {
    PaletteId palette = PaletteId::Grey;
    Background background;
    // Every scrap's sides torn: short irregular lines instead of straight cuts.
    bool torn = false;
    // A soft shadow under every scrap (in plain mode, under every character).
    bool shadow = false;

    bool operator==(const Look&) const = default;
    // Whether a pixel may be other than grey.
    bool Coloured() const;
};

// The palettes by name, in the order the help lists them.
std::span<const std::string_view> PaletteNames();
std::string_view PaletteName(PaletteId palette);
std::optional<PaletteId> PaletteNamed(std::string_view name);

// "transparent", a colour name (white, black, ivory, ...; any case) or
// #rrggbb; none for anything else.
std::optional<Background> BackgroundNamed(std::string_view text);
// How a background is written back: "transparent" or "#rrggbb".
std::string BackgroundText(const Background& background);
// The colour names a background takes, for the help.
std::string ColorNameList();

} // namespace morvaleth
