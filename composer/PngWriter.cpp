#include "composer/PngWriter.h"

#include "composer/Bitmap.h"
#include "composer/Error.h"

#include <png.h>

#include <cstdio>
#include <exception>
#include <memory>

namespace morvaleth {
namespace {

// libpng writes to a stdio stream; this one forwards to the sink. A sink's
// exception cannot travel through libpng's C frames, so it is kept here and
// raised again once libpng has returned.
struct SinkStream {
    const ByteSink* sink;
    std::exception_ptr failure;

    static ssize_t Write(void* cookie, const char* data, std::size_t size)
    {
        auto* stream = static_cast<SinkStream*>(cookie);
        if (stream->failure)
            return -1;
        try {
            (*stream->sink)(reinterpret_cast<const std::uint8_t*>(data), size);
        } catch (...) {
            stream->failure = std::current_exception();
            return -1;
        }
        return ssize_t(size);
    }
};

struct StreamCloser {
    void operator()(FILE* stream) const { std::fclose(stream); }
};

} // namespace

bool IsPngFileName(std::string_view path)
{
    if (path.size() < 4)
        return false;
    std::string_view suffix = path.substr(path.size() - 4);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return suffix[0] == '.' && lower(suffix[1]) == 'p' && lower(suffix[2]) == 'n' && lower(suffix[3]) == 'g';
}

void WritePng(const TBitmap& picture, const ByteSink& sink)
{
    if (!picture.HasPixels())
        return;

    SinkStream target{&sink, nullptr};
    std::unique_ptr<FILE, StreamCloser> stream(
        fopencookie(&target, "w", cookie_io_functions_t{nullptr, &SinkStream::Write, nullptr, nullptr}));
    if (!stream)
        throw Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(picture.Width());
    image.height = png_uint_32(picture.Height());
    image.format = PNG_FORMAT_BGR;
    const bool written = png_image_write_to_stdio(&image, stream.get(), 0, picture.ScanLine(0),
                                                  png_int_32(picture.Stride()), nullptr) != 0;
    const bool flushed = std::fflush(stream.get()) == 0;
    png_image_free(&image);
    if (target.failure)
        std::rethrow_exception(target.failure);
    if (!written || !flushed)
        throw Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
}

} // namespace morvaleth
