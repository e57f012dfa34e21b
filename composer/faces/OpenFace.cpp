#include "composer/faces/OpenFace.h"

#include "composer/Messages.h"
#include "composer/faces/OutlineCache_p.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include FT_BITMAP_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace morvaleth {
namespace {


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

// The face's units per em; FreeType gives none for a face of bitmaps, whose
// header has them all the same.
int UnitsPerEm(FT_Face face)
{
    if (face->units_per_EM > 0)
        return face->units_per_EM;
    const auto* header = static_cast<const TT_Header*>(FT_Get_Sfnt_Table(face, FT_SFNT_HEAD));
    return header != nullptr && header->Units_Per_EM > 0 ? header->Units_Per_EM : 1000;
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
    return {UnitsPerEm(face) * 0.88, UnitsPerEm(face) * 0.12};
}

// A face whose glyphs are all bitmaps: colour emoji faces are made so.
bool HasOnlyBitmaps(FT_Face face)
{
    return !FT_IS_SCALABLE(face) && FT_HAS_FIXED_SIZES(face);
}

// Selects the largest of a bitmap face's sizes; its pixels per em, 0 when
// FreeType refuses it.
double SelectLargestSize(FT_Face face)
{
    int largest = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i)
        if (face->available_sizes[i].y_ppem > face->available_sizes[largest].y_ppem)
            largest = i;
    if (face->num_fixed_sizes == 0 || FT_Select_Size(face, largest) != 0)
        return 0;
    return face->available_sizes[largest].y_ppem / 64.0;
}

// A bitmap face keeps no glyph box of its own: its pictures reach as far as
// its largest size's line metrics say, or its cell.
void MeasureBitmaps(FT_Face face, FaceMeasures& measures)
{
    const double pixelsPerEm = SelectLargestSize(face);
    if (pixelsPerEm <= 0)
        return;
    const double units = measures.unitsPerEm / pixelsPerEm / 64.0;
    const FT_Size_Metrics& metrics = face->size->metrics;
    // A pixel of the picture either side, for the rounding of its placement.
    const double pixel = measures.unitsPerEm / pixelsPerEm;
    measures.boxLeft = -pixel;
    measures.boxBottom = std::min(-measures.descent, metrics.descender * units) - pixel;
    measures.boxRight = std::max(measures.maxAdvance, metrics.max_advance * units) + pixel;
    measures.boxTop = std::max(measures.ascent, metrics.ascender * units) + pixel;
    measures.maxAdvance = std::max(measures.maxAdvance, metrics.max_advance * units);
    measures.reach = std::hypot(std::max(-measures.boxLeft, measures.boxRight),
                                std::max(-measures.boxBottom, measures.boxTop));
}

// The grey of a picture's pixels as a grey picture shows them, from the
// colour FreeType gives (blue, green, red and coverage, premultiplied), or
// from grey coverage alone (black where it covers).
GlyphImage::Level GreyLevel(const FT_Bitmap& bitmap)
{
    GlyphImage::Level level;
    level.width = int(bitmap.width);
    level.height = int(bitmap.rows);
    level.pixels.resize(std::size_t(level.width) * std::size_t(level.height) * 2);
    std::uint8_t* out = level.pixels.data();
    for (int row = 0; row < level.height; ++row) {
        const unsigned char* in = bitmap.buffer + std::ptrdiff_t(row) * bitmap.pitch;
        for (int column = 0; column < level.width; ++column, out += 2) {
            if (bitmap.pixel_mode == FT_PIXEL_MODE_BGRA) {
                const unsigned char* pixel = in + column * 4;
                out[0] = std::uint8_t((29u * pixel[0] + 150u * pixel[1] + 77u * pixel[2] + 128u) >> 8);
                out[1] = pixel[3];
            } else {
                out[0] = 0;
                out[1] = in[column];
            }
        }
    }
    return level;
}

