#pragma once

#include "composer/Owned.h"
#include "composer/faces/FaceChain.h"
#include "composer/faces/FaceTable.h"
#include "composer/faces/FontScale.h"
#include "composer/faces/Shaping.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace morvaleth {

using FtLibraryPtr = Owned<std::remove_pointer_t<FT_Library>, FT_Done_FreeType>;
using FtFacePtr = Owned<std::remove_pointer_t<FT_Face>, FT_Done_Face>;

class OutlineCache;

// How glyph outlines are come by at a size and a turn.
enum class GlyphLoading {
    // The outline is loaded unscaled once per face and then scaled and turned
    // with FreeType's own fixed-point rounding: the same points as below, for
    // a fraction of the work.
    Cached,
    // FreeType loads, scales and turns the glyph at every use.
    EachUse,
};

// A glyph that is a picture rather than an outline (a colour emoji of a face
// made of bitmaps), in grey: two bytes a pixel, the grey premultiplied by the
// coverage and the coverage, rows from the top. Each level halves the one
// before it, so that a small stamp samples a level near its own size.
struct GlyphImage {
    struct Level {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> pixels;
    };
    std::vector<Level> levels;
    // The top-left corner of the picture from the glyph's origin, x to the
    // right and y upwards, and the glyph's advance, in the picture's pixels.
    int left = 0;
    int top = 0;
    double advance = 0;
    // How many of the picture's pixels make the face's em.
    double pixelsPerEm = 1;
};

// One face opened by one thread (FreeType handles are not shared between
// threads), with what that thread keeps of it: its size, its outlines and the
// units it has shaped.
class OpenFace {
public:
    OpenFace(FtFacePtr face, GlyphLoading loading);
    OpenFace(OpenFace&&) noexcept;
    OpenFace& operator=(OpenFace&&) noexcept;
    ~OpenFace();

    FT_Face Face() const { return face_.get(); }
    const FaceMeasures& Measures() const { return measures_; }

    // Sets the face to an em of `emSize` 26.6 pixels, unless it is at it
    // already; false when FreeType refuses the size. A face of pictures has
    // no size to set: its pictures are scaled as they are drawn.
    bool SizeTo(long emSize);

    // Whether the face's glyphs are pictures (a face of colour or grey
    // bitmaps without outlines, such as a colour emoji face): they are drawn
    // with Image, scaled to the stamp's size.
    bool DrawsImages() const { return drawsImages_; }

    // The glyph's picture at the face's largest size, kept for the next time;
    // null when it has none.
    const GlyphImage* Image(std::uint32_t glyph);

    // The glyph the face's character map gives a code point; 0, the
    // missing-glyph shape, for U+FFFD and every character the face lacks.
    std::uint32_t GlyphOf(char32_t codePoint) const;

    // Loads a glyph at the face's current size, turned by `turn` and moved by
    // `offset`: from the outline cache where it can, else through FreeType.
    // False when FreeType fails to load it; `outline` stays null for a glyph
    // that is no outline. `cached` holds the outline until the next load.
    bool LoadGlyph(std::uint32_t glyph, const FT_Matrix& turn, const FT_Vector& offset, FT_Outline& cached,
                   FT_Outline*& outline, FT_Vector& advance);

    // A unit shaped as a whole in the orientation, kept for the next time.
    const ShapedUnit& Shaped(std::u32string_view unit, UnitOrientation orientation);

private:
    struct UnitHash {
        using is_transparent = void;
        std::size_t operator()(std::u32string_view unit) const { return std::hash<std::u32string_view>{}(unit); }
    };

    FtFacePtr face_;
    FaceMeasures measures_;
    GlyphLoading loading_;
    long currentSize_ = 0;
    std::unique_ptr<OutlineCache> outlines_; // made on the first glyph drawn
    std::unique_ptr<Shaper> shaper_;
    std::unordered_map<std::u32string, ShapedUnit, UnitHash, std::equal_to<>> shaped_[3];
    bool drawsImages_ = false;
    std::unordered_map<std::uint32_t, GlyphImage> images_;
};

FtLibraryPtr NewLibrary();

// The face at the location opened anew; none when FreeType cannot open it.
// Fails with "ｼｽﾃﾑ ﾘｿｰｽが足りません" when it is memory that is missing.
std::optional<OpenFace> OpenFaceAt(FT_Library library, const FaceLocation& location,
                                   GlyphLoading loading = GlyphLoading::Cached);

// The faces one thread has opened, each file once, kept for the thread's
// life.
class FaceHandles {
public:
    explicit FaceHandles(GlyphLoading loading = GlyphLoading::Cached);
    FaceHandles(const FaceHandles&) = delete;
    FaceHandles& operator=(const FaceHandles&) = delete;
    ~FaceHandles();

    FT_Library Library() const { return library_.get(); }

    // The face at the location, opened on its first use; null when it
    // cannot be opened.
    OpenFace* Open(const FaceLocation& location);

    // A face of a run's table, opened on its first use; fails with
    // "ﾌｫﾝﾄ '%s' を開けません" when its file cannot be opened.
    OpenFace& Open(const FaceTable& faces, FaceId face);

private:
    FtLibraryPtr library_;
    GlyphLoading loading_;
    std::map<std::pair<std::string, int>, OpenFace> facesByFile_;
    std::vector<OpenFace*> facesById_;
};

} // namespace morvaleth
