#include "composer/FontEngine.h"

#include "composer/DataFiles.h"
#include "composer/Error.h"
#include "composer/FontConfig.h"
#include "composer/Shaping.h"
#include "composer/TextDecoder.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <map>
#include <numbers>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace morvaleth {
namespace {

template <typename T, auto Release>
struct Releaser {
    void operator()(T* handle) const { Release(handle); }
};
template <typename T, auto Release>
using Owned = std::unique_ptr<T, Releaser<T, Release>>;

using FcConfigPtr = Owned<FcConfig, FcConfigDestroy>;
using FcPatternPtr = Owned<FcPattern, FcPatternDestroy>;
using FcFontSetPtr = Owned<FcFontSet, FcFontSetDestroy>;
using FtLibraryPtr = Owned<std::remove_pointer_t<FT_Library>, FT_Done_FreeType>;
using FtFacePtr = Owned<std::remove_pointer_t<FT_Face>, FT_Done_Face>;

// Whether the system refuses the memory to map the whole file. FreeType
// reports a font file it could neither map nor read into memory as one it
// cannot open, or as of an unknown format once its other ways of opening it
// failed too; this asks the system the question FreeType asked it.
bool CannotMapFile(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return errno == ENOMEM;
    struct stat status {};
    bool refused = false;
    if (::fstat(descriptor, &status) == 0 && status.st_size > 0) {
        void* mapped = ::mmap(nullptr, std::size_t(status.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
        refused = mapped == MAP_FAILED && errno == ENOMEM;
        if (mapped != MAP_FAILED)
            ::munmap(mapped, std::size_t(status.st_size));
    }
    ::close(descriptor);
    return refused;
}

struct EngineFonts {
    FcConfigPtr config;
    std::string aliasFile;
};

bool HasFonts(FcConfig* config)
{
    const FcFontSet* fonts = FcConfigGetFonts(config, FcSetSystem);
    return fonts != nullptr && fonts->nfont > 0;
}

// The system's font configuration with the engine's aliases added, loaded
// once for the whole program. A configuration that came up without any fonts
// (the system refused to open its files, say) is not kept: the next run loads
// it afresh rather than draw nothing for the rest of the program's life.
const EngineFonts& LoadedFonts()
{
    static EngineFonts fonts;
    if (!fonts.config) {
        EngineFonts loaded{FcConfigPtr(FcInitLoadConfigAndFonts()), FindDataFile("morvaleth-fonts.conf")};
        if (loaded.config && HasFonts(loaded.config.get())) {
            if (!loaded.aliasFile.empty() &&
                !FcConfigParseAndLoad(loaded.config.get(),
                                      reinterpret_cast<const FcChar8*>(loaded.aliasFile.c_str()), FcFalse))
                loaded.aliasFile.clear();
            fonts = std::move(loaded);
        }
    }
    return fonts;
}

bool HasJapaneseGlyphs(FcPattern* font)
{
    FcCharSet* characters = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) != FcResultMatch)
        return false;
    // Hiragana, katakana and a kanji: a face with all three can set Japanese.
    return FcCharSetHasChar(characters, 0x3042) && FcCharSetHasChar(characters, 0x30A2) &&
           FcCharSetHasChar(characters, 0x6F22);
}

// A face's vertical metrics in font units, the cell being ascent + descent.
struct CellMetrics {
    double ascent = 0;
    double descent = 0;
};

CellMetrics CellMetricsOf(FT_Face face)
{
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0)
        return {double(os2->usWinAscent), double(os2->usWinDescent)};
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    if (hhea != nullptr && hhea->Ascender - hhea->Descender > 0)
        return {double(hhea->Ascender), double(-hhea->Descender)};
    if (face->ascender - face->descender > 0)
        return {double(face->ascender), double(-face->descender)};
    return {face->units_per_EM * 0.88, face->units_per_EM * 0.12};
}

struct UnitHash {
    using is_transparent = void;
    std::size_t operator()(std::u32string_view unit) const { return std::hash<std::u32string_view>{}(unit); }
};