// Half the size, each pixel the mean of the (up to) four it stands for.
GlyphImage::Level Halved(const GlyphImage::Level& from)
{
    GlyphImage::Level level;
    level.width = std::max(1, (from.width + 1) / 2);
    level.height = std::max(1, (from.height + 1) / 2);
    level.pixels.resize(std::size_t(level.width) * std::size_t(level.height) * 2);
    for (int row = 0; row < level.height; ++row)
        for (int column = 0; column < level.width; ++column)
            for (int channel = 0; channel < 2; ++channel) {
                unsigned sum = 0;
                unsigned count = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const int y = row * 2 + dy;
                        const int x = column * 2 + dx;
                        if (y < from.height && x < from.width) {
                            sum += from.pixels[(std::size_t(y) * std::size_t(from.width) + std::size_t(x)) * 2 +
                                               std::size_t(channel)];
                            ++count;
                        }
                    }
                level.pixels[(std::size_t(row) * std::size_t(level.width) + std::size_t(column)) * 2 +
                             std::size_t(channel)] = std::uint8_t((sum + count / 2) / count);
            }
    return level;
}

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
    measures.unitsPerEm = UnitsPerEm(face);
    measures.maxAdvance = std::max<double>(face->max_advance_width, measures.unitsPerEm);
    if (HasOnlyBitmaps(face))
        MeasureBitmaps(face, measures);
    return measures;
}

} // namespace

OpenFace::OpenFace(FtFacePtr face, GlyphLoading loading)
    : face_(std::move(face)), measures_(MeasuresOf(face_.get())), loading_(loading),
      drawsImages_(HasOnlyBitmaps(face_.get()))
{
}

OpenFace::OpenFace(OpenFace&&) noexcept = default;
OpenFace& OpenFace::operator=(OpenFace&&) noexcept = default;
OpenFace::~OpenFace() = default;

bool OpenFace::SizeTo(long emSize)
{
    if (drawsImages_)
        return true;
    if (currentSize_ != emSize) {
        if (FT_Set_Char_Size(face_.get(), 0, emSize, 72, 72) != 0)
            return false;
        currentSize_ = emSize;
    }
    return true;
}

std::uint32_t OpenFace::GlyphOf(char32_t codePoint) const
{
    return codePoint == U'\uFFFD' ? 0 : FT_Get_Char_Index(face_.get(), codePoint);
}

