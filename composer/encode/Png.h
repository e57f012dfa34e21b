#pragma once

#include "composer/RowSink.h"
#include "composer/encode/OutputOptions.h"
#include "composer/save/ByteOutput.h"

#include <memory>
#include <string>

namespace morvaleth {

// A PNG file: 8-bit grey when every pixel is grey, else 8-bit RGB, marked
// sRGB, its notes in iTXt chunks after the pixels; with a resolution it
// records it (pHYs, in pixels per metre), without one it has no pHYs chunk.
// Only PNG's own limits bound its size (2^31 - 1 pixels either way), not a
// BMP file's. A picture without pixels gives no bytes at all.
//
// The rows are cut into blocks of about a MiB by the picture's width alone,
// and the blocks deflated at once on as many threads as the options allow,
// each with the block before's last 32 KiB as its dictionary, their pieces
// joined in order and their checksums combined: the bytes are the same
// whatever the threads and however the rows arrive, and only a few blocks
// are held at a time. Without a level the rows are compressed for speed, as
// runs of equal bytes (zlib's RLE strategy), unfiltered: on pictures of
// letters that is about as small as zlib's level 6 with the best filters, for
// a fifth of the time.
std::unique_ptr<RowSink> PngSink(ByteOutput& output, const OutputOptions& options = {});

// The notes a PNG file keeps in its text chunks (iTXt, and the older tEXt and
// zTXt, whose Latin-1 comes back as UTF-8), in the file's order; only the
// chunks' headers and texts are read, never its pixels. Fails with
// "ﾌｧｲﾙ %s には作り方が記録されていません" for a file that is no PNG or breaks
// off, and as reading fails.
PictureNotes ReadPngNotes(const std::string& path);

} // namespace morvaleth
