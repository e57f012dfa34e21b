#include "support/TestSupport.h"

#include "composer/encode/Bmp.h"
#include "composer/encode/PictureFile.h"
#include "composer/Error.h"
#include "composer/encode/Formats.h"
#include "composer/encode/Png.h"

#include <gtest/gtest.h>

#include <ostream>

#include <png.h>

#include <fstream>
#include <iterator>

namespace morvaleth {
namespace {

using testing::WhitePicture;

std::uint32_t Field32(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

std::uint16_t Field16(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    return std::uint16_t(bytes[offset] | bytes[offset + 1] << 8);
}

struct BmpSize {
    int width;
    int height;
    std::uint32_t rowBytes;

    friend void PrintTo(const BmpSize& x, std::ostream* out) { *out << x.width << " x " << x.height; }
};

class BmpHeaderTest : public ::testing::TestWithParam<BmpSize> {};

TEST_P(BmpHeaderTest, EveryFieldReadsBackAsWritten)
{
    const BmpSize size = GetParam();
    const auto bytes = EncodePicture(*WhitePicture(size.width, size.height), PictureFormat::Bmp);
    const std::uint32_t imageBytes = size.rowBytes * std::uint32_t(size.height);

    ASSERT_EQ(bytes.size(), 54 + imageBytes);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(Field32(bytes, 2), 54 + imageBytes); // bfSize
    EXPECT_EQ(Field32(bytes, 6), 0u);              // reserved
    EXPECT_EQ(Field32(bytes, 10), 54u);            // bfOffBits
    EXPECT_EQ(Field32(bytes, 14), 40u);            // biSize
    EXPECT_EQ(Field32(bytes, 18), std::uint32_t(size.width));
    EXPECT_EQ(Field32(bytes, 22), std::uint32_t(size.height));
    EXPECT_EQ(Field16(bytes, 26), 1);  // planes
    EXPECT_EQ(Field16(bytes, 28), 24); // bits per pixel
    EXPECT_EQ(Field32(bytes, 30), 0u); // BI_RGB
    EXPECT_EQ(Field32(bytes, 34), imageBytes);
    for (std::size_t offset : {38u, 42u, 46u, 50u})
        EXPECT_EQ(Field32(bytes, offset), 0u) << "offset " << offset;
}

INSTANTIATE_TEST_SUITE_P(Sizes, BmpHeaderTest,
                         ::testing::Values(BmpSize{640, 480, 1920}, BmpSize{641, 2, 1924}, BmpSize{47, 3, 144},
                                           BmpSize{1, 1, 4}, BmpSize{2, 5, 8}, BmpSize{3, 1, 12}));

TEST(Bmp, TheDefaultPictureMakesA921654ByteFile)
{
    EXPECT_EQ(EncodePicture(*WhitePicture(640, 480), PictureFormat::Bmp).size(), 921654u);
}

TEST(Bmp, APictureWithoutPixelsWritesNothing)
{
    PixelPicture picture;
    picture.SetWidth(640);
    EXPECT_TRUE(EncodePicture(picture, PictureFormat::Bmp).empty());
    EXPECT_TRUE(EncodePicture(PixelPicture(), PictureFormat::Bmp).empty());
}

TEST(Bmp, RowsGoBottomFirstInBlueGreenRedWithZeroPadding)
{
    // An odd width, so that every row carries padding.
    auto picture = WhitePicture(47, 3);
    TCanvas& canvas = picture->Canvas();
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Pen.Color = MakeColor(0x11, 0x22, 0x33);
    const TPoint topRow[] = {{0, 0}, {46, 0}};
    canvas.Polygon(topRow);

    const auto bytes = EncodePicture(*picture, PictureFormat::Bmp);
    const std::size_t row = 144;
    const std::size_t lastRowInFile = 54 + 2 * row;
    EXPECT_EQ(bytes[lastRowInFile + 0], 0x33); // blue
    EXPECT_EQ(bytes[lastRowInFile + 1], 0x22); // green
    EXPECT_EQ(bytes[lastRowInFile + 2], 0x11); // red
    EXPECT_EQ(bytes[54], 0xFF);                // the bottom row is white
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t pad = 141; pad < row; ++pad)
            EXPECT_EQ(bytes[54 + r * row + pad], 0) << "row " << r << " byte " << pad;
}

// The PNG file holds the same pixels as the picture, read back by libpng.
TEST(Png, DecodesToThePicturesPixels)
{
    auto picture = WhitePicture(47, 5);
    TCanvas& canvas = picture->Canvas();
    canvas.Pen.Color = MakeColor(0x10, 0x80, 0xF0);
    canvas.Brush.Color = clGray;
    const TPoint triangle[] = {{0, 0}, {46, 2}, {5, 4}};
    canvas.Polygon(triangle);

    const std::vector<std::uint8_t> file = EncodePicture(*picture, PictureFormat::Png);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_memory(&image, file.data(), file.size()), 0);
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0);
    ASSERT_EQ(image.width, 47u);
    ASSERT_EQ(image.height, 5u);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 47; ++x) {
            const std::uint8_t* rgb = &pixels[(y * 47 + x) * 3];
            EXPECT_EQ(MakeColor(rgb[0], rgb[1], rgb[2]), picture->Pixel(x, y)) << x << "," << y;
        }
}