bool OpenFace::LoadGlyph(std::uint32_t glyph, const FT_Matrix& turn, const FT_Vector& offset, FT_Outline& cached,
                         FT_Outline*& outline, FT_Vector& advance)
{
    FT_Face loaded = face_.get();
    if (loading_ == GlyphLoading::Cached) {
        if (!outlines_)
            outlines_ = std::make_unique<OutlineCache>(loaded);
        if (outlines_->Load(loaded, glyph, turn, offset, cached, advance)) {
            outline = &cached;
            return true;
        }
    }
    FT_Set_Transform(loaded, const_cast<FT_Matrix*>(&turn), const_cast<FT_Vector*>(&offset));
    const FT_Error error = FT_Load_Glyph(loaded, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
    FT_Set_Transform(loaded, nullptr, nullptr);
    if (error != 0)
        return false;
    advance = loaded->glyph->advance;
    if (loaded->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
        outline = &loaded->glyph->outline;
    return true;
}

const GlyphImage* OpenFace::Image(std::uint32_t glyph)
{
    // Enough for the emoji of a long text; a few megabytes at most.
    constexpr std::size_t KeptImages = 64;
    if (const auto known = images_.find(glyph); known != images_.end())
        return known->second.levels.empty() ? nullptr : &known->second;
    if (images_.size() >= KeptImages)
        images_.clear();
    GlyphImage& image = images_[glyph];
    FT_Face loaded = face_.get();
    const double pixelsPerEm = SelectLargestSize(loaded);
    if (pixelsPerEm <= 0 || FT_Load_Glyph(loaded, glyph, FT_LOAD_COLOR) != 0 ||
        loaded->glyph->format != FT_GLYPH_FORMAT_BITMAP || loaded->glyph->bitmap.width == 0 ||
        loaded->glyph->bitmap.rows == 0)
        return nullptr;
    const FT_Bitmap& bitmap = loaded->glyph->bitmap;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_BGRA || bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        image.levels.push_back(GreyLevel(bitmap));
    } else {
        // Bilevel and two- or four-bit grey bitmaps, widened to a byte a pixel.
        FT_Bitmap converted;
        FT_Bitmap_Init(&converted);
        const bool widened = FT_Bitmap_Convert(loaded->glyph->library, &bitmap, &converted, 1) == 0;
        if (widened) {
            const int greys = converted.num_grays > 1 ? converted.num_grays - 1 : 1;
            for (unsigned i = 0; i < converted.rows * unsigned(std::abs(converted.pitch)); ++i)
                converted.buffer[i] = std::uint8_t(std::min(255, converted.buffer[i] * 255 / greys));
            image.levels.push_back(GreyLevel(converted));
        }
        FT_Bitmap_Done(loaded->glyph->library, &converted);
        if (!widened)
            return nullptr;
    }
    while (image.levels.back().width > 1 || image.levels.back().height > 1)
        image.levels.push_back(Halved(image.levels.back()));
    image.left = loaded->glyph->bitmap_left;
    image.top = loaded->glyph->bitmap_top;
    image.advance = loaded->glyph->advance.x / 64.0;
    image.pixelsPerEm = pixelsPerEm;
    return &image;
}

const ShapedUnit& OpenFace::Shaped(std::u32string_view unit, UnitOrientation orientation)
{
    if (!shaper_)
        shaper_ = std::make_unique<Shaper>(face_.get(), CellExtent{measures_.ascent, measures_.descent});
    auto& known = shaped_[int(orientation)];
    auto found = known.find(unit);
    if (found == known.end())
        found = known.emplace(std::u32string(unit), shaper_->Shape(unit, orientation)).first;
    return found->second;
}

FtLibraryPtr NewLibrary()
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return nullptr;
    return FtLibraryPtr(library);
}

std::optional<OpenFace> OpenFaceAt(FT_Library library, const FaceLocation& location, GlyphLoading loading)
{
    if (location.file.empty())
        return std::nullopt;
    // Memory that cannot be had is said as such, not as a face that cannot be
    // opened: FreeType itself only fails to start for want of memory.
    if (library == nullptr)
        throw Failure(Message::OutOfResources);
    FT_Face face = nullptr;
    const FT_Error error = FT_New_Face(library, location.file.c_str(), location.index, &face);
    if (error == FT_Err_Out_Of_Memory || (error != 0 && CannotMapFile(location.file)))
        throw Failure(Message::OutOfResources);
    if (error != 0)
        return std::nullopt;
    return OpenFace(FtFacePtr(face), loading);
}

FaceHandles::FaceHandles(GlyphLoading loading) : library_(NewLibrary()), loading_(loading) {}

FaceHandles::~FaceHandles() = default;

OpenFace* FaceHandles::Open(const FaceLocation& location)
{
    if (location.file.empty())
        return nullptr;
    auto key = std::make_pair(location.file, location.index);
    auto open = facesByFile_.find(key);
    if (open == facesByFile_.end()) {
        std::optional<OpenFace> opened = OpenFaceAt(library_.get(), location, loading_);
        if (!opened)
            return nullptr;
        open = facesByFile_.emplace(std::move(key), std::move(*opened)).first;
    }
    return &open->second;
}

OpenFace& FaceHandles::Open(const FaceTable& faces, FaceId face)
{
    if (face >= facesById_.size())
        facesById_.resize(std::size_t(face) + 1, nullptr);
    OpenFace*& open = facesById_[face];
    if (open == nullptr) {
        open = Open(faces.Location(face));
        if (open == nullptr)
            throw Failure(Message::CannotOpenFont, {faces.Name(face)});
    }
    return *open;
}

} // namespace morvaleth
