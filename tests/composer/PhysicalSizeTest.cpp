// Pictures on paper: paper sizes at resolutions, the resolution texts, and
// what each format records of a resolution, or does not.

#include "support/TestSupport.h"

#include "composer/Composition.h"
#include "composer/Error.h"
#include "composer/PhysicalSize.h"
#include "composer/encode/Formats.h"
#include "composer/encode/PictureFile.h"
#include "composer/save/ByteOutput.h"

#include <gtest/gtest.h>
#include <png.h>

#include <ostream>
#include <regex>

namespace morvaleth {
namespace {

struct PaperCase {
    const char* paper;
    int dotsPerInch;
    bool landscape;
    PixelSize pixels;
    const char* pdfPage; // the PDF's page box in points
    const char* svgSize; // the SVG's width and height

    friend void PrintTo(const PaperCase& x, std::ostream* out)
    {
        *out << x.paper << " at " << x.dotsPerInch << (x.landscape ? " landscape" : "");
    }
};

class PaperTest : public ::testing::TestWithParam<PaperCase> {};

// The paper's sides at the resolution, rounded to whole pixels; the vector
// pages give those pixels back at the resolution.
TEST_P(PaperTest, HasItsPixelsAndPageSize)
{
    const PaperCase& c = GetParam();
    EXPECT_EQ(PaperPixels(PaperNamed(c.paper), c.dotsPerInch, c.landscape), c.pixels);

    testing::TempDir folder;
    testing::WriteFile(folder / "empty.txt", "");
    CompositionSettings settings;
    settings.sourcePath = folder / "empty.txt";
    settings.widthText = std::to_string(c.pixels.width);
    settings.heightText = std::to_string(c.pixels.height);
    settings.seed = 1;
    OutputOptions options;
    options.dotsPerInch = c.dotsPerInch;
    std::string files[2];
    for (const PictureFormat format : {PictureFormat::Pdf, PictureFormat::Svg}) {
        MemoryOutput output;
        CompositionRun(settings).Write(output, format, options);
        files[format == PictureFormat::Svg] = std::string(output.Bytes().begin(), output.Bytes().end());
    }
    EXPECT_NE(files[0].find(std::string("/MediaBox [0 0 ") + c.pdfPage + "]"), std::string::npos)
        << files[0].substr(0, 400);
    EXPECT_NE(files[1].find(c.svgSize), std::string::npos) << files[1].substr(0, 300);
}

INSTANTIATE_TEST_SUITE_P(
    Papers, PaperTest,
    ::testing::Values(
        PaperCase{"A4", 300, false, {2480, 3508}, "595.2 841.92", "width=\"209.973mm\" height=\"297.011mm\""},
        PaperCase{"a4", 300, true, {3508, 2480}, "841.92 595.2", "width=\"297.011mm\" height=\"209.973mm\""},
        PaperCase{"A5", 150, false, {874, 1240}, "419.52 595.2", "width=\"147.997mm\" height=\"209.973mm\""},
        PaperCase{"A3", 72, false, {842, 1191}, "842 1191", "width=\"297.039mm\" height=\"420.158mm\""},
        PaperCase{"B4", 600, false, {6071, 8598}, "728.52 1031.76", "width=\"257.006mm\" height=\"363.982mm\""},
        PaperCase{"B5", 300, true, {3035, 2150}, "728.4 516", "width=\"256.963mm\" height=\"182.033mm\""},
        PaperCase{"postcard", 300, false, {1181, 1748}, "283.44 419.52", "width=\"99.991mm\" height=\"147.997mm\""},
        // Inch-sized papers come out whole at any resolution.
        PaperCase{"letter", 72, false, {612, 792}, "612 792", "width=\"215.9mm\" height=\"279.4mm\""},
        PaperCase{"LEGAL", 96, true, {1344, 816}, "1008 612", "width=\"355.6mm\" height=\"215.9mm\""}),
    [](const auto& info) {
        return std::string(info.param.paper) + "At" + std::to_string(info.param.dotsPerInch) +
               (info.param.landscape ? "Landscape" : "");
    });

TEST(Paper, AnUnknownNameIsAUsageMistakeThatNamesIt)
{
    for (const char* name : {"A6", "", "A4 ", "letters"}) {
        try {
            PaperNamed(name);
            ADD_FAILURE() << "accepted " << name;
        } catch (const Error& error) {
            EXPECT_EQ(error.Kind(), ErrorKind::Usage);
            EXPECT_EQ(std::string(error.what()), "用紙 '" + std::string(name) +
                                                     "' はありません (A4, A5, A3, B4, B5, postcard, letter, legal)");
        }
    }
}

// Whole numbers from 10 to 9600; anything else names the text.
TEST(Resolution, ReadsWholeDotsPerInchInItsRange)
{
    EXPECT_EQ(DotsPerInchFrom("10"), 10);
    EXPECT_EQ(DotsPerInchFrom("300"), 300);
    EXPECT_EQ(DotsPerInchFrom("9600"), 9600);
    for (const char* text : {"9", "0", "-300", "9601", "99999999999", "300dpi", "3e2", " 300", "", "abc"}) {
        try {
            DotsPerInchFrom(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const Error& error) {
            EXPECT_EQ(error.Kind(), ErrorKind::Usage);
            EXPECT_EQ(std::string(error.what()), "解像度 '" + std::string(text) + "' は使えません (10 から 9600 dpi まで)");
        }
    }
}

// A font size on paper: points at the resolution, to the nearest pixel and
// never below one.
TEST(Resolution, TurnsPointsIntoPixels)
{
    EXPECT_EQ(PixelsOfPoints(20, 300), 83);
    EXPECT_EQ(PixelsOfPoints(20, 72), 20);
    EXPECT_EQ(PixelsOfPoints(20, 96), 27); // 26.67
    EXPECT_EQ(PixelsOfPoints(9, 100), 13); // 12.5 rounds up
    EXPECT_EQ(PixelsOfPoints(1, 10), 1);
    EXPECT_EQ(PixelsOfPoints(65535, 9600), 8738000);
    EXPECT_EQ(PixelsPerMetre(300), 11811u);
    EXPECT_EQ(PixelsPerMetre(72), 2835u);
    EXPECT_EQ(PixelsPerMetre(96), 3780u);
    EXPECT_DOUBLE_EQ(PointsOfPixels(2480, 300), 595.2);
}

std::vector<std::uint8_t> Encoded(PictureFormat format, int dotsPerInch)
{
    const auto picture = testing::WhitePicture(47, 5);
    MemoryOutput output;
    OutputOptions options;
    options.dotsPerInch = dotsPerInch;
    const auto sink = FileSinkFor(format, output, options);
    WritePicture(*picture, *sink);
    return std::move(output.Bytes());
}

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t(bytes[at + 3]) << 24;
}

// BMP records the resolution in pixels per metre both ways; without one the
// file is what it always was, with zeros there.
TEST(Resolution, BmpRecordsItInPixelsPerMetre)
{
    const std::vector<std::uint8_t> at300 = Encoded(PictureFormat::Bmp, 300);
    EXPECT_EQ(Le32(at300, 38), 11811u);
    EXPECT_EQ(Le32(at300, 42), 11811u);
    const std::vector<std::uint8_t> without = Encoded(PictureFormat::Bmp, 0);
    EXPECT_EQ(Le32(without, 38), 0u);
    EXPECT_EQ(Le32(without, 42), 0u);
    EXPECT_TRUE(without == EncodePicture(*testing::WhitePicture(47, 5), PictureFormat::Bmp));
    // Nothing else differs.
    ASSERT_EQ(at300.size(), without.size());
    for (std::size_t i = 0; i < without.size(); ++i) {
        if (i < 38 || i >= 46)
            EXPECT_EQ(at300[i], without[i]) << i;
    }
}

// PNG records it in a pHYs chunk, in pixels per metre; without one there is
// no pHYs chunk at all.
TEST(Resolution, PngRecordsItInAPhysChunk)
{
    for (const int dotsPerInch : {0, 72, 300, 9600}) {
        const std::vector<std::uint8_t> file = Encoded(PictureFormat::Png, dotsPerInch);
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        struct Reader {
            const std::vector<std::uint8_t>* bytes;
            std::size_t at = 0;
        } reader{&file};
        png_set_read_fn(png, &reader, [](png_structp p, png_bytep data, png_size_t size) {
            auto* r = static_cast<Reader*>(png_get_io_ptr(p));
            std::copy_n(r->bytes->begin() + std::ptrdiff_t(r->at), size, data);
            r->at += size;
        });
        png_read_info(png, info);
        png_uint_32 x = 0, y = 0;
        int unit = -1;
        const bool phys = png_get_pHYs(png, info, &x, &y, &unit) != 0;
        png_destroy_read_struct(&png, &info, nullptr);
        EXPECT_EQ(phys, dotsPerInch != 0) << dotsPerInch;
        if (dotsPerInch != 0) {
            EXPECT_EQ(x, PixelsPerMetre(dotsPerInch));
            EXPECT_EQ(y, PixelsPerMetre(dotsPerInch));
            EXPECT_EQ(unit, PNG_RESOLUTION_METER);
        }
    }
    EXPECT_TRUE(Encoded(PictureFormat::Png, 0) == EncodePicture(*testing::WhitePicture(47, 5), PictureFormat::Png));
}

// Without a resolution a vector page takes a pixel for a 96th of an inch,
// as the screen and SVG do.
TEST(Resolution, AVectorPageWithoutOneIsAtNinetySixPixelsToTheInch)
{
    testing::TempDir folder;
    testing::WriteFile(folder / "empty.txt", "");
    CompositionSettings settings;
    settings.sourcePath = folder / "empty.txt";
    settings.seed = 1;
    MemoryOutput pdf, svg;
    CompositionRun(settings).Write(pdf, PictureFormat::Pdf, {});
    CompositionRun(settings).Write(svg, PictureFormat::Svg, {});
    EXPECT_NE(std::string(pdf.Bytes().begin(), pdf.Bytes().end()).find("/MediaBox [0 0 480 360]"), std::string::npos);
    EXPECT_NE(std::string(svg.Bytes().begin(), svg.Bytes().end()).find("width=\"640\" height=\"480\" viewBox=\"0 0 640 480\""),
              std::string::npos);
}

} // namespace
} // namespace morvaleth