TEST(Png, ChosenByTheNamesEnding)
{
    EXPECT_EQ(FormatForFileName("a.png"), PictureFormat::Png);
    EXPECT_EQ(FormatForFileName("/x/LETTER.PNG"), PictureFormat::Png);
    EXPECT_EQ(FormatForFileName("a.bmp"), PictureFormat::Bmp);
    EXPECT_EQ(FormatForFileName("png"), PictureFormat::Bmp);
    EXPECT_EQ(FormatForFileName("a.png.bmp"), PictureFormat::Bmp);
    EXPECT_EQ(FormatForFileName("letter"), PictureFormat::Bmp);
}

struct SizeCase {
    PictureFormat format;
    std::int64_t width;
    std::int64_t height;
    bool fits;

    friend void PrintTo(const SizeCase& x, std::ostream* out)
    {
        *out << FormatEntry(x.format).name << " " << x.width << " x " << x.height;
    }
};

class PictureSizeTest : public ::testing::TestWithParam<SizeCase> {};

// BMP holds rows of up to 2 GiB less its header; PNG, whatever size a
// picture can have.
TEST_P(PictureSizeTest, FitsTheFormatOrSaysWhichLimit)
{
    const SizeCase& c = GetParam();
    try {
        CheckPictureSize(c.format, c.width, c.height);
        EXPECT_TRUE(c.fits) << "accepted";
    } catch (const Error& error) {
        EXPECT_FALSE(c.fits) << error.what();
        EXPECT_EQ(error.Kind(), ErrorKind::FormatLimit);
        EXPECT_EQ(std::string(error.what()), std::to_string(c.width) + " × " + std::to_string(c.height) +
                                                 " の画像は保存できません (BMP は 2 GiB まで)");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PictureSizeTest,
    ::testing::Values(SizeCase{PictureFormat::Bmp, 640, 480, true},
                      // 715827864 pixels take 2147483592 bytes, the last row that fits.
                      SizeCase{PictureFormat::Bmp, 715827864, 1, true},
                      SizeCase{PictureFormat::Bmp, 715827865, 1, false},
                      SizeCase{PictureFormat::Bmp, 1, 536870898, true}, // 4-byte rows
                      SizeCase{PictureFormat::Bmp, 1, 536870899, false},
                      SizeCase{PictureFormat::Bmp, 26754, 26754, true}, // the largest square
                      SizeCase{PictureFormat::Bmp, 26755, 26755, false},
                      SizeCase{PictureFormat::Bmp, 30000, 30000, false},
                      SizeCase{PictureFormat::Bmp, INT32_MAX, INT32_MAX, false},
                      SizeCase{PictureFormat::Bmp, 0, INT32_MAX, true}, // no pixels, nothing to hold
                      SizeCase{PictureFormat::Png, 30000, 30000, true},
                      SizeCase{PictureFormat::Png, INT32_MAX, INT32_MAX, true}));

// One table names the formats for the driver, the window and the manual page.
TEST(PictureFormats, EachIsNamedAlikeEverywhere)
{
    // The manual page the build wrote from its template.
    std::ifstream manual(MORVALETH_BINARY_DIR "/../cli/morvaleth-compose.1");
    const std::string page((std::istreambuf_iterator<char>(manual)), {});
    ASSERT_FALSE(page.empty());
    for (const PictureFormatEntry& entry : PictureFormats()) {
        EXPECT_EQ(FormatNamed(entry.name), entry.format);
        EXPECT_EQ(&FormatEntry(entry.format), &entry);
        EXPECT_EQ(FormatForFileName("letter." + std::string(entry.name)), entry.format);
        EXPECT_NE(entry.filterLabel.find("*." + std::string(entry.name)), std::string_view::npos);
        EXPECT_NE(page.find(".B " + std::string(entry.name)), std::string::npos) << entry.name << " in the manual";
        // Rows or stamps, never both.
        EXPECT_NE(entry.sink == nullptr, entry.device == nullptr) << entry.name;
    }
    EXPECT_EQ(PictureFormats().front().format, PictureFormat::Bmp);
    EXPECT_EQ(FormatNamed("gif"), std::nullopt);
}

} // namespace
} // namespace morvaleth
