#include "composer/encode/Png.h"

#include "composer/Messages.h"
#include "composer/PhysicalSize.h"
#include "composer/encode/Formats.h"

#include <png.h>

#include <csetjmp>
#include <exception>
#include <string_view>

namespace morvaleth {
namespace {

// libpng reports failures by a long jump; every call into it goes through one
// of the functions below, which hold nothing that needs unwinding. A failure
// of the output is kept and raised again once libpng has returned.
struct PngEncoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ByteOutput* output = nullptr;
    std::exception_ptr failure;
    bool outOfMemory = false;
    bool failed = false;

    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;
    explicit PngEncoder(ByteOutput& to) : output(&to)
    {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, &Fail, &Warn);
        if (png != nullptr)
            info = png_create_info_struct(png);
        if (info == nullptr) {
            png_destroy_write_struct(&png, nullptr);
            throw Failure(Message::OutOfResources);
        }
    }
    ~PngEncoder() { png_destroy_write_struct(&png, &info); }

    static void Write(png_structp png, png_bytep data, png_size_t size)
    {
        auto* encoder = static_cast<PngEncoder*>(png_get_io_ptr(png));
        try {
            encoder->output->Write(data, size);
        } catch (...) {
            encoder->failure = std::current_exception();
        }
        // Outside the handler: longjmp must not leave one.
        if (encoder->failure)
            png_error(png, "write");
    }
    static void Flush(png_structp) {}
    [[noreturn]] static void Fail(png_structp png, png_const_charp message)
    {
        // libpng's own words for an allocation that failed.
        if (message != nullptr && std::string_view(message).find("memory") != std::string_view::npos)
            static_cast<PngEncoder*>(png_get_error_ptr(png))->outOfMemory = true;
        png_longjmp(png, 1);
    }
    static void Warn(png_structp, png_const_charp) {}

    bool Start(png_uint_32 width, png_uint_32 height, png_uint_32 pixelsPerMetre)
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
        if (pixelsPerMetre != 0)
            png_set_pHYs(png, info, pixelsPerMetre, pixelsPerMetre, PNG_RESOLUTION_METER);
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

    // Raises what made libpng stop; once it has, nothing more is written.
    void Check(bool succeeded)
    {
        if (succeeded)
            return;
        failed = true;
        if (failure)
            std::rethrow_exception(failure);
        if (outOfMemory)
            throw Failure(Message::OutOfResources);
        throw Failure(Message::WriteFailed);
    }
};

class PngRowSink final : public RowSink {
public:
    PngRowSink(ByteOutput& output, png_uint_32 pixelsPerMetre) : output_(output), pixelsPerMetre_(pixelsPerMetre) {}

    void Begin(int width, int height) override
    {
        CheckPictureSize(PictureFormat::Png, width, height);
        if (width == 0 || height == 0)
            return;
        encoder_ = std::make_unique<PngEncoder>(output_);
        encoder_->Check(encoder_->Start(png_uint_32(width), png_uint_32(height), pixelsPerMetre_));
    }

    void Rows(int, int count, const std::uint8_t* rows, std::size_t stride) override
    {
        if (encoder_)
            encoder_->Check(!encoder_->failed && encoder_->WriteRows(rows, count, stride));
    }

    void Finish() override
    {
        if (encoder_)
            encoder_->Check(!encoder_->failed && encoder_->End());
    }

private:
    ByteOutput& output_;
    png_uint_32 pixelsPerMetre_;
    std::unique_ptr<PngEncoder> encoder_;
};

} // namespace

std::unique_ptr<RowSink> PngSink(ByteOutput& output, const OutputOptions& options)
{
    return std::make_unique<PngRowSink>(output, options.dotsPerInch > 0 ? PixelsPerMetre(options.dotsPerInch) : 0);
}

} // namespace morvaleth