struct OpenFace {
    FtFacePtr face;
    CellMetrics cell;
    // The farthest any outline point lies from the glyph origin, and the
    // widest advance, in font units: bounds for skipping off-picture text.
    double reach = 0;
    double maxAdvance = 0;
    FT_F26Dot6 currentSize = 0;
    // Units set in a column, lying on their side, or of several characters
    // go through HarfBuzz, once per unit and orientation.
    std::unique_ptr<Shaper> shaper;
    std::unordered_map<std::u32string, ShapedUnit, UnitHash, std::equal_to<>> shaped[3];
};

// The cell height of a description with lfHeight 0, which asks for a default.
constexpr double DefaultCellPixels = 16;
// FreeType's span coordinates are 16-bit; a font must stay well inside them.
constexpr double LargestEmPixels = 12000;

struct SpanTarget {
    const PixelSurface* surface;
    int left;
    int baselineRow;
    TColor color;
};

void BlendSpans(int y, int count, const FT_Span* spans, void* user)
{
    const auto* target = static_cast<const SpanTarget*>(user);
    // Rows count upwards from the baseline in FreeType, downwards on screen.
    const int row = target->baselineRow - 1 - y;
    for (int i = 0; i < count; ++i)
        BlendSpan(*target->surface, target->left + spans[i].x, row, spans[i].len,
                  spans[i].coverage, target->color);
}

// Blends a loaded outline whose origin is the pixel (originX, originY).
void RenderOutline(FT_Library library, const PixelSurface& surface, FT_Outline& outline, double originX,
                   double originY, TColor color)
{
    SpanTarget target{&surface, int(originX), int(originY), color};
    FT_Raster_Params params{};
    params.source = &outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = BlendSpans;
    params.user = &target;
    // The surface in the glyph's pixel coordinates (x right, y up from
    // the origin), kept within what a span can address, and cut down
    // to the pixels the outline's control box touches: the rasterizer
    // sweeps its whole clip box band by band, and nothing outside that
    // box has any coverage.
    FT_BBox box;
    FT_Outline_Get_CBox(&outline, &box);
    params.clip_box.xMin = std::clamp<FT_Pos>(-FT_Pos(originX), -32000, 32000);
    params.clip_box.xMax = std::clamp<FT_Pos>(surface.width - FT_Pos(originX), -32000, 32000);
    params.clip_box.yMin = std::clamp<FT_Pos>(FT_Pos(originY) - surface.height, -32000, 32000);
    params.clip_box.yMax = std::clamp<FT_Pos>(FT_Pos(originY), -32000, 32000);
    params.clip_box.xMin = std::max(params.clip_box.xMin, FT_Pos(box.xMin >> 6));
    params.clip_box.xMax = std::min(params.clip_box.xMax, FT_Pos((box.xMax + 63) >> 6));
    params.clip_box.yMin = std::max(params.clip_box.yMin, FT_Pos(box.yMin >> 6));
    params.clip_box.yMax = std::min(params.clip_box.yMax, FT_Pos((box.yMax + 63) >> 6));
    if (params.clip_box.xMin < params.clip_box.xMax && params.clip_box.yMin < params.clip_box.yMax)
        FT_Outline_Render(library, &outline, &params);
}

FT_Matrix TurnMatrix(double angle)
{
    const double cosine = std::cos(angle);
    const double sine = std::sin(angle);
    return {FT_Fixed(std::lround(cosine * 0x10000)), FT_Fixed(std::lround(-sine * 0x10000)),
            FT_Fixed(std::lround(sine * 0x10000)), FT_Fixed(std::lround(cosine * 0x10000))};
}

} // namespace

std::optional<FaceLocation> LocationOf(FcPattern* font)
{
    FcChar8* file = nullptr;
    FcBool scalable = FcFalse;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
        FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) != FcResultMatch || !scalable)
        return std::nullopt;
    FaceLocation location;
    location.file = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(font, FC_INDEX, 0, &location.index);
    FcChar8* family = nullptr;
    if (FcPatternGetString(font, FC_FAMILY, 0, &family) == FcResultMatch)
        location.family = reinterpret_cast<const char*>(family);
    return location;
}

