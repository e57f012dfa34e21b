#include "composer/FontEngine.h"

#include "composer/Error.h"
#include "composer/Owned.h"
#include "composer/Shaping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include FT_FONT_FORMATS_H

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <numbers>
#include <shared_mutex>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace morvaleth {
namespace {

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

struct UnitHash {
    using is_transparent = void;
    std::size_t operator()(std::u32string_view unit) const { return std::hash<std::u32string_view>{}(unit); }
};

struct OpenFace {
    FtFacePtr face;
    FaceMeasures measures;
    FT_F26Dot6 currentSize = 0;
    std::optional<OutlineCache> outlines; // made on the first glyph drawn
    // Units set in a column or in bold go through HarfBuzz, once per unit
    // and orientation.
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

// Blends an outline whose origin is the pixel (originX, originY).
void RenderOutline(FT_Library library, const PixelSurface& surface, FT_Outline& outline, double originX,
                   double originY, TColor color)
{
    SpanTarget target{&surface, int(originX), int(originY), color};
    FT_Raster_Params params{};
    params.source = &outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = BlendSpans;
    params.user = &target;
    // The surface in the glyph's pixel coordinates (x right, y up from the
    // origin), kept within what a span can address, and cut down to the
    // pixels the outline's control box touches: the rasterizer sweeps its
    // whole clip box band by band, and nothing outside that box has any
    // coverage.
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

// Whether nothing drawn within `reach` pixels of (x, y) can touch the surface.
bool BeyondReach(const PixelSurface& surface, int x, int y, double reach)
{
    return x + reach < 0 || y + reach < surface.top || x - reach >= surface.width || y - reach >= surface.height;
}

FT_Matrix TurnMatrix(double angle)
{
    const double cosine = std::cos(angle);
    const double sine = std::sin(angle);
    return {FT_Fixed(std::lround(cosine * 0x10000)), FT_Fixed(std::lround(-sine * 0x10000)),
            FT_Fixed(std::lround(sine * 0x10000)), FT_Fixed(std::lround(cosine * 0x10000))};
}

} // namespace

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
    // The faces of a chain by their place in it, resolved when a unit first
    // needs them.
    struct Chain {
        std::string name;
        FaceChain chain;
        std::vector<std::optional<FaceId>> ids;
        // The face a chain of a face already found starts with.
        std::optional<FaceLocation> exactFace;
    };
    // Render threads look faces up while the plan adds more: the entries
    // stay where they are, and the list of them changes under the lock.
    std::deque<Entry> entries;
    mutable std::shared_mutex entriesLock;
    std::vector<Chain> chains;
    FtLibraryPtr library;

    std::optional<FaceId> FaceAt(const std::string& name, const FaceLocation& location);
    FaceChainId AddChain(std::string name, FaceChain chain, std::optional<FaceLocation> exactFace);
};

// Each face is measured once per run, whichever chains lead to it.
std::optional<FaceId> FaceTable::Impl::FaceAt(const std::string& name, const FaceLocation& location)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].location.file == location.file && entries[i].location.index == location.index)
            return FaceId(i);
    if (!library)
        library = NewLibrary();
    const std::optional<OpenFace> face = OpenFaceAt(library.get(), location);
    if (!face)
        return std::nullopt;
    std::lock_guard lock(entriesLock);
    entries.push_back({name, location, face->measures});
    return FaceId(entries.size() - 1);
}

FaceTable::FaceTable() : impl_(std::make_unique<Impl>()) {}

FaceTable::~FaceTable() = default;

FaceChainId FaceTable::Impl::AddChain(std::string name, FaceChain chain, std::optional<FaceLocation> exactFace)
{
    if (chain.Faces().empty())
        throw CannotOpenFace(name);
    const std::size_t faces = chain.Faces().size();
    chains.push_back({std::move(name), std::move(chain), {}, std::move(exactFace)});
    chains.back().ids.resize(faces);
    return FaceChainId(chains.size() - 1);
}

FaceChainId FaceTable::ChainFor(std::string_view faceName)
{
    for (std::size_t i = 0; i < impl_->chains.size(); ++i)
        if (!impl_->chains[i].exactFace && impl_->chains[i].name == faceName)
            return FaceChainId(i);
    const FaceChainId id = impl_->AddChain(std::string(faceName), FaceChain(faceName), std::nullopt);
    // The chosen face itself must open; a fallback face that does not is
    // passed over.
    FaceFor(id, {});
    return id;
}

FaceChainId FaceTable::ChainFor(const FaceLocation& face)
{
    for (std::size_t i = 0; i < impl_->chains.size(); ++i) {
        const std::optional<FaceLocation>& known = impl_->chains[i].exactFace;
        if (known && known->file == face.file && known->index == face.index)
            return FaceChainId(i);
    }
    const FaceChainId id = impl_->AddChain(face.family, FaceChain(face), face);
    FaceFor(id, {});
    return id;
}

