// The PNG encoder: its files decode (by libpng, which shares nothing with it)
// to the picture's pixels, in grey when every pixel is grey; its bytes do not
// depend on how the work is split; and a picture keeps how it was made.

#include "support/TestSupport.h"

#include "composer/Composition.h"
#include "composer/Error.h"
#include "composer/Recipe.h"
#include "composer/encode/PictureFile.h"
#include "composer/encode/Png.h"

#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <ostream>
#include <string>
#include <vector>

namespace morvaleth {
namespace {

struct Decoded {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    png_uint_32 format = 0;
    std::vector<std::uint8_t> pixels; // red, green, blue
};

Decoded Decode(const std::vector<std::uint8_t>& file)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Decoded decoded;
    if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0)
        return decoded;
    decoded.format = image.format;
    image.format = PNG_FORMAT_RGB;
    decoded.pixels.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, decoded.pixels.data(), 0, nullptr) == 0)
        return {};
    decoded.width = image.width;
    decoded.height = image.height;
    return decoded;
}

// The picture's own pixels as red, green, blue.
std::vector<std::uint8_t> RgbOf(const PixelPicture& picture)
{
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const std::uint8_t* pixel = picture.ScanLine(y) + std::size_t(x) * 3;
            rgb.insert(rgb.end(), {pixel[2], pixel[1], pixel[0]});
        }
    return rgb;
}

const std::string Letter = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-sjis.txt";

CompositionSettings LetterSettings(int width, int height)
{
    CompositionSettings settings;
    settings.sourcePath = Letter;
    settings.widthText = std::to_string(width);
    settings.heightText = std::to_string(height);
    settings.realMode = true;
    settings.seed = 12;
    return settings;
}

struct SplitCase {
    const char* name;
    int renderThreads;
    int bandRows;
    int encodeThreads;

    friend void PrintTo(const SplitCase& x, std::ostream* out) { *out << x.name; }
};

class PngSplitTest : public ::testing::TestWithParam<SplitCase> {};

// A picture as tall as several of the encoder's blocks (a row of 5000 grey
// pixels, about 200 rows a block), streamed from the run on any split, gives
// the bytes of the picture encoded whole on one thread.
TEST_P(PngSplitTest, GivesTheSameBytesAndDecodesToThePicture)
{
    CompositionSettings settings = LetterSettings(5000, 700);
    const auto picture = ComposePicture(settings);
    const std::vector<std::uint8_t> whole = EncodePicture(*picture, PictureFormat::Png, {.threads = 1});

    settings.render = {GetParam().renderThreads, GetParam().bandRows};
    MemoryOutput streamed;
    CompositionRun run(settings);
    run.Render(*PngSink(streamed, {.threads = GetParam().encodeThreads}));
    EXPECT_TRUE(streamed.Bytes() == whole);

    const Decoded decoded = Decode(whole);
    EXPECT_EQ(decoded.width, 5000u);
    EXPECT_EQ(decoded.height, 700u);
    EXPECT_EQ(decoded.format, png_uint_32(PNG_FORMAT_GRAY)) << "every pixel is grey";
    EXPECT_TRUE(decoded.pixels == RgbOf(*picture));
}