FcConfig* EngineFontConfig()
{
    return LoadedFonts().config.get();
}

std::string FontAliasFile()
{
    return LoadedFonts().aliasFile;
}

FaceLocation FindFace(std::string_view faceName)
{
    FcConfig* config = EngineFontConfig();
    if (config == nullptr)
        return {};
    FcPatternPtr pattern(FcPatternCreate());
    const std::string name(faceName);
    if (!name.empty())
        FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());

    FcResult result;
    FcFontSetPtr fonts(FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
    if (!fonts)
        return {};
    std::optional<FaceLocation> firstUsable;
    for (int i = 0; i < fonts->nfont; ++i) {
        std::optional<FaceLocation> location = LocationOf(fonts->fonts[i]);
        if (!location)
            continue;
        if (HasJapaneseGlyphs(fonts->fonts[i]))
            return *location;
        if (!firstUsable)
            firstUsable = location;
    }
    return firstUsable.value_or(FaceLocation{});
}

struct FontEngine::Impl {
    FtLibraryPtr library;
    FT_Error libraryError = 0; // why there is no library
    std::map<std::string, OpenFace*, std::less<>> facesByName;
    std::map<std::pair<std::string, int>, OpenFace> facesByFile;
    TextDecoder decoder;
    std::u32string codePoints;

    // The font in use: its face at a size, and its turn.
    OpenFace* face = nullptr;
    FT_F26Dot6 emSize = 0; // 26.6 pixels
    double ascent = 0;     // pixels
    double cosine = 1;
    double sine = 0;
    FT_Matrix matrix{0x10000, 0, 0, 0x10000};
    double angle = 0; // radians, counter-clockwise
    bool bold = false;

    OpenFace* FaceNamed(std::string_view name);
    OpenFace* FaceAt(const FaceLocation& location);
    const ShapedUnit& Shaped(std::u32string_view unit, UnitOrientation orientation);
    void DrawShaped(const PixelSurface& surface, int x, int y, UnitOrientation orientation, TColor color);
};

OpenFace* FontEngine::Impl::FaceNamed(std::string_view name)
{
    if (auto known = facesByName.find(name); known != facesByName.end())
        return known->second;
    OpenFace* found = FaceAt(FindFace(name));
    facesByName.emplace(std::string(name), found);
    return found;
}

