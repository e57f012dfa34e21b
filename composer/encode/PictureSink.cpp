#include "composer/encode/PictureSink.h"

#include <algorithm>
#include <cstring>

namespace morvaleth {

void PictureSink::Begin(const PictureShape& shape)
{
    picture_.SetHeight(shape.height);
    picture_.SetWidth(shape.width);
    notes_ = shape.notes;
}

void PictureSink::Finish()
{
    if (notes_ != nullptr)
        picture_.SetNotes(*notes_);
}

std::uint8_t* PictureSink::RowsInPlace(int top, int /*count*/)
{
    return picture_.HasPixels() ? picture_.ScanLine(top) : nullptr;
}

void PictureSink::Rows(int top, int count, const std::uint8_t* rows, std::size_t stride)
{
    if (!picture_.HasPixels() || rows == picture_.ScanLine(top))
        return;
    const std::size_t bytes = std::min(stride, picture_.Stride());
    for (int row = 0; row < count; ++row)
        std::memcpy(picture_.ScanLine(top + row), rows + std::size_t(row) * stride, bytes);
}

} // namespace morvaleth
