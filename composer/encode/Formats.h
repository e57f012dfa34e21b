#pragma once

#include "composer/RowSink.h"
#include "composer/encode/OutputOptions.h"
#include "composer/save/ByteOutput.h"
#include "composer/vector/Device.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace morvaleth {

enum class PictureFormat { Bmp, Png, Pdf, Svg, Svgz };

// One output format: the registry the driver's options and help, the window's
// save dialog, the manual pages and the encoders are all read from. A raster
// format encodes the finished rows (`sink`); a vector format draws the stamps
// (`device`). Each entry has exactly one of the two.
struct PictureFormatEntry {
    PictureFormat format;
    std::string_view name;        // the driver's --format value, also the file extension
    std::string_view filterLabel; // the save dialog's entry for it
    std::string_view description; // what the manual page says of it
    // The most bytes of pixel rows (24 bits per pixel, each row padded to 4
    // bytes) the format can hold, 0 for no limit beyond the picture's width
    // and height; and how a refusal puts that limit.
    std::uint64_t largestPixelBytes;
    std::string_view limitText;
    std::unique_ptr<RowSink> (*sink)(ByteOutput& output, const OutputOptions& options);
    std::unique_ptr<StampDevice> (*device)(ByteOutput& output, const OutputOptions& options);

    bool Vector() const { return device != nullptr; }
};

// Every output format, the default (BMP) first.
std::span<const PictureFormatEntry> PictureFormats();
const PictureFormatEntry& FormatEntry(PictureFormat format);

// The format a --format value names, if any.
std::optional<PictureFormat> FormatNamed(std::string_view name);

// The format whose extension the name ends in (in any case), BMP for every
// other name.
PictureFormat FormatForFileName(std::string_view path);

// Fails with "W × H の画像は保存できません (limit)", of kind FormatLimit, when
// a picture of that size does not fit the format. A size without pixels
// always fits. Callers check before making the picture, so that the refusal
// comes first.
void CheckPictureSize(PictureFormat format, std::int64_t width, std::int64_t height);

// The sink that writes a picture in that raster format to the output; its
// Begin checks the size as above.
std::unique_ptr<RowSink> FileSinkFor(PictureFormat format, ByteOutput& output, const OutputOptions& options = {});

// The device that draws a run's stamps in that vector format into the output.
std::unique_ptr<StampDevice> FileDeviceFor(PictureFormat format, ByteOutput& output,
                                           const OutputOptions& options = {});

} // namespace morvaleth
