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
#include <vector>

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
    FaceMeasures measures;
    FT_F26Dot6 currentSize = 0;
    // Units set in a column, lying on their side, or of several characters
    // go through HarfBuzz, once per unit and orientation.
    std::unique_ptr<Shaper> shaper;
    std::unordered_map<std::u32string, ShapedUnit, UnitHash, std::equal_to<>> shaped[3];
};

FaceMeasures MeasuresOf(FT_Face face)
{
    FaceMeasures measures;
    const CellMetrics cell = CellMetricsOf(face);
    measures.ascent = cell.ascent;
    measures.descent = cell.descent;
    const FT_BBox& box = face->bbox;
    const double farX = std::max(std::abs(double(box.xMin)), std::abs(double(box.xMax)));
    const double farY = std::max(std::abs(double(box.yMin)), std::abs(double(box.yMax)));
    measures.reach = std::hypot(farX, farY);
    measures.boxLeft = double(box.xMin);
    measures.boxBottom = double(box.yMin);
    measures.boxRight = double(box.xMax);
    measures.boxTop = double(box.yMax);
    measures.maxAdvance = std::max<double>(face->max_advance_width, face->units_per_EM);
    measures.unitsPerEm = face->units_per_EM;
    return measures;
}

std::optional<OpenFace> OpenFaceAt(FT_Library library, const FaceLocation& location)
{
    if (location.file.empty())
        return std::nullopt;
    // Memory that cannot be had is said as such, not as a face that cannot be
    // opened: FreeType itself only fails to start for want of memory.
    const Error outOfResources("ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources);
    if (library == nullptr)
        throw outOfResources;
    FT_Face face = nullptr;
    const FT_Error error = FT_New_Face(library, location.file.c_str(), location.index, &face);
    if (error == FT_Err_Out_Of_Memory || (error != 0 && CannotMapFile(location.file)))
        throw outOfResources;
    if (error != 0)
        return std::nullopt;
    OpenFace entry;
    entry.face.reset(face);
    entry.measures = MeasuresOf(face);
    return entry;
}

FtLibraryPtr NewLibrary()
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return nullptr;
    return FtLibraryPtr(library);
}

Error CannotOpenFace(std::string_view faceName)
{
    return Error("ﾌｫﾝﾄ '" + std::string(faceName) + "' を開けません");
}

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
    params.clip_box.yMax = std::clamp<FT_Pos>(FT_Pos(originY) - surface.top, -32000, 32000);
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

double FontScale::Reach(const FaceMeasures& face, std::size_t characters) const
{
    const double pixelsPerUnit = emSize / 64.0 / face.unitsPerEm;
    return ascent + 2 + pixelsPerUnit * (face.reach + double(characters) * face.maxAdvance);
}

void FontScale::TextRows(const FaceMeasures& face, int y, std::size_t characters, std::int64_t& top,
                         std::int64_t& bottom) const
{
    // A glyph's point (px, py) lands at screen row originY - (px sin + py cos)
    // pixels, and each advance moves the origin up by advance sin: the
    // extremes lie at the box's corners, with no advance or with all of them.
    const double pixelsPerUnit = emSize / 64.0 / face.unitsPerEm;
    const double firstOrigin = y + ascent * cosine;
    const double allAdvances = double(characters - 1) * face.maxAdvance * pixelsPerUnit * sine;
    double highest = firstOrigin;
    double lowest = firstOrigin;
    for (const double px : {face.boxLeft, face.boxRight})
        for (const double py : {face.boxBottom, face.boxTop})
            for (const double advanced : {0.0, allAdvances}) {
                const double row = firstOrigin - advanced - (px * sine + py * cosine) * pixelsPerUnit;
                highest = std::min(highest, row);
                lowest = std::max(lowest, row);
            }
    // The origin is floored, offsets and advances are rounded to 1/64 pixel,
    // and anti-aliasing touches the pixel a point falls in.
    const double margin = 3 + double(characters);
    top = std::int64_t(std::floor(highest - margin));
    bottom = std::int64_t(std::ceil(lowest + margin)) + 1;
}

