#include "composer/faces/OutlineCache_p.h"

#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include FT_FONT_FORMATS_H

#include <algorithm>
#include <string_view>

namespace morvaleth {
namespace {

std::vector<std::uint8_t> SfntTable(FT_Face face, FT_ULong tag)
{
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) != 0 || length == 0)
        return {};
    std::vector<std::uint8_t> table(length);
    if (FT_Load_Sfnt_Table(face, tag, 0, table.data(), &length) != 0)
        return {};
    return table;
}

unsigned BigEndian16(const std::uint8_t* bytes)
{
    return unsigned(bytes[0]) << 8 | bytes[1];
}

} // namespace

OutlineCache::OutlineCache(FT_Face face)
{
    const char* format = FT_Get_Font_Format(face);
    const auto* header = static_cast<const TT_Header*>(FT_Get_Sfnt_Table(face, FT_SFNT_HEAD));
    const auto* horizontal = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    if (format == nullptr || std::string_view(format) != "TrueType" || header == nullptr ||
        horizontal == nullptr || FT_IS_TRICKY(face) || FT_HAS_MULTIPLE_MASTERS(face))
        return;
    horizontalMetrics_ = SfntTable(face, TTAG_hmtx);
    locations_ = SfntTable(face, TTAG_loca);
    longMetrics_ = horizontal->number_Of_HMetrics;
    longLocations_ = header->Index_To_Loc_Format != 0;
    usable_ = !horizontalMetrics_.empty() && !locations_.empty() && longMetrics_ > 0;
    glyphSlots_.assign(std::size_t(std::max<FT_Long>(face->num_glyphs, 0)), Unknown);
}

FT_Pos OutlineCache::LeftSideBearing(FT_UInt glyph) const
{
    // Glyphs past the long metrics have a bearing of their own but share the
    // last advance; a table too short for a glyph gives it none.
    const std::size_t at = glyph < longMetrics_ ? std::size_t(glyph) * 4 + 2
                                                : std::size_t(longMetrics_) * 4 + std::size_t(glyph - longMetrics_) * 2;
    if (at + 2 > horizontalMetrics_.size())
        return 0;
    return FT_Pos(std::int16_t(BigEndian16(&horizontalMetrics_[at])));
}

FT_Pos OutlineCache::BoxLeft(FT_Face face, FT_UInt glyph) const
{
    const std::size_t entry = longLocations_ ? 4 : 2;
    const std::size_t at = std::size_t(glyph) * entry;
    if (at + 2 * entry > locations_.size())
        return 0;
    auto location = [&](std::size_t offset) -> FT_ULong {
        if (longLocations_)
            return FT_ULong(BigEndian16(&locations_[offset])) << 16 | BigEndian16(&locations_[offset + 2]);
        return FT_ULong(BigEndian16(&locations_[offset])) * 2;
    };
    const FT_ULong start = location(at);
    // An empty glyph, with no header or no contours, has a box of zeros.
    if (location(at + entry) <= start)
        return 0;
    std::uint8_t header[4]; // the number of contours, the box's left edge
    FT_ULong length = sizeof header;
    if (FT_Load_Sfnt_Table(face, TTAG_glyf, start, header, &length) != 0 || BigEndian16(header) == 0)
        return 0;
    return FT_Pos(std::int16_t(BigEndian16(header + 2)));
}

std::int32_t OutlineCache::Add(FT_Face face, FT_UInt glyph)
{
    // Without recursion a composite glyph comes as its components, which
    // this does not compose; the load is unhinted and ignores the transform.
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_RECURSE) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return LoadedByFreeType;
    const FT_Outline& loaded = face->glyph->outline;
    UnscaledGlyph unscaled;
    unscaled.phantomLeft = BoxLeft(face, glyph) - LeftSideBearing(glyph);
    unscaled.advance = face->glyph->metrics.horiAdvance;
    unscaled.firstPoint = std::uint32_t(points_.size());
    unscaled.firstContour = std::uint32_t(contours_.size());
    unscaled.pointCount = loaded.n_points;
    unscaled.contourCount = loaded.n_contours;
    unscaled.flags = loaded.flags;
    // The loader moved the points by the unscaled phantom point; undo that.
    for (short i = 0; i < loaded.n_points; ++i)
        points_.push_back({loaded.points[i].x + unscaled.phantomLeft, loaded.points[i].y});
    tags_.insert(tags_.end(), loaded.tags, loaded.tags + loaded.n_points);
    contours_.insert(contours_.end(), loaded.contours, loaded.contours + loaded.n_contours);
    if (placed_.size() < std::size_t(loaded.n_points))
        placed_.resize(std::size_t(loaded.n_points));
    glyphs_.push_back(unscaled);
    return std::int32_t(glyphs_.size() - 1);
}

bool OutlineCache::Load(FT_Face face, FT_UInt glyph, const FT_Matrix& matrix, const FT_Vector& offset,
                        FT_Outline& outline, FT_Vector& advance)
{
    if (!usable_ || glyph >= glyphSlots_.size())
        return false;
    std::int32_t& slot = glyphSlots_[glyph];
    if (slot == Unknown)
        slot = Add(face, glyph);
    if (slot == LoadedByFreeType)
        return false;
    const UnscaledGlyph& unscaled = glyphs_[std::size_t(slot)];
    const FT_Size_Metrics& size = face->size->metrics;

    const FT_Pos left = MulFix(unscaled.phantomLeft, size.x_scale);
    const FT_Vector* from = points_.data() + unscaled.firstPoint;
    for (short i = 0; i < unscaled.pointCount; ++i) {
        const FT_Pos x = MulFix(from[i].x, size.x_scale) - left;
        const FT_Pos y = MulFix(from[i].y, size.y_scale);
        placed_[std::size_t(i)] = {MulFix(x, matrix.xx) + MulFix(y, matrix.xy) + offset.x,
                                   MulFix(x, matrix.yx) + MulFix(y, matrix.yy) + offset.y};
    }
    outline.n_points = unscaled.pointCount;
    outline.n_contours = unscaled.contourCount;
    outline.points = placed_.data();
    outline.tags = tags_.data() + unscaled.firstPoint;
    outline.contours = contours_.data() + unscaled.firstContour;
    // FreeType marks the outlines of small sizes for its most precise scan.
    outline.flags = unscaled.flags | (size.y_ppem < 24 ? FT_OUTLINE_HIGH_PRECISION : 0);

    const FT_Pos scaledAdvance = MulFix(unscaled.phantomLeft + unscaled.advance, size.x_scale) - left;
    advance = {MulFix(scaledAdvance, matrix.xx), MulFix(scaledAdvance, matrix.yx)};
    return true;
}

} // namespace morvaleth