INSTANTIATE_TEST_SUITE_P(Splits, PngSplitTest,
                         ::testing::Values(SplitCase{"OneThread", 1, 0, 1}, SplitCase{"BandsOfSeven", 3, 7, 2},
                                           SplitCase{"RowByRow", 2, 1, 4}, SplitCase{"ManyThreads", 8, 0, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

// A picture with colour keeps it, as RGB; a level asked for compresses
// harder, and level 0 not at all, with the same pixels.
TEST(Png, ColourIsKeptAndEveryLevelDecodesToThePicture)
{
    auto picture = testing::WhitePicture(301, 97);
    TCanvas& canvas = picture->Canvas();
    canvas.Brush.Color = MakeColor(0xE0, 0x30, 0x10);
    canvas.Pen.Color = clGray;
    const TPoint triangle[] = {{3, 2}, {290, 40}, {40, 95}};
    canvas.Polygon(triangle);
    const PixelPicture& pixels = *picture;
    ASSERT_FALSE(IsGrey(pixels));

    const std::vector<std::uint8_t> fast = EncodePicture(pixels, PictureFormat::Png);
    const std::vector<std::uint8_t> stored = EncodePicture(pixels, PictureFormat::Png, {.pngLevel = 0});
    const std::vector<std::uint8_t> smallest = EncodePicture(pixels, PictureFormat::Png, {.pngLevel = 9});
    for (const auto* file : {&fast, &stored, &smallest}) {
        const Decoded decoded = Decode(*file);
        EXPECT_EQ(decoded.format, png_uint_32(PNG_FORMAT_RGB));
        EXPECT_TRUE(decoded.pixels == RgbOf(pixels));
    }
    // Stored: at least every filtered byte of the rows.
    EXPECT_GE(stored.size(), std::size_t(97) * (1 + 301 * 3));
    EXPECT_LT(smallest.size(), fast.size());
}

// The recipe goes with the picture from the run into its file and comes back
// as the settings and seed that made it, the encoding as the text was read;
// the text itself only when asked for.
TEST(Recipe, TravelsWithThePictureAndKeepsTheTextOnlyWhenAsked)
{
    CompositionSettings settings = LetterSettings(300, 200);
    settings.writing = Writing::Columns;
    settings.faces = {FaceMix::Listed, {"IPAMincho", "IPAGothic"}, true};
    for (const bool embed : {false, true}) {
        settings.embedText = embed;
        const auto picture = ComposePicture(settings);
        const std::vector<std::uint8_t> file = EncodePicture(*picture, PictureFormat::Png);
        testing::TempDir folder;
        testing::WriteFile(folder / "letter.png", std::string(file.begin(), file.end()));
        const PictureNotes notes = ReadPngNotes(folder / "letter.png");
        EXPECT_EQ(notes, picture->Notes());

        const std::optional<MadeWith> made = ReadRecipe(notes);
        ASSERT_TRUE(made);
        EXPECT_EQ(made->seed, 12u);
        EXPECT_EQ(made->read, SourceEncoding::ShiftJis);
        EXPECT_EQ(made->settings.writing, Writing::Columns);
        EXPECT_EQ(made->settings.faces, settings.faces);
        EXPECT_TRUE(made->settings.realMode);
        EXPECT_EQ(made->settings.widthText, "300");
        // 拝啓, the letter's first word, as UTF-8: in the file only when kept,
        // compressed or not.
        const std::string greeting = "\xE6\x8B\x9D\xE5\x95\x93";
        const std::string bytes(file.begin(), file.end());
        EXPECT_EQ(bytes.find(greeting) != std::string::npos, embed);
        EXPECT_EQ(made->settings.sourceText.has_value(), embed);
        if (embed) {
            EXPECT_EQ(made->settings.sourceText->substr(0, greeting.size()), greeting);
        }
    }
}

// Files that are no PNG of the program's, or that break off, say so.
TEST(Recipe, IsRefusedFromAFileThatHoldsNone)
{
    testing::TempDir folder;
    const auto file = EncodePicture(*ComposePicture(LetterSettings(64, 48)), PictureFormat::Png);
    const std::string png(file.begin(), file.end());
    std::string badCheck = png;
    badCheck[badCheck.find("iTXt") + 8] ^= 1; // a byte of the first note's keyword
    const std::pair<const char*, std::string> refused[] = {
        {"text.txt", "拝啓\n"}, {"cut.png", png.substr(0, png.size() - 20)}, {"bad-check.png", badCheck}};
    for (const auto& [name, bytes] : refused) {
        testing::WriteFile(folder / name, bytes);
        try {
            ReadPngNotes(folder / name);
            ADD_FAILURE() << name << " was read";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), "ﾌｧｲﾙ " + (folder / name) + " には作り方が記録されていません");
        }
    }
    // A PNG without notes reads as none.
    PixelPicture plain;
    plain.SetHeight(2);
    plain.SetWidth(2);
    const auto bare = EncodePicture(plain, PictureFormat::Png);
    testing::WriteFile(folder / "bare.png", std::string(bare.begin(), bare.end()));
    EXPECT_FALSE(ReadRecipe(ReadPngNotes(folder / "bare.png")));
}

} // namespace
} // namespace morvaleth
