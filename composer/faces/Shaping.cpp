#include "composer/faces/Shaping.h"

#include "composer/Owned.h"
#include "composer/faces/VerticalOrientationTable_p.h"
#include "composer/text/TextDecoder.h"

#include <hb-ft.h>
#include <hb-ot.h>
#include <hb.h>
#include <utf8proc.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace morvaleth {
namespace {

using HbFacePtr = Owned<hb_face_t, hb_face_destroy>;
using HbFontPtr = Owned<hb_font_t, hb_font_destroy>;
using HbFontFuncsPtr = Owned<hb_font_funcs_t, hb_font_funcs_destroy>;
using HbBufferPtr = Owned<hb_buffer_t, hb_buffer_destroy>;

// What the em-square vertical metrics need to know of the face.
struct SquareMetrics {
    hb_position_t ascent = 0;
    hb_position_t unitsPerEm = 0;
};

// Every glyph's vertical origin lies half its advance to the right of its
// horizontal origin and one cell ascent above it.
hb_bool_t SquareVerticalOrigin(hb_font_t* font, void*, hb_codepoint_t glyph, hb_position_t* x,
                               hb_position_t* y, void* user)
{
    *x = hb_font_get_glyph_h_advance(hb_font_get_parent(font), glyph) / 2;
    *y = static_cast<const SquareMetrics*>(user)->ascent;
    return true;
}

// Every glyph advances one em down the column (HarfBuzz counts y upwards).
hb_position_t SquareVerticalAdvance(hb_font_t*, void*, hb_codepoint_t, void* user)
{
    return -static_cast<const SquareMetrics*>(user)->unitsPerEm;
}

} // namespace

VerticalOrientation UnicodeVerticalOrientation(char32_t c)
{
    const auto after = std::upper_bound(std::begin(VerticalOrientationRanges), std::end(VerticalOrientationRanges), c,
                                        [](char32_t c, const VerticalOrientationRange& range) { return c < range.first; });
    if (after != std::begin(VerticalOrientationRanges) && c <= std::prev(after)->last)
        return std::prev(after)->orientation;
    return VerticalOrientation::Rotated;
}

VerticalOrientation ColumnOrientation(char32_t c)
{
    // The half-width forms: katakana, their punctuation and marks, and a few
    // symbols, each the narrow form of one full-width character.
    if (c >= 0xFF61 && c <= 0xFFEE &&
        utf8proc_get_property(utf8proc_int32_t(c))->decomp_type == UTF8PROC_DECOMP_TYPE_NARROW) {
        utf8proc_int32_t full[4];
        int boundary = 0;
        if (utf8proc_decompose_char(utf8proc_int32_t(c), full, 4,
                                    utf8proc_option_t(UTF8PROC_DECOMPOSE | UTF8PROC_COMPAT), &boundary) == 1)
            return UnicodeVerticalOrientation(char32_t(full[0]));
    }
    return UnicodeVerticalOrientation(c);
}

bool NeedsShaping(Flow flow, bool bold, std::size_t codePoints)
{
    return flow == Flow::Column || bold || codePoints > 1;
}

UnitOrientation OrientationIn(Flow flow, std::u32string_view unit)
{
    return flow == Flow::Column ? OrientationInColumn(unit) : UnitOrientation::Horizontal;
}

UnitOrientation OrientationInColumn(std::u32string_view unit)
{
    return !unit.empty() && ColumnOrientation(unit.front()) == VerticalOrientation::Rotated ? UnitOrientation::Sideways
                                                                                          : UnitOrientation::Upright;
}

struct Shaper::Impl {
    HbFacePtr face;
    HbFontPtr font;
    // The same font with em-square vertical metrics, for columns.
    HbFontPtr column;
    SquareMetrics square;
    CellExtent cell;
    hb_language_t japanese = hb_language_from_string("ja", -1);
};

Shaper::Shaper(FT_Face face, CellExtent cell) : impl_(std::make_unique<Impl>())
{
    Impl& shaper = *impl_;
    // The tables come through FreeType: the face's file is opened once.
    shaper.face.reset(hb_ft_face_create_referenced(face));
    shaper.font.reset(hb_font_create(shaper.face.get()));
    shaper.cell = cell;
    shaper.square.unitsPerEm = hb_position_t(hb_face_get_upem(shaper.face.get()));
    shaper.square.ascent = hb_position_t(std::lround(cell.ascent));

    shaper.column.reset(hb_font_create_sub_font(shaper.font.get()));
    HbFontFuncsPtr square(hb_font_funcs_create());
    hb_font_funcs_set_glyph_v_origin_func(square.get(), SquareVerticalOrigin, &shaper.square, nullptr);
    hb_font_funcs_set_glyph_v_advance_func(square.get(), SquareVerticalAdvance, &shaper.square, nullptr);
    hb_font_funcs_make_immutable(square.get());
    hb_font_set_funcs(shaper.column.get(), square.get(), nullptr, nullptr);
    hb_font_make_immutable(shaper.font.get());
    hb_font_make_immutable(shaper.column.get());
}

Shaper::~Shaper() = default;

std::uint32_t Shaper::NominalGlyph(char32_t codePoint) const
{
    hb_codepoint_t glyph = 0;
    if (codePoint == ReplacementCharacter ||
        !hb_font_get_nominal_glyph(impl_->font.get(), hb_codepoint_t(codePoint), &glyph))
        return 0;
    return glyph;
}

