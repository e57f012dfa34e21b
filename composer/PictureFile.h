#pragma once

#include "composer/FileSave.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morvaleth {

class TBitmap;

enum class PictureFormat { Bmp, Png };

// One output format, as the driver, the window's save dialog and the manual
// page name it.
struct PictureFormatEntry {
    PictureFormat format;
    std::string_view name;        // the driver's --format value, also the file extension
    std::string_view filterLabel; // the save dialog's entry for it
    // Hands the picture's file bytes in this format to the sink; a picture
    // without pixels gives none.
    void (*write)(const TBitmap& picture, const ByteSink& sink);
    // The most bytes of pixel rows (24 bits per pixel, each row padded to 4
    // bytes) the format can hold, 0 for no limit beyond the picture's width
    // and height; and how a refusal puts that limit.
    std::uint64_t largestPixelBytes;
    std::string_view limitText;
};

// Every output format, the default (BMP) first.
std::span<const PictureFormatEntry> PictureFormats();
const PictureFormatEntry& FormatEntry(PictureFormat format);

// The format a --format value names, if any.
std::optional<PictureFormat> FormatNamed(std::string_view name);

// The format whose extension the name ends in (in any case), BMP for every
// other name.
PictureFormat FormatForFileName(std::string_view path);

// Fails with an Error of kind FormatLimit, saying which limit, when a picture
// of that size does not fit the format. A size without pixels always fits.
// Callers check before making the picture, so that the refusal comes first.
void CheckPictureSize(PictureFormat format, std::int64_t width, std::int64_t height);

// Hands the picture's file bytes in that format to the sink, after checking
// its size.
void WritePicture(const TBitmap& picture, PictureFormat format, const ByteSink& sink);

// Saves the picture as `path` in that format, as SaveFile saves (see
// FileSave.h): the one save of the driver and the window.
void SavePicture(const TBitmap& picture, const std::string& path, PictureFormat format);
// The same, in the format the name's extension asks for.
void SavePicture(const TBitmap& picture, const std::string& path);

} // namespace morvaleth
