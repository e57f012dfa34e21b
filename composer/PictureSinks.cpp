#include "composer/PictureSinks.h"

#include "composer/BmpWriter.h"
#include "composer/Error.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <exception>

namespace morvaleth {
namespace {

Error CannotWrite()
{
    return Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
}

} // namespace

// ---- In memory --------------------------------------------------------------

void BitmapSink::Begin(int width, int height)
{
    picture_.SetHeight(height);
    picture_.SetWidth(width);
}

std::uint8_t* BitmapSink::RowsInPlace(int top, int /*count*/)
{
    return picture_.HasPixels() ? picture_.ScanLine(top) : nullptr;
}

void BitmapSink::Rows(int top, int count, const std::uint8_t* rows, std::size_t stride)
{
    if (!picture_.HasPixels() || rows == picture_.ScanLine(top))
        return;
    const std::size_t bytes = std::min(stride, picture_.Stride());
    for (int row = 0; row < count; ++row)
        std::memcpy(picture_.ScanLine(top + row), rows + std::size_t(row) * stride, bytes);
}

// ---- BMP --------------------------------------------------------------------

void BmpFileSink::Begin(int width, int height)
{
    CheckPictureSize(PictureFormat::Bmp, width, height);
    height_ = height;
    if (width == 0 || height == 0)
        return;
    std::uint8_t header[BmpHeaderBytes];
    BmpHeader(width, height, header);
    output_.WriteAt(0, header, sizeof header);
}

void BmpFileSink::Rows(int top, int count, const std::uint8_t* rows, std::size_t stride)
{
    if (count <= 0)
        return;
    // The band's rows lie together in the file, bottom row first.
    bottomUp_.resize(std::size_t(count) * stride);
    for (int row = 0; row < count; ++row)
        std::memcpy(bottomUp_.data() + std::size_t(count - 1 - row) * stride, rows + std::size_t(row) * stride,
                    stride);
    const std::uint64_t firstRowFromBottom = std::uint64_t(height_ - top - count);
    const std::uint64_t offset = BmpHeaderBytes + firstRowFromBottom * stride;
    output_.WriteAt(offset, bottomUp_.data(), bottomUp_.size());
    output_.StartWriteback(offset, bottomUp_.size());
}

void BmpStreamSink::Finish()
{
    WriteBmp(picture_, [this](const std::uint8_t* data, std::size_t size) { output_.Write(data, size); });
}

// ---- PNG --------------------------------------------------------------------

// libpng reports failures by a long jump; every call into it goes through
// one of the functions below, which hold nothing that needs unwinding. A
// failure of the output is kept and raised again once libpng has returned.
struct PngSink::Encoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    SaveOutput* output = nullptr;
    std::exception_ptr failure;
    bool failed = false;

    ~Encoder() { png_destroy_write_struct(&png, &info); }

    static void Write(png_structp png, png_bytep data, png_size_t size)
    {
        auto* encoder = static_cast<Encoder*>(png_get_io_ptr(png));
        try {
            encoder->output->Write(data, size);
        } catch (...) {
            encoder->failure = std::current_exception();
            png_error(png, "write");
        }
    }
    static void Flush(png_structp) {}
    [[noreturn]] static void Fail(png_structp png, png_const_charp)
    {
        png_longjmp(png, 1);
    }
    static void Warn(png_structp, png_const_charp) {}

    bool Start(png_uint_32 width, png_uint_32 height)
    {
        if (setjmp(png_jmpbuf(png)))
            return false;
        png_set_write_fn(png, this, Write, Flush);
        // The format allows 2^31 - 1 pixels either way; libpng's default
        // limit is a million.
        png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
        png_write_info(png, info);
        png_set_bgr(png);
        return true;
    }

    bool WriteRows(const std::uint8_t* rows, int count, std::size_t stride)
    {
        if (setjmp(png_jmpbuf(png)))
            return false;
        for (int row = 0; row < count; ++row)
            png_write_row(png, rows + std::size_t(row) * stride);
        return true;
    }

    bool End()
    {
        if (setjmp(png_jmpbuf(png)))
            return false;
        png_write_end(png, info);
        return true;
    }

    void Check(bool succeeded)
    {
        if (succeeded)
            return;
        failed = true;
        if (failure)
            std::rethrow_exception(failure);
        throw CannotWrite();
    }
};

PngSink::PngSink(SaveOutput& output) : output_(output) {}

PngSink::~PngSink() = default;

void PngSink::Begin(int width, int height)
{
    CheckPictureSize(PictureFormat::Png, width, height);
    if (width == 0 || height == 0)
        return;
    encoder_ = std::make_unique<Encoder>();
    encoder_->output = &output_;
    encoder_->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, encoder_.get(), Encoder::Fail, Encoder::Warn);
    if (encoder_->png != nullptr)
        encoder_->info = png_create_info_struct(encoder_->png);
    if (encoder_->info == nullptr)
        throw Error("ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources);
    encoder_->Check(encoder_->Start(png_uint_32(width), png_uint_32(height)));
}

void PngSink::Rows(int, int count, const std::uint8_t* rows, std::size_t stride)
{
    if (encoder_)
        encoder_->Check(!encoder_->failed && encoder_->WriteRows(rows, count, stride));
}

void PngSink::Finish()
{
    if (encoder_)
        encoder_->Check(!encoder_->failed && encoder_->End());
}

std::unique_ptr<RowSink> FileSinkFor(PictureFormat format, SaveOutput& output)
{
    if (format == PictureFormat::Png)
        return std::make_unique<PngSink>(output);
    if (output.Seekable())
        return std::make_unique<BmpFileSink>(output);
    return std::make_unique<BmpStreamSink>(output);
}

} // namespace morvaleth
