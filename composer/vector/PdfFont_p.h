#pragma once

#include "composer/faces/GlyphPath.h"
#include "composer/faces/OpenFace.h"
#include "composer/vector/Device.h"
#include "composer/vector/PdfFile_p.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvaleth {

// What a font asks of the page it is used on while the page is drawn.
class PdfObjects {
public:
    virtual int Reserve() = 0;
    // A resource name for a font, new for each font of the page.
    virtual std::string NewFontName() = 0;
    // A stream object (a glyph's outline), written once the page gets to it;
    // `dictionary` holds its entries besides /Length and /Filter.
    virtual void Pend(int object, std::string_view dictionary, std::string_view body) = 0;
    // A Type 3 glyph procedure that draws nothing and is half an em wide,
    // made once for the page.
    virtual int BlankGlyph() = 0;

protected:
    ~PdfObjects() = default;
};

// A font that shows text on the page. Every font's text space has the em
// for its unit, and the outlines of those made here a thousand units to the
// em, as fonts have in PDF: the matrix that places a glyph is its matrix from
// font units times the face's units per em.
class PdfTextFont {
public:
    virtual ~PdfTextFont() = default;

    const std::string& Resource() const { return resource_; }
    int Object() const { return object_; }
    // The code as a string to show: two bytes of glyph id, or one byte.
    virtual void AppendCode(std::string& out, std::uint32_t code) const = 0;

    // Whether the code, shown alone, reads as `text` through the font's map:
    // a code first shown alone takes that text into the map; one that later
    // stands for other text does not.
    bool MapsTo(std::uint32_t code, std::u32string_view text);

protected:
    PdfTextFont(std::string resource, int object) : resource_(std::move(resource)), object_(object) {}
    std::vector<CodeText> MappedCodes() const;

    std::string resource_;
    int object_;
    std::map<std::uint32_t, std::u32string> texts_;
};

struct FontGlyph {
    PdfTextFont* font = nullptr;
    std::uint32_t code = 0;
};

// How a face's glyphs go onto the page.
enum class FaceWay {
    Subset,   // text in the face embedded as a subset
    Type3,    // text in fonts made of the face's outlines
    Outlines, // shapes only: the licence forbids embedding
};

// A face of the run on the page: its text fonts, and what the page needs to
// know of it.
class PdfFace {
public:
    // Opens the face's file; fails with "ﾌｫﾝﾄ '%s' を開けません" when FreeType
    // cannot.
    PdfFace(FT_Library library, const DeviceFace& face);
    PdfFace(const PdfFace&) = delete;
    PdfFace& operator=(const PdfFace&) = delete;
    ~PdfFace();

    FaceWay Way() const { return way_; }
    const DeviceFace& Info() const { return face_; }

    // The font and code that show the glyph, thickened for a bold cutting.
    // Glyphs that the face's own subset cannot show as the raster draws them
    // (bold ones, and all of a face without a subset) go into Type 3 fonts of
    // their outlines, each outline pended once. Not for a face of the
    // Outlines way.
    FontGlyph Place(std::uint32_t glyph, bool bold, GlyphOutlines& outlines, PdfObjects& objects);

    // Writes the face's fonts, the subset cut to the glyphs used, and
    // appends "/Name n 0 R " for each to `resources`. Fails with
    // "ﾌｫﾝﾄ '%s' を開けません" when the subset cannot be made.
    void Embed(PdfFile& file, std::string& resources);

private:
    class SubsetFont;
    class OutlineFont;

    // The glyph's advance in font units.
    double Advance(std::uint32_t glyph) const;
    // From font units to thousandths of the em.
    double ThousandthsPerUnit() const;

    DeviceFace face_;
    FtFacePtr ft_;
    FaceWay way_ = FaceWay::Type3;
    bool cff_ = false;
    std::unique_ptr<SubsetFont> subset_;
    std::vector<std::unique_ptr<OutlineFont>> outlineFonts_;
    std::map<std::pair<std::uint32_t, bool>, FontGlyph> outlineGlyphs_;
};

// The outline's font units times `scale`, as PDF path operators ending in a
// fill by the nonzero rule (as FreeType fills an outline), quadratic curves
// raised to cubic ones.
std::string OutlineOperators(const GlyphPath& path, double scale);
// "left bottom right top" of the outline's points times `scale`, control
// points included.
void AppendBox(std::string& out, const GlyphPath& path, double scale);

} // namespace morvaleth
