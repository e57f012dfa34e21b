#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <vector>

namespace morvaleth {

// FreeType's fixed-point product, a * b / 65536 rounded half away from zero,
// exactly as its unhinted loader scales points and its transform turns them.
constexpr FT_Pos MulFix(FT_Pos a, FT_Fixed b)
{
    const std::int64_t product = std::int64_t(a) * std::int64_t(b);
    return FT_Pos((product + 0x8000 - (product < 0 ? 1 : 0)) >> 16);
}

// A glyph as a TrueType font holds it, in font units and not yet moved to its
// origin: unhinted FreeType scales each point on its own and only then moves
// the outline left by the scaled left phantom point, so both are kept apart.
struct UnscaledGlyph {
    FT_Pos phantomLeft = 0; // the glyph box's left edge less the left side bearing
    FT_Pos advance = 0;
    std::uint32_t firstPoint = 0;
    std::uint32_t firstContour = 0;
    short pointCount = 0;
    short contourCount = 0;
    int flags = 0;
};

// Each glyph's unscaled outline, loaded once from a TrueType face and scaled
// and turned for every stamp the way FreeType's own unhinted load would: a
// glyph costs one load per run instead of one per stamp. Composite glyphs,
// and faces of other formats or with variations, keep being loaded by
// FreeType, whose composition of components this does not repeat.
class OutlineCache {
public:
    explicit OutlineCache(FT_Face face);

    // The glyph's outline at the face's current size, turned by `matrix` and
    // moved by `offset`, with its turned advance; false when FreeType has to
    // load it itself.
    bool Load(FT_Face face, FT_UInt glyph, const FT_Matrix& matrix, const FT_Vector& offset,
              FT_Outline& outline, FT_Vector& advance);

private:
    static constexpr std::int32_t Unknown = -1;
    static constexpr std::int32_t LoadedByFreeType = -2;

    std::int32_t Add(FT_Face face, FT_UInt glyph);
    FT_Pos LeftSideBearing(FT_UInt glyph) const;
    FT_Pos BoxLeft(FT_Face face, FT_UInt glyph) const;

    bool usable_ = false;
    std::vector<std::uint8_t> horizontalMetrics_; // 'hmtx'
    std::vector<std::uint8_t> locations_;         // 'loca'
    unsigned longMetrics_ = 0;
    bool longLocations_ = false;
    std::vector<std::int32_t> glyphSlots_; // by glyph index: Unknown, LoadedByFreeType or an index
    std::vector<UnscaledGlyph> glyphs_;
    std::vector<FT_Vector> points_;
    std::vector<char> tags_;
    std::vector<short> contours_;
    std::vector<FT_Vector> placed_; // the points of the stamp being drawn
};

} // namespace morvaleth
