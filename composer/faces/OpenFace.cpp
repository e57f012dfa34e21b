#include "composer/faces/OpenFace.h"

#include "composer/Messages.h"
#include "composer/faces/OutlineCache_p.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
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

} // namespace

OpenFace::OpenFace(FtFacePtr face, GlyphLoading loading)
    : face_(std::move(face)), measures_(MeasuresOf(face_.get())), loading_(loading)
{
}

OpenFace::OpenFace(OpenFace&&) noexcept = default;
OpenFace& OpenFace::operator=(OpenFace&&) noexcept = default;
OpenFace::~OpenFace() = default;

bool OpenFace::SizeTo(long emSize)
{
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
    FtFacePtr opened(face);
    // A face of bitmaps alone has no em to size it by.
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0)
        return std::nullopt;
    return OpenFace(std::move(opened), loading);
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