FaceId FaceTable::FaceFor(FaceChainId chainId, std::u32string_view unit)
{
    Impl::Chain& chain = impl_->chains.at(chainId);
    const std::size_t index = unit.empty() ? 0 : chain.chain.FaceFor(unit);
    std::optional<FaceId>& id = chain.ids.at(index);
    if (!id) {
        id = impl_->FaceAt(chain.name, chain.chain.Faces()[index]);
        if (!id && index == 0)
            throw CannotOpenFace(chain.name);
        if (!id)
            id = FaceFor(chainId, {});
    }
    return *id;
}

FaceId FaceTable::Resolve(std::string_view faceName)
{
    return FaceFor(ChainFor(faceName), {});
}

const FaceLocation& FaceTable::Location(FaceId face) const
{
    std::shared_lock lock(impl_->entriesLock);
    return impl_->entries.at(face).location;
}

const FaceMeasures& FaceTable::Measures(FaceId face) const
{
    std::shared_lock lock(impl_->entriesLock);
    return impl_->entries.at(face).measures;
}

std::string_view FaceTable::Name(FaceId face) const
{
    std::shared_lock lock(impl_->entriesLock);
    return impl_->entries.at(face).name;
}

struct FontEngine::Impl {
    // The chain of faces for one face name, each opened when a unit first
    // needs it.
    struct Choice {
        explicit Choice(FaceChain faces) : chain(std::move(faces)), opened(chain.Faces().size()) {}

        FaceChain chain;
        std::vector<std::optional<OpenFace*>> opened;
    };

    FtLibraryPtr library;
    std::map<std::string, Choice, std::less<>> choicesByName;
    std::map<std::pair<std::string, int>, Choice> choicesByFace;
    std::map<std::pair<std::string, int>, OpenFace> facesByFile;
    // A run's faces by their number, opened on first use.
    std::vector<OpenFace*> facesById;
    GlyphLoading loading = GlyphLoading::Cached;

    // The font in use: its chain, the face drawing now at a size, and its turn.
    Choice* choice = nullptr;
    LOGFONT description;
    OpenFace* face = nullptr;
    FontScale scale;
    bool bold = false; // of the last description selected

    OpenFace* FaceAt(const FaceLocation& location);
    Choice& ChoiceNamed(std::string_view name);
    Choice& ChoiceOf(const FaceLocation& location);
    const ShapedUnit& Shaped(std::u32string_view unit, UnitOrientation orientation);
    bool SizeFace();
    bool LoadGlyph(FT_UInt glyph, const FT_Matrix& matrix, const FT_Vector& offset, FT_Outline& cached,
                   FT_Outline*& outline, FT_Vector& advance);
    OpenFace* FaceOf(Choice& chosen, std::size_t index);
    void UseFace(OpenFace* drawing);
};

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

FontEngine::Impl::Choice& FontEngine::Impl::ChoiceNamed(std::string_view name)
{
    if (auto known = choicesByName.find(name); known != choicesByName.end())
        return known->second;
    return choicesByName.emplace(std::string(name), Choice(FaceChain(name))).first->second;
}

FontEngine::Impl::Choice& FontEngine::Impl::ChoiceOf(const FaceLocation& location)
{
    auto key = std::make_pair(location.file, location.index);
    if (auto known = choicesByFace.find(key); known != choicesByFace.end())
        return known->second;
    return choicesByFace.emplace(std::move(key), Choice(FaceChain(location))).first->second;
}

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

// Sets the face in use to the scale's em size, unless it is at it already.
bool FontEngine::Impl::SizeFace()
{
    if (face->currentSize != scale.emSize) {
        if (FT_Set_Char_Size(face->face.get(), 0, scale.emSize, 72, 72) != 0)
            return false;
        face->currentSize = scale.emSize;
    }
    return true;
}