FontScale ScaleFor(const FaceMeasures& face, int lfHeight, int escapement)
{
    FontScale scale;
    const double unitsPerEm = face.unitsPerEm;
    const double cell = face.ascent + face.descent;
    double emPixels = 0;
    if (lfHeight > 0)
        emPixels = lfHeight * unitsPerEm / cell;
    else if (lfHeight < 0)
        emPixels = -double(lfHeight);
    else
        emPixels = DefaultCellPixels * unitsPerEm / cell;
    emPixels = std::min(emPixels, LargestEmPixels);
    scale.emSize = std::max<FT_F26Dot6>(FT_F26Dot6(std::lround(emPixels * 64)), 1);
    scale.ascent = face.ascent * (scale.emSize / 64.0) / unitsPerEm;

    const double angle = escapement / 10.0 * std::numbers::pi / 180.0;
    scale.cosine = std::cos(angle);
    scale.sine = std::sin(angle);
    scale.matrix[0] = FT_Fixed(std::lround(scale.cosine * 0x10000));
    scale.matrix[1] = FT_Fixed(std::lround(-scale.sine * 0x10000));
    scale.matrix[2] = FT_Fixed(std::lround(scale.sine * 0x10000));
    scale.matrix[3] = FT_Fixed(std::lround(scale.cosine * 0x10000));
    return scale;
}

struct FaceTable::Impl {
    struct Entry {
        std::string name;
        FaceLocation location;
        FaceMeasures measures;
    };
    std::vector<Entry> entries;
};

FaceTable::FaceTable() : impl_(std::make_unique<Impl>()) {}

FaceTable::~FaceTable() = default;

FaceId FaceTable::Resolve(std::string_view faceName)
{
    for (std::size_t i = 0; i < impl_->entries.size(); ++i)
        if (impl_->entries[i].name == faceName)
            return FaceId(i);
    FaceLocation location = FindFace(faceName);
    const FtLibraryPtr library = NewLibrary();
    const std::optional<OpenFace> face = OpenFaceAt(library.get(), location);
    if (!face)
        throw CannotOpenFace(faceName);
    impl_->entries.push_back({std::string(faceName), std::move(location), face->measures});
    return FaceId(impl_->entries.size() - 1);
}

FaceId FaceTable::Add(const FaceLocation& location)
{
    for (std::size_t i = 0; i < impl_->entries.size(); ++i)
        if (impl_->entries[i].location.file == location.file && impl_->entries[i].location.index == location.index)
            return FaceId(i);
    const FtLibraryPtr library = NewLibrary();
    const std::optional<OpenFace> face = OpenFaceAt(library.get(), location);
    if (!face)
        throw CannotOpenFace(location.family);
    impl_->entries.push_back({location.family, location, face->measures});
    return FaceId(impl_->entries.size() - 1);
}

const FaceLocation& FaceTable::Location(FaceId face) const
{
    return impl_->entries.at(face).location;
}

const FaceMeasures& FaceTable::Measures(FaceId face) const
{
    return impl_->entries.at(face).measures;
}

std::string_view FaceTable::Name(FaceId face) const
{
    return impl_->entries.at(face).name;
}

struct FontEngine::Impl {
    FtLibraryPtr library;
    std::map<std::string, OpenFace*, std::less<>> facesByName;
    std::map<std::pair<std::string, int>, OpenFace> facesByFile;
    // A run's faces by their number, opened on first use.
    std::vector<OpenFace*> facesById;
    TextDecoder decoder;
    std::u32string codePoints;

    // The font in use: its face at a size, and its turn.
    OpenFace* face = nullptr;
    FontScale scale;
    bool bold = false; // of the last description selected

    OpenFace* FaceAt(const FaceLocation& location);
    OpenFace* FaceNamed(std::string_view name);
    const ShapedUnit& Shaped(std::u32string_view unit, UnitOrientation orientation);
};