OpenFace* FontEngine::Impl::FaceAt(const FaceLocation& location)
{
    if (location.file.empty())
        return nullptr;
    auto key = std::make_pair(location.file, location.index);
    auto open = facesByFile.find(key);
    if (open == facesByFile.end()) {
        FT_Face face = nullptr;
        const FT_Error error =
            library ? FT_New_Face(library.get(), location.file.c_str(), location.index, &face) : libraryError;
        // Memory that cannot be had is said as such, not as a face that
        // cannot be opened.
        if (error == FT_Err_Out_Of_Memory || (error != 0 && CannotMapFile(location.file)))
            throw Error("ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources);
        if (error != 0)
            return nullptr;
        OpenFace entry;
        entry.face.reset(face);
        entry.cell = CellMetricsOf(face);
        const FT_BBox& box = face->bbox;
        const double farX = std::max(std::abs(double(box.xMin)), std::abs(double(box.xMax)));
        const double farY = std::max(std::abs(double(box.yMin)), std::abs(double(box.yMax)));
        entry.reach = std::hypot(farX, farY);
        entry.maxAdvance = std::max<double>(face->max_advance_width, face->units_per_EM);
        open = facesByFile.emplace(std::move(key), std::move(entry)).first;
    }
    return &open->second;
}

const ShapedUnit& FontEngine::Impl::Shaped(std::u32string_view unit, UnitOrientation orientation)
{
    if (!face->shaper)
        face->shaper = std::make_unique<Shaper>(face->face.get(), CellExtent{face->cell.ascent, face->cell.descent});
    auto& known = face->shaped[int(orientation)];
    auto found = known.find(unit);
    if (found == known.end())
        found = known.emplace(std::u32string(unit), face->shaper->Shape(unit, orientation)).first;
    return found->second;
}

// Draws the unit held in codePoints as shaped, in the selected font: every
// glyph at its own place in the cell, the cell turned about (x, y) by the
// escapement, a sideways unit's glyphs turned a further quarter clockwise,
// and a bold font's outlines thickened by a 24th of the em.
void FontEngine::Impl::DrawShaped(const PixelSurface& surface, int x, int y, UnitOrientation orientation,
                                  TColor color)
{
    FT_Face ftFace = face->face.get();
    const ShapedUnit& unit = Shaped(codePoints, orientation);
    const double pixelsPerUnit = emSize / 64.0 / ftFace->units_per_EM;
    const FT_Matrix turn = unit.sideways ? TurnMatrix(angle - std::numbers::pi / 2) : matrix;
    const FT_Pos strength = bold ? std::max<FT_Pos>(emSize / 24, 1) : 0;
    for (const ShapedGlyph& glyph : unit.glyphs) {
        const double across = glyph.x * pixelsPerUnit;
        const double down = glyph.y * pixelsPerUnit;
        const double penX = x + across * cosine + down * sine;
        const double penY = y - across * sine + down * cosine;
        const double originX = std::floor(penX);
        const double originY = std::floor(penY);
        if (std::abs(originX) > 1e9 || std::abs(originY) > 1e9)
            break;
        FT_Vector offset{FT_Pos(std::lround((penX - originX) * 64)), FT_Pos(-std::lround((penY - originY) * 64))};
        FT_Set_Transform(ftFace, const_cast<FT_Matrix*>(&turn), &offset);
        if (FT_Load_Glyph(ftFace, glyph.id, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
            ftFace->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
            continue;
        if (strength > 0)
            FT_Outline_Embolden(&ftFace->glyph->outline, strength);
        RenderOutline(library.get(), surface, ftFace->glyph->outline, originX, originY, color);
    }
    FT_Set_Transform(ftFace, nullptr, nullptr);
}

FontEngine::FontEngine() : impl_(std::make_unique<Impl>())
{
    FT_Library library = nullptr;
    impl_->libraryError = FT_Init_FreeType(&library);
    if (impl_->libraryError == 0)
        impl_->library.reset(library);
}

FontEngine::~FontEngine() = default;

void FontEngine::SelectFont(const LOGFONT& description, const FaceLocation* face)
{
    Impl& font = *impl_;
    font.face = face != nullptr ? font.FaceAt(*face) : font.FaceNamed(FaceNameOf(description));
    if (font.face == nullptr)
        throw Error("ﾌｫﾝﾄ '" +
                        (face != nullptr && !face->family.empty() ? face->family : std::string(FaceNameOf(description))) +
                        "' を開けません",
                    ErrorKind::Font);

    const CellMetrics& cell = font.face->cell;
    const double unitsPerEm = font.face->face->units_per_EM;
    double emPixels = 0;
    if (description.lfHeight > 0)
        emPixels = description.lfHeight * unitsPerEm / (cell.ascent + cell.descent);
    else if (description.lfHeight < 0)
        emPixels = -double(description.lfHeight);
    else
        emPixels = DefaultCellPixels * unitsPerEm / (cell.ascent + cell.descent);
    emPixels = std::min(emPixels, LargestEmPixels);
    font.emSize = std::max<FT_F26Dot6>(FT_F26Dot6(std::lround(emPixels * 64)), 1);
    font.ascent = cell.ascent * (font.emSize / 64.0) / unitsPerEm;

    const double angle = description.lfEscapement / 10.0 * std::numbers::pi / 180.0;
    font.angle = angle;
    font.bold = description.lfWeight > FW_NORMAL;
    font.cosine = std::cos(angle);
    font.sine = std::sin(angle);
    font.matrix.xx = FT_Fixed(std::lround(font.cosine * 0x10000));
    font.matrix.xy = FT_Fixed(std::lround(-font.sine * 0x10000));
    font.matrix.yx = FT_Fixed(std::lround(font.sine * 0x10000));
    font.matrix.yy = FT_Fixed(std::lround(font.cosine * 0x10000));
}

void FontEngine::DrawText(const PixelSurface& surface, int x, int y, std::string_view text,
                          TextEncoding encoding, TColor color, std::optional<TColor> cellFill,
                          bool cullOffSurface, bool vertical)
{
    Impl& font = *impl_;
    if (font.face == nullptr || surface.bits == nullptr || text.empty())
        return;
    FT_Face face = font.face->face.get();
    const double pixelsPerUnit = font.emSize / 64.0 / face->units_per_EM;

    if (cullOffSurface && !cellFill) {
        // No glyph can reach farther from (x, y) than the baseline's drop, an
        // advance per byte and the face's own extent.
        const double reach = font.ascent + 2 +
                             pixelsPerUnit * (font.face->reach + double(text.size()) * font.face->maxAdvance);
        if (x + reach < 0 || y + reach < 0 || x - reach >= surface.width || y - reach >= surface.height)
            return;
    }

    if (font.face->currentSize != font.emSize) {
        if (FT_Set_Char_Size(face, 0, font.emSize, 72, 72) != 0)
            return;
        font.face->currentSize = font.emSize;
    }

    font.decoder.Decode(text, encoding, font.codePoints);
    auto glyphIndex = [face](char32_t c) {
        return c == TextDecoder::Unconvertible ? 0 : FT_Get_Char_Index(face, c);
    };

    // The cell's top-left corner is (x, y); the baseline starts one ascent
    // below it, both turned about (x, y). Screen y grows downwards.
    const double cellHeight = (font.face->cell.ascent + font.face->cell.descent) * pixelsPerUnit;
    if (cellFill) {
        double width = 0;
        for (char32_t c : font.codePoints) {
            FT_Fixed advance = 0;
            if (FT_Get_Advance(face, glyphIndex(c), FT_LOAD_NO_HINTING, &advance) == 0)
                width += advance / 65536.0;
        }
        const PointF corners[] = {
            {double(x), double(y)},
            {x + width * font.cosine, y - width * font.sine},
            {x + width * font.cosine + cellHeight * font.sine, y - width * font.sine + cellHeight * font.cosine},
            {x + cellHeight * font.sine, y + cellHeight * font.cosine},
        };
        FillPolygon(surface, corners, *cellFill);
    }

    const bool severalCharacters =
        font.codePoints.size() > 1 && std::find(font.codePoints.begin(), font.codePoints.end(),
                                                TextDecoder::Unconvertible) == font.codePoints.end();
    if (vertical || font.bold || severalCharacters) {
        font.DrawShaped(surface, x, y,
                        vertical ? OrientationInColumn(font.codePoints) : UnitOrientation::Horizontal, color);
        return;
    }

    double penX = x + font.ascent * font.sine;
    double penY = y + font.ascent * font.cosine;
    for (char32_t c : font.codePoints) {
        const double originX = std::floor(penX);
        const double originY = std::floor(penY);
        // Keep the glyph's own coordinates small: the rasterizer's are 16-bit.
        if (std::abs(originX) > 1e9 || std::abs(originY) > 1e9)
            return;
        FT_Vector offset{FT_Pos(std::lround((penX - originX) * 64)),
                         FT_Pos(-std::lround((penY - originY) * 64))};
        FT_Set_Transform(face, &font.matrix, &offset);
        if (FT_Load_Glyph(face, glyphIndex(c), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
            continue;
        if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
            RenderOutline(font.library.get(), surface, face->glyph->outline, originX, originY, color);
        penX += face->glyph->advance.x / 64.0;
        penY -= face->glyph->advance.y / 64.0;
    }
    FT_Set_Transform(face, nullptr, nullptr);
}

} // namespace morvaleth