ShapedUnit Shaper::Shape(std::u32string_view unit, UnitOrientation orientation) const
{
    if (orientation != UnitOrientation::Upright || unit.empty() ||
        ColumnOrientation(unit.front()) != VerticalOrientation::TransformedRotated)
        return ShapeAs(unit, orientation);
    // The face's vertical features give such a character a form of its own,
    // or it lies on its side.
    ShapedUnit upright = ShapeAs(unit, UnitOrientation::Upright);
    const ShapedUnit across = ShapeAs(unit, UnitOrientation::Horizontal);
    const bool sameGlyphs = std::equal(upright.glyphs.begin(), upright.glyphs.end(), across.glyphs.begin(),
                                       across.glyphs.end(), [](const ShapedGlyph& a, const ShapedGlyph& b) {
                                           return a.id == b.id;
                                       });
    return sameGlyphs ? ShapeAs(unit, UnitOrientation::Sideways) : upright;
}

ShapedUnit Shaper::ShapeAs(std::u32string_view unit, UnitOrientation orientation) const
{
    const Impl& shaper = *impl_;
    const double ascent = shaper.cell.ascent;
    ShapedUnit shaped;
    shaped.sideways = orientation == UnitOrientation::Sideways;
    if (unit.empty())
        return shaped;

    // A lone character set horizontally keeps the face's own glyph for it,
    // exactly as a plain character-map lookup gives it.
    if (orientation == UnitOrientation::Horizontal && unit.size() == 1) {
        shaped.glyphs.push_back({NominalGlyph(unit.front()), 0, std::int32_t(std::lround(ascent))});
        return shaped;
    }

    HbBufferPtr buffer(hb_buffer_create());
    hb_buffer_add_utf32(buffer.get(), reinterpret_cast<const std::uint32_t*>(unit.data()), int(unit.size()), 0,
                        int(unit.size()));
    hb_font_t* font = shaper.font.get();
    hb_feature_t features[2];
    unsigned featureCount = 0;
    if (orientation == UnitOrientation::Upright) {
        hb_buffer_set_direction(buffer.get(), HB_DIRECTION_TTB);
        font = shaper.column.get();
        hb_feature_from_string("vert", -1, &features[featureCount++]);
        hb_feature_from_string("vrt2", -1, &features[featureCount++]);
    }
    hb_buffer_set_language(buffer.get(), shaper.japanese);
    hb_buffer_set_flags(buffer.get(), HB_BUFFER_FLAG_REMOVE_DEFAULT_IGNORABLES);
    // Along a line a unit runs in its script's own direction: Arabic joins
    // its letters (and the joiners around one) only right to left. The
    // glyphs come back in the order they stand in from left to right.
    hb_buffer_guess_segment_properties(buffer.get());
    hb_shape(font, buffer.get(), features, featureCount);

    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer.get(), &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer.get(), &count);
    // Sideways glyphs are centred across the column: the band from descent
    // to ascent sits on the em square's middle.
    const double sidewaysBaseline = shaper.square.unitsPerEm / 2.0 - (ascent - shaper.cell.descent) / 2.0;
    struct Place {
        double x;
        double y;
    };
    std::vector<Place> places;
    places.reserve(count);
    double penX = 0;
    double penY = 0;
    for (unsigned i = 0; i < count; ++i) {
        const hb_glyph_position_t& at = positions[i];
        double x = 0;
        double y = 0;
        switch (orientation) {
        case UnitOrientation::Horizontal:
            x = penX + at.x_offset;
            y = ascent - at.y_offset;
            break;
        case UnitOrientation::Upright:
            x = shaper.square.unitsPerEm / 2.0 + penX + at.x_offset;
            y = -(penY + at.y_offset);
            break;
        case UnitOrientation::Sideways:
            x = sidewaysBaseline + at.y_offset;
            y = penX + at.x_offset;
            break;
        }
        const bool unconvertible = infos[i].cluster < unit.size() && unit[infos[i].cluster] == ReplacementCharacter;
        shaped.glyphs.push_back({unconvertible ? 0 : infos[i].codepoint, 0, 0});
        places.push_back({x, y});
        penX += at.x_advance;
        penY += at.y_advance;
    }
    // A cluster's glyphs side by side (the parts of an emoji sequence a face
    // has no glyph for, say) keep to its cell: shrunk about the cell's
    // middle across the flow, from its start along it.
    const double cell = ascent + shaper.cell.descent;
    const double extent = orientation == UnitOrientation::Upright ? -penY : penX;
    if (unit.size() > 1 && extent > cell) {
        shaped.scale = cell / extent;
        const double middle = orientation == UnitOrientation::Horizontal ? cell / 2 : shaper.square.unitsPerEm / 2.0;
        for (Place& place : places) {
            double& across = orientation == UnitOrientation::Horizontal ? place.y : place.x;
            double& along = orientation == UnitOrientation::Horizontal ? place.x : place.y;
            across = middle + (across - middle) * shaped.scale;
            along *= shaped.scale;
        }
    }
    for (std::size_t i = 0; i < places.size(); ++i) {
        shaped.glyphs[i].x = std::int32_t(std::lround(places[i].x));
        shaped.glyphs[i].y = std::int32_t(std::lround(places[i].y));
    }
    return shaped;
}

} // namespace morvaleth
