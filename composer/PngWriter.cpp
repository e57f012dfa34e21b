#include "composer/PngWriter.h"

#include "composer/Bitmap.h"
#include "composer/Error.h"

#include <png.h>

#include <csetjmp>
#include <exception>
#include <string_view>

namespace morvaleth {
namespace {

// What the libpng callbacks share with the writer. libpng reports failures
// by longjmp; a sink's exception cannot travel through libpng's C frames, so
// it is kept here and raised again once libpng has returned.
struct PngTarget {
    const ByteSink* sink;
    std::exception_ptr failure;
    bool outOfMemory = false;
};

PngTarget& TargetOf(png_structp png)
{
    return *static_cast<PngTarget*>(png_get_io_ptr(png));
}

extern "C" void WriteToSink(png_structp png, png_bytep data, std::size_t size)
{
    PngTarget& target = TargetOf(png);
    try {
        (*target.sink)(data, size);
    } catch (...) {
        target.failure = std::current_exception();
    }
    // Outside the handler: longjmp must not leave one.
    if (target.failure)
        png_error(png, "sink");
}

extern "C" void FlushNothing(png_structp) {}

extern "C" void StopOnError(png_structp png, png_const_charp message)
{
    // libpng's own words for an allocation that failed.
    if (message != nullptr && std::string_view(message).find("memory") != std::string_view::npos)
        static_cast<PngTarget*>(png_get_error_ptr(png))->outOfMemory = true;
    png_longjmp(png, 1);
}

extern "C" void IgnoreWarning(png_structp, png_const_charp) {}

// The libpng calls, apart from anything with a destructor: longjmp may leave
// this frame. Returns false when libpng failed.
bool EncodeRows(png_structp png, png_infop info, const TBitmap& picture)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    // libpng refuses pictures wider or taller than a million pixels unless
    // told otherwise; PNG itself allows 2^31 - 1 either way.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, png_uint_32(picture.Width()), png_uint_32(picture.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < picture.Height(); ++y)
        png_write_row(png, picture.ScanLine(y));
    png_write_end(png, info);
    return true;
}

} // namespace

void WritePng(const TBitmap& picture, const ByteSink& sink)
{
    if (!picture.HasPixels())
        return;

    PngTarget target{&sink, nullptr};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &target, &StopOnError, &IgnoreWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        throw Error("ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources);
    }
    png_set_write_fn(png, &target, &WriteToSink, &FlushNothing);
    const bool written = EncodeRows(png, info, picture);
    png_destroy_write_struct(&png, &info);
    if (target.failure)
        std::rethrow_exception(target.failure);
    if (target.outOfMemory)
        throw Error("ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources);
    if (!written)
        throw Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ", ErrorKind::Write);
}

} // namespace morvaleth