// Loads a glyph of the face in use, at its current size, turned by `matrix`
// and moved by `offset`: from the outline cache where it can, else through
// FreeType. False when FreeType fails to load it; `outline` stays null for a
// glyph that is no outline.
bool FontEngine::Impl::LoadGlyph(FT_UInt glyph, const FT_Matrix& matrix, const FT_Vector& offset,
                                 FT_Outline& cached, FT_Outline*& outline, FT_Vector& advance)
{
    FT_Face loaded = face->face.get();
    if (loading == GlyphLoading::Cached) {
        if (!face->outlines)
            face->outlines.emplace(loaded);
        if (face->outlines->Load(loaded, glyph, matrix, offset, cached, advance)) {
            outline = &cached;
            return true;
        }
    }
    FT_Set_Transform(loaded, const_cast<FT_Matrix*>(&matrix), const_cast<FT_Vector*>(&offset));
    const FT_Error error = FT_Load_Glyph(loaded, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
    FT_Set_Transform(loaded, nullptr, nullptr);
    if (error != 0)
        return false;
    advance = loaded->glyph->advance;
    if (loaded->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
        outline = &loaded->glyph->outline;
    return true;
}

OpenFace* FontEngine::Impl::FaceOf(Choice& chosen, std::size_t index)
{
    if (index >= chosen.opened.size())
        return nullptr;
    if (!chosen.opened[index])
        chosen.opened[index] = FaceAt(chosen.chain.Faces()[index]);
    return *chosen.opened[index];
}

// The cell height is the description's in every face, so a fallback face is
// scaled by its own metrics.
void FontEngine::Impl::UseFace(OpenFace* drawing)
{
    face = drawing;
    scale = ScaleFor(face->measures, description.lfHeight, description.lfEscapement);
}

FontEngine::FontEngine(GlyphLoading loading) : impl_(std::make_unique<Impl>())
{
    impl_->loading = loading;
    impl_->library = NewLibrary();
}

FontEngine::~FontEngine() = default;

void FontEngine::SelectFont(const LOGFONT& description, const FaceLocation* face)
{
    Impl& font = *impl_;
    font.choice = face != nullptr ? &font.ChoiceOf(*face) : &font.ChoiceNamed(FaceNameOf(description));
    OpenFace* chosenFace = font.FaceOf(*font.choice, 0);
    if (chosenFace == nullptr) {
        font.face = nullptr;
        const std::string name =
            face != nullptr && !face->family.empty() ? face->family : std::string(FaceNameOf(description));
        throw Error("ﾌｫﾝﾄ '" + name + "' を開けません", ErrorKind::Font);
    }
    font.bold = description.lfWeight > FW_NORMAL;
    font.description = description;
    font.UseFace(chosenFace);
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
    // A face of the table is drawn as it is, not through a chain.
    font.choice = nullptr;
    font.face = open;
    font.scale = scale;
}

void FontEngine::DrawText(const PixelSurface& surface, int x, int y, std::u32string_view text, TColor color,
                          std::optional<TColor> cellFill, bool cullOffSurface, bool vertical)
{
    Impl& font = *impl_;
    if (font.face == nullptr || surface.bits == nullptr || text.empty())
        return;
    if (font.choice != nullptr) {
        // The chosen face draws what it has; a unit it lacks is drawn whole
        // by the first face of its chain that has it.
        OpenFace* drawing = font.FaceOf(*font.choice, font.choice->chain.FaceFor(text));
        if (drawing == nullptr)
            drawing = font.FaceOf(*font.choice, 0);
        if (drawing != font.face)
            font.UseFace(drawing);
    }
    if (!cellFill && NeedsShaping(vertical, font.bold)) {
        DrawShaped(surface, x, y, text, color, vertical, font.bold);
        return;
    }
    DrawCodePoints(surface, x, y, text, color, cellFill, cullOffSurface);
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
        if (BeyondReach(surface, x, y, scale.Reach(font.face->measures, codePoints.size())))
            return;
    }
    if (!font.SizeFace())
        return;
    FT_Matrix matrix{scale.matrix[0], scale.matrix[1], scale.matrix[2], scale.matrix[3]};

    auto glyphIndex = [face](char32_t c) {
        return c == U'\uFFFD' ? FT_UInt(0) : FT_Get_Char_Index(face, c);
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

    FT_Vector advance{};

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
        FT_Outline cached{};
        FT_Outline* outline = nullptr;
        if (!font.LoadGlyph(glyphIndex(c), matrix, offset, cached, outline, advance))
            continue;
        if (outline != nullptr)
            RenderOutline(font.library.get(), surface, *outline, originX, originY, color);
        penX += advance.x / 64.0;
        penY -= advance.y / 64.0;
    }
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
    if (BeyondReach(surface, x, y, scale.Reach(font.face->measures, codePoints.size()) + scale.ascent + strength / 64.0) ||
        !font.SizeFace())
        return;
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
        FT_Outline cached{};
        FT_Outline* outline = nullptr;
        FT_Vector advance{};
        if (!font.LoadGlyph(glyph.id, turn, offset, cached, outline, advance) || outline == nullptr)
            continue;
        if (strength > 0)
            FT_Outline_Embolden(outline, strength);
        RenderOutline(font.library.get(), surface, *outline, originX, originY, color);
    }
}

} // namespace morvaleth