const ShapedUnit& FontEngine::Impl::Shaped(std::u32string_view unit, UnitOrientation orientation)
{
    if (!face->shaper)
        face->shaper = std::make_unique<Shaper>(face->face.get(), CellExtent{face->measures.ascent, face->measures.descent});
    auto& known = face->shaped[int(orientation)];
    auto found = known.find(unit);
    if (found == known.end())
        found = known.emplace(std::u32string(unit), face->shaper->Shape(unit, orientation)).first;
    return found->second;
}

OpenFace* FontEngine::Impl::FaceAt(const FaceLocation& location)
{
    if (location.file.empty())
        return nullptr;
    auto key = std::make_pair(location.file, location.index);
    auto open = facesByFile.find(key);
    if (open == facesByFile.end()) {
        std::optional<OpenFace> opened = OpenFaceAt(library.get(), location);
        if (!opened)
            return nullptr;
        open = facesByFile.emplace(std::move(key), std::move(*opened)).first;
    }
    return &open->second;
}

OpenFace* FontEngine::Impl::FaceNamed(std::string_view name)
{
    if (auto known = facesByName.find(name); known != facesByName.end())
        return known->second;

    OpenFace* found = FaceAt(FindFace(name));
    facesByName.emplace(std::string(name), found);
    return found;
}

FontEngine::FontEngine() : impl_(std::make_unique<Impl>())
{
    impl_->library = NewLibrary();
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
    font.bold = description.lfWeight > FW_NORMAL;

    font.scale = ScaleFor(font.face->measures, description.lfHeight, description.lfEscapement);
}

void FontEngine::SelectFace(const FaceTable& faces, FaceId face, const FontScale& scale)
{
    Impl& font = *impl_;
    if (face >= font.facesById.size())
        font.facesById.resize(std::size_t(face) + 1, nullptr);
    OpenFace*& open = font.facesById[face];
    if (open == nullptr) {
        open = font.FaceAt(faces.Location(face));
        if (open == nullptr)
            throw CannotOpenFace(faces.Name(face));
    }
    font.face = open;
    font.scale = scale;
}

void FontEngine::DrawText(const PixelSurface& surface, int x, int y, std::string_view text,
                          TextEncoding encoding, TColor color, std::optional<TColor> cellFill,
                          bool cullOffSurface, bool vertical)
{
    Impl& font = *impl_;
    if (font.face == nullptr || surface.bits == nullptr || text.empty())
        return;
    font.decoder.Decode(text, encoding, font.codePoints);
    if (!cellFill && NeedsShaping(font.codePoints, vertical, font.bold)) {
        DrawShaped(surface, x, y, font.codePoints, color, vertical, font.bold);
        return;
    }
    DrawCodePoints(surface, x, y, font.codePoints, color, cellFill, cullOffSurface);
}

