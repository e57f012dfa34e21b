#pragma once

#include "composer/PixelPicture.h"
#include "composer/RowSink.h"

namespace morvaleth {

// Rows into a picture held in memory (the window, the clipboard, tests). The
// picture is sized at Begin, height first, and fails there as sizing it
// fails; the rows are drawn straight into it.
class PictureSink final : public RowSink {
public:
    explicit PictureSink(PixelPicture& picture) : picture_(picture) {}

    void Begin(const PictureShape& shape) override;
    void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) override;
    // Keeps the picture's notes with it.
    void Finish() override;
    std::uint8_t* RowsInPlace(int top, int count) override;

private:
    PixelPicture& picture_;
    const PictureNotes* notes_ = nullptr;
};

} // namespace morvaleth
