#include "composer/encode/Formats.h"

#include "composer/Messages.h"
#include "composer/PixelPicture.h"
#include "composer/encode/Bmp.h"
#include "composer/encode/Png.h"
#include "composer/vector/PdfDevice.h"
#include "composer/vector/SvgDevice.h"

#include <algorithm>
#include <climits>
#include <string>

namespace morvaleth {
namespace {

// BMP's size fields are 32 bits, and readers take them as signed: the whole
// file, header and rows, stays below 2 GiB. PNG allows 2^31 - 1 pixels either
// way, which every picture's width and height keep to, and so do the vector
// formats' numbers.
constexpr PictureFormatEntry Formats[] = {
    {PictureFormat::Bmp, "bmp", "ﾋﾞｯﾄﾏｯﾌﾟ (*.bmp)",
     "Windows BMP, 24 bits per pixel, uncompressed; the file holds at most 2 GiB", std::uint64_t(INT_MAX) - BmpHeaderBytes,
     "BMP は 2 GiB まで", &BmpSink, nullptr},
    {PictureFormat::Png, "png", "PNG (*.png)",
     "PNG, 8-bit grey (or RGB), compressed without loss; up to 2147483647 pixels either way", 0, "", &PngSink, nullptr},
    {PictureFormat::Pdf, "pdf", "PDF (*.pdf)",
     "PDF, one page drawn in vector outlines and filled shapes that stay sharp at any size; the text stays text "
     "(searchable and selectable, its faces embedded as subsets). The page is the picture at --dpi, or at 96 pixels "
     "to the inch without it",
     0, "", nullptr, &PdfDevice},
    {PictureFormat::Svg, "svg", "SVG (*.svg)",
     "SVG, vector outlines (each glyph's outline written once and used by every character cut from it) and polygons "
     "for the scraps, with an invisible text layer that keeps the letter selectable and searchable",
     0, "", nullptr, &SvgDevice},
    {PictureFormat::Svgz, "svgz", "SVGZ (*.svgz)", "the same SVG compressed with gzip", 0, "", nullptr,
     &CompressedSvgDevice},
};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

} // namespace

std::span<const PictureFormatEntry> PictureFormats()
{
    return Formats;
}

const PictureFormatEntry& FormatEntry(PictureFormat format)
{
    return *std::find_if(std::begin(Formats), std::end(Formats),
                         [format](const PictureFormatEntry& entry) { return entry.format == format; });
}

std::optional<PictureFormat> FormatNamed(std::string_view name)
{
    for (const PictureFormatEntry& entry : Formats)
        if (entry.name == name)
            return entry.format;
    return std::nullopt;
}

PictureFormat FormatForFileName(std::string_view path)
{
    for (const PictureFormatEntry& entry : Formats) {
        if (path.size() <= entry.name.size() || path[path.size() - entry.name.size() - 1] != '.')
            continue;
        const std::string_view extension = path.substr(path.size() - entry.name.size());
        if (std::equal(extension.begin(), extension.end(), entry.name.begin(),
                       [](char a, char b) { return Lower(a) == b; }))
            return entry.format;
    }
    return PictureFormat::Bmp;
}

void CheckPictureSize(PictureFormat format, std::int64_t width, std::int64_t height)
{
    const PictureFormatEntry& entry = FormatEntry(format);
    if (width <= 0 || height <= 0 || entry.largestPixelBytes == 0)
        return;
    // Divided rather than multiplied: the rows of the widest and tallest
    // pictures take more bytes than 64 bits count.
    const std::uint64_t rowBytes = std::uint64_t(RowBytes(width));
    if (rowBytes <= entry.largestPixelBytes / std::uint64_t(height))
        return;
    throw Failure(Message::BeyondFormat, {std::to_string(width), std::to_string(height), entry.limitText});
}

std::unique_ptr<RowSink> FileSinkFor(PictureFormat format, ByteOutput& output, const OutputOptions& options)
{
    return FormatEntry(format).sink(output, options);
}

std::unique_ptr<StampDevice> FileDeviceFor(PictureFormat format, ByteOutput& output, const OutputOptions& options)
{
    return FormatEntry(format).device(output, options);
}

} // namespace morvaleth