void FontEngine::DrawCodePoints(const PixelSurface& surface, int x, int y, std::u32string_view codePoints,
                                TColor color, std::optional<TColor> cellFill, bool cullOffSurface)
{
    Impl& font = *impl_;
    if (font.face == nullptr || surface.bits == nullptr || codePoints.empty())
        return;
    FT_Face face = font.face->face.get();
    const FontScale& scale = font.scale;
    const double pixelsPerUnit = scale.emSize / 64.0 / face->units_per_EM;

    if (cullOffSurface && !cellFill) {
        // No glyph can reach farther from (x, y) than the baseline's drop, an
        // advance per character and the face's own extent.
        const double reach = scale.Reach(font.face->measures, codePoints.size());
        if (x + reach < 0 || y + reach < surface.top || x - reach >= surface.width || y - reach >= surface.height)
            return;
    }

    if (font.face->currentSize != scale.emSize) {
        if (FT_Set_Char_Size(face, 0, scale.emSize, 72, 72) != 0)
            return;
        font.face->currentSize = scale.emSize;
    }
    FT_Matrix matrix{scale.matrix[0], scale.matrix[1], scale.matrix[2], scale.matrix[3]};

    auto glyphIndex = [face](char32_t c) {
        return c == TextDecoder::Unconvertible ? 0 : FT_Get_Char_Index(face, c);
    };

    // The cell's top-left corner is (x, y); the baseline starts one ascent
    // below it, both turned about (x, y). Screen y grows downwards.
    const double cellHeight = (font.face->measures.ascent + font.face->measures.descent) * pixelsPerUnit;
    if (cellFill) {
        double width = 0;
        for (char32_t c : codePoints) {
            FT_Fixed advance = 0;
            if (FT_Get_Advance(face, glyphIndex(c), FT_LOAD_NO_HINTING, &advance) == 0)
                width += advance / 65536.0;
        }
        const PointF corners[] = {
            {double(x), double(y)},
            {x + width * scale.cosine, y - width * scale.sine},
            {x + width * scale.cosine + cellHeight * scale.sine, y - width * scale.sine + cellHeight * scale.cosine},
            {x + cellHeight * scale.sine, y + cellHeight * scale.cosine},
        };
        FillPolygon(surface, corners, *cellFill);
    }

    double penX = x + scale.ascent * scale.sine;
    double penY = y + scale.ascent * scale.cosine;
    for (char32_t c : codePoints) {
        const double originX = std::floor(penX);
        const double originY = std::floor(penY);
        // Keep the glyph's own coordinates small: the rasterizer's are 16-bit.
        if (std::abs(originX) > 1e9 || std::abs(originY) > 1e9)
            return;
        FT_Vector offset{FT_Pos(std::lround((penX - originX) * 64)),
                         FT_Pos(-std::lround((penY - originY) * 64))};
        FT_Set_Transform(face, &matrix, &offset);
        if (FT_Load_Glyph(face, glyphIndex(c), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
            continue;
        if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
            RenderOutline(font.library.get(), surface, face->glyph->outline, originX, originY, color);
        penX += face->glyph->advance.x / 64.0;
        penY -= face->glyph->advance.y / 64.0;
    }
    FT_Set_Transform(face, nullptr, nullptr);
}

// Every glyph at its own place in the cell, the cell turned about (x, y) by
// the escapement, a sideways unit's glyphs turned a further quarter clockwise.
void FontEngine::DrawShaped(const PixelSurface& surface, int x, int y, std::u32string_view codePoints, TColor color,
                            bool vertical, bool bold)
{
    Impl& font = *impl_;
    if (font.face == nullptr || surface.bits == nullptr || codePoints.empty())
        return;
    FT_Face ftFace = font.face->face.get();
    const FontScale& scale = font.scale;
    // Thickening moves each outline point by up to half the strength.
    const FT_Pos strength = bold ? std::max<FT_Pos>(scale.emSize / 24, 1) : 0;
    const double reach = scale.Reach(font.face->measures, codePoints.size()) + scale.ascent + strength / 64.0;
    if (x + reach < 0 || y + reach < surface.top || x - reach >= surface.width || y - reach >= surface.height)
        return;
    if (font.face->currentSize != scale.emSize) {
        if (FT_Set_Char_Size(ftFace, 0, scale.emSize, 72, 72) != 0)
            return;
        font.face->currentSize = scale.emSize;
    }
    const ShapedUnit& unit =
        font.Shaped(codePoints, vertical ? OrientationInColumn(codePoints) : UnitOrientation::Horizontal);
    const double pixelsPerUnit = scale.emSize / 64.0 / ftFace->units_per_EM;
    const FT_Matrix turn = unit.sideways
                               ? TurnMatrix(std::atan2(scale.sine, scale.cosine) - std::numbers::pi / 2)
                               : FT_Matrix{scale.matrix[0], scale.matrix[1], scale.matrix[2], scale.matrix[3]};
    for (const ShapedGlyph& glyph : unit.glyphs) {
        const double across = glyph.x * pixelsPerUnit;
        const double down = glyph.y * pixelsPerUnit;
        const double penX = x + across * scale.cosine + down * scale.sine;
        const double penY = y - across * scale.sine + down * scale.cosine;
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
        RenderOutline(font.library.get(), surface, ftFace->glyph->outline, originX, originY, color);
    }
    FT_Set_Transform(ftFace, nullptr, nullptr);
}

} // namespace morvaleth
