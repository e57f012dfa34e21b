#pragma once

#include "composer/Bitmap.h"
#include "composer/FileSave.h"
#include "composer/PictureFile.h"
#include "composer/RowSink.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace morvaleth {

// Rows into a picture held in memory (the window, the clipboard, tests). The
// picture is sized at Begin, height first, and fails there as sizing it
// fails; the rows are drawn straight into it.
class BitmapSink final : public RowSink {
public:
    explicit BitmapSink(TBitmap& picture) : picture_(picture) {}

    void Begin(int width, int height) override;
    void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) override;
    void Finish() override {}
    std::uint8_t* RowsInPlace(int top, int count) override;

private:
    TBitmap& picture_;
};

// A BMP file on a seekable output, written band by band: the header first,
// each band's rows at their places counted from the bottom. Only one band's
// rows are held at a time.
class BmpFileSink final : public RowSink {
public:
    explicit BmpFileSink(SaveOutput& output) : output_(output) {}

    void Begin(int width, int height) override;
    void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) override;
    void Finish() override {}

private:
    SaveOutput& output_;
    int height_ = 0;
    std::vector<std::uint8_t> bottomUp_;
};

// A BMP file on an output that only appends (a pipe, a terminal): its rows
// go bottom first, so the whole picture is held until the last one arrives.
class BmpStreamSink final : public RowSink {
public:
    explicit BmpStreamSink(SaveOutput& output) : output_(output), held_(picture_) {}

    void Begin(int width, int height) override { held_.Begin(width, height); }
    void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) override
    {
        held_.Rows(top, count, rows, stride);
    }
    void Finish() override;
    std::uint8_t* RowsInPlace(int top, int count) override { return held_.RowsInPlace(top, count); }

private:
    SaveOutput& output_;
    TBitmap picture_;
    BitmapSink held_;
};

// A PNG file (8-bit RGB), encoded by libpng row by row as the rows arrive.
// Only libpng's own limits bound its size, not a BMP file's.
class PngSink final : public RowSink {
public:
    explicit PngSink(SaveOutput& output);
    ~PngSink() override;

    void Begin(int width, int height) override;
    void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) override;
    void Finish() override;

private:
    struct Encoder;
    SaveOutput& output_;
    std::unique_ptr<Encoder> encoder_;
};

// The sink that writes a picture in that format to the output: BMP by offset
// where the output allows it.
std::unique_ptr<RowSink> FileSinkFor(PictureFormat format, SaveOutput& output);

} // namespace morvaleth
