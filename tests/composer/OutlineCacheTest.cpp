// Glyphs drawn from outlines loaded once and scaled by the engine against the
// same glyphs loaded by FreeType at each use: every face, size and turn must
// cover exactly the same pixels. Each process compares the faces its font
// configuration holds.

#include "composer/faces/OpenFace.h"
#include "composer/render/GlyphPainter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace morvaleth {
namespace {

struct Canvas {
    static constexpr int Side = 480;
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(std::size_t(Side) * Side * 3, 0xff);

    PixelSurface Surface() { return {pixels.data(), Side, Side, std::size_t(Side) * 3, 0}; }
};

std::vector<std::uint8_t> Drawn(FaceHandles& handles, const FaceLocation& location, int cellHeight, int tilt,
                                std::u32string_view text)
{
    Canvas canvas;
    OpenFace* face = handles.Open(location);
    if (face != nullptr)
        PaintGlyphs(canvas.Surface(), handles.Library(), *face, ScaleForCell(face->Measures(), cellHeight, tilt),
                    Canvas::Side / 3, Canvas::Side / 3, text, clBlack, false, UnitOrientation::Horizontal, false);
    return canvas.pixels;
}

struct FaceCase {
    const char* name;
    const char* family; // the installed face the name must stand for
};

TEST(OutlineCache, DrawsWhatFreeTypeDrawsAtEverySizeAndTurn)
{
    const FaceCase faces[] = {
        {"ＭＳ Ｐゴシック", "IPAPGothic"},
        {"ＭＳ 明朝", "IPAMincho"},
        // Accented letters built of components; glyphs whose box starts left
        // of their side bearing (ƪ Ⱦ ʆ, the combining commas, the italic
        // mathematical letters).
        {"DejaVu Serif", "DejaVu Serif"},
        {"DejaVu Sans", "DejaVu Sans"},
        // Not TrueType: FreeType loads each glyph itself.
        {"Nimbus Sans", "Nimbus Sans"},
    };
    // Sizes on both sides of 24 pixels to the em, below which FreeType marks
    // its outlines for a more precise scan.
    const int cellHeights[] = {1, 2, 3, 5, 8, 13, 19, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 34, 55, 89, 233};
    const int escapements[] = {0, 7, 450, 900, 1333, 1800, 2700, 3599, -450};
    const std::u32string text = U"AWgQ 漢あアｱ é Åﬁ½ ƪȾʆ\u0313\u0314𝐵𝑗 \u2422\U0010FFFF";

    FaceHandles cached(GlyphLoading::Cached);
    FaceHandles reference(GlyphLoading::EachUse);
    const std::vector<std::uint8_t> blank = Canvas().pixels;
    int facesCompared = 0;
    for (const FaceCase& face : faces) {
        const FaceLocation location = FindFace(face.name);
        if (location.family != face.family)
            continue;
        ++facesCompared;
        // Twice over, so that the second round draws from a full cache.
        for (int round = 0; round < 2; ++round)
            for (const int cellHeight : cellHeights)
                for (const int escapement : escapements) {
                    const std::vector<std::uint8_t> expected =
                        Drawn(reference, location, cellHeight, escapement, text);
                    ASSERT_TRUE(expected != blank) << face.name << " at " << cellHeight << " px draws nothing";
                    ASSERT_TRUE(Drawn(cached, location, cellHeight, escapement, text) == expected)
                        << face.name << " at " << cellHeight << " px, turned by " << escapement << " tenths";
                }
    }
    EXPECT_GT(facesCompared, 1) << "the font configuration holds too few of the faces";
}

} // namespace
} // namespace morvaleth
