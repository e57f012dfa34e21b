#pragma once

#include "composer/PixelPicture.h"
#include "composer/RowSink.h"
#include "composer/encode/Formats.h"

#include <cstdint>
#include <string>
#include <vector>

namespace morvaleth {

// Hands every row of a picture held in memory to the sink, a band at a time,
// between its Begin and its Finish: a picture in memory is encoded by the
// very sinks a run streams into, with its notes. The sink is told whether
// every pixel is grey.
void WritePicture(const PixelPicture& picture, RowSink& sink);

// The picture's file bytes in that raster format, in memory.
std::vector<std::uint8_t> EncodePicture(const PixelPicture& picture, PictureFormat format,
                                        const OutputOptions& options = {});

// Saves the picture as `path` in that raster format, as SaveFile saves (see
// save/FileSave.h), after checking that the format can hold it.
void SavePicture(const PixelPicture& picture, const std::string& path, PictureFormat format);
// The same, in the format the name's extension asks for.
void SavePicture(const PixelPicture& picture, const std::string& path);

// Whether every pixel of the picture is grey: red, green and blue alike.
bool IsGrey(const PixelPicture& picture);

} // namespace morvaleth
