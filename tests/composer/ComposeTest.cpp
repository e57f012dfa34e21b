#include "support/TestSupport.h"
#include "reference/ComposeText.h"

#include "composer/encode/Bmp.h"
#include "composer/encode/PictureFile.h"
#include "composer/Composition.h"
#include "composer/Error.h"
#include "composer/plan/StampPlan.h"
#include "reference/SubTextOut.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include <iconv.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <thread>

namespace morvaleth {
namespace {

using testing::DrawCall;
using testing::RecordingPicture;
using testing::TempDir;
using testing::WriteFile;

// Where each unit of the text was stamped on a picture of that size.
std::vector<TPoint> Placements(const std::string& text, int width, int height, int size = 20,
                               std::vector<std::u32string>* units = nullptr)
{
    TempDir folder;
    WriteFile(folder / "source.txt", text);
    RecordingPicture picture(width, height);
    CompositionSettings settings;
    settings.size = size;
    SourceReader source(folder / "source.txt", SourceEncoding::ShiftJis);
    RandomSource random(1);
    ComposeText(picture, source, settings, random);

    std::vector<TPoint> placements;
    for (const DrawCall& call : picture.canvas.Texts()) {
        placements.push_back(call.at);
        if (units)
            units->push_back(call.text);
    }
    return placements;
}

std::vector<TPoint> Row(int y, int count, int first = 20, int pitch = 22)
{
    std::vector<TPoint> row;
    for (int i = 0; i < count; ++i)
        row.push_back({first + i * pitch, y});
    return row;
}

std::vector<TPoint> Join(std::initializer_list<std::vector<TPoint>> parts)
{
    std::vector<TPoint> joined;
    for (const auto& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

TEST(Layout, EveryUnitTakesOnePitch)
{
    std::vector<std::u32string> units;
    EXPECT_EQ(Placements("\x82\xA0\x82\xA2\x61", 640, 480, 20, &units), Row(20, 3));
    EXPECT_EQ(units, (std::vector<std::u32string>{U"あ", U"い", U"a"}));
}

TEST(Layout, ARowHolds28UnitsAndThePictureTwentyRows)
{
    std::string text;
    for (int line = 0; line < 30; ++line)
        text += std::string(27, 'a') + "\r\n";
    const auto placements = Placements(text, 640, 480);
    ASSERT_EQ(placements.size(), 20u * 27);
    EXPECT_EQ(placements.back(), (TPoint{20 + 26 * 22, 438}));

    EXPECT_EQ(Placements(std::string(30, 'a'), 640, 480), Join({Row(20, 28), Row(42, 2)}));
}

TEST(Layout, ALastUnitThatWrapsLeavesAnEmptyRow)
{
    EXPECT_EQ(Placements(std::string(28, 'a') + "\r\nb", 640, 480), Join({Row(20, 28), Row(64, 1)}));
    EXPECT_EQ(Placements(std::string(27, 'a') + "\r\nb", 640, 480), Join({Row(20, 27), Row(42, 1)}));
}

TEST(Layout, EmptyLinesMoveDownOneRowEach)
{
    EXPECT_EQ(Placements("a\r\n\r\n\r\nb", 640, 480), Join({Row(20, 1), Row(86, 1)}));
}

TEST(Layout, LineEndsAndTheEndOfText)
{
    std::vector<std::u32string> units;
    EXPECT_EQ(Placements("ab\ncd\n", 640, 480, 20, &units), Join({Row(20, 2), Row(42, 2)}));
    EXPECT_EQ(units, (std::vector<std::u32string>{U"a", U"b", U"c", U"d"}));
    EXPECT_EQ(Placements("a\rb", 640, 480), Join({Row(20, 1), Row(42, 1)}));
    EXPECT_EQ(Placements("ab\x1A" "cd", 640, 480), Row(20, 2));
    EXPECT_EQ(Placements("\x1A" "abc", 640, 480), std::vector<TPoint>{});
    EXPECT_EQ(Placements("", 640, 480), std::vector<TPoint>{});
    units.clear();
    EXPECT_EQ(Placements("a\x82\r\nb", 640, 480, 20, &units), Join({Row(20, 2), Row(42, 1)}));
    EXPECT_EQ(units, (std::vector<std::u32string>{U"a", U"\uFFFD", U"b"}));
}

TEST(Layout, SmallSizesHaveNoGap)
{
    EXPECT_EQ(Placements("abc", 640, 480, 9), Row(9, 3, 9, 9));
    EXPECT_EQ(Placements("abc", 640, 480, 10), Row(10, 3, 10, 11));
}

TEST(Layout, NarrowPicturesWrapAfterEveryUnit)
{
    const std::vector<TPoint> column{{20, 20}, {20, 42}, {20, 64}};
    EXPECT_EQ(Placements("abc", 63, 480), column);
    EXPECT_EQ(Placements("abc", 0, 480), column);
    EXPECT_EQ(Placements("abc", 64, 480), Join({Row(20, 2), Row(42, 1)}));
}

TEST(Layout, TheBottomIsTestedOnlyAtLineEnds)
{
    // The first line is drawn whatever the height; the second is not.
    EXPECT_EQ(Placements("abc\r\ndef", 640, 1), Row(20, 3));
    // A long line wraps on below the bottom edge.
    const auto placements = Placements(std::string(100, 'a'), 640, 50);
    EXPECT_EQ(placements.size(), 100u);
    EXPECT_EQ(placements.back().y, 20 + 3 * 22);
}

TEST(Layout, EndlessLinesStopWellBelowThePicture)
{
    // A line of a million units on a 480-pixel picture stops once the
    // cursor has left the picture far behind, not after a million stamps.
    const auto placements = Placements(std::string(1000000, 'a'), 640, 480);
    ASSERT_FALSE(placements.empty());
    EXPECT_LT(placements.size(), 28u * 30);
    EXPECT_GT(placements.back().y, 480);
}

TEST(Layout, NothingStampedBeyondTheStopCouldReachThePicture)
{
    // Stamps at the first row the run no longer draws, with every scheme,
    // height and tilt, must leave a picture of that height untouched.
    constexpr int size = 20, height = 100;
    const int tallest = StampCellHeight(size, size / 2 - 1);
    const int firstSkippedY = height + 2 * tallest + 8;
    auto picture = testing::WhitePicture(640, height);
    RandomSource random(3);
    for (int i = 0; i < 2000; ++i) {
        const char32_t* glyphs[] = {U"■", U"ー", U"W", U"亜", U"|"};
        SubTextOut(20 + (i % 28) * 22, firstSkippedY, glyphs[i % 5], size, picture->Canvas(),
                   {"ＭＳ Ｐゴシック", true}, random);
    }
    EXPECT_TRUE(testing::InkOf(*picture).Empty());
}

TEST(Layout, EndlessDevicesEnd)
{
    EXPECT_FALSE(Placements("", 640, 480).size());
    // NUL draws no glyph; in real mode each one still gets its scrap.
    RecordingPicture picture(640, 480);
    SourceReader zeros("/dev/zero", SourceEncoding::Automatic);
    RandomSource random(1);
    CompositionSettings settings;
    settings.realMode = true;
    ComposeText(picture, zeros, settings, random);
    EXPECT_TRUE(picture.canvas.Texts().empty());
    EXPECT_GT(picture.canvas.calls.size(), 28u * 20);
}

TEST(Layout, AFifoWithoutLineEndsEnds)
{
    TempDir folder;
    const std::string fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int descriptor = ::open(fifo.c_str(), O_WRONLY);
        const std::string chunk(4096, 'x');
        while (!stop && ::write(descriptor, chunk.data(), chunk.size()) > 0) {
        }
        ::close(descriptor);
    });
    RecordingPicture picture(640, 480);
    {
        SourceReader source(fifo, SourceEncoding::Automatic);
        RandomSource random(1);
        ComposeText(picture, source, CompositionSettings{}, random);
    }
    stop = true;
    writer.join();
    EXPECT_GT(picture.canvas.Texts().size(), 28u * 20);
}

TEST(Plan, StampsAreWhatTheRunOnACanvasDraws)
{
    // The plan makes the same draws in the same order as the stamp on a
    // canvas: every stamp's place, height, tilt, colours and scrap match the
    // drawing calls, unit for unit.
    TempDir folder;
    std::string text;
    for (int line = 0; line < 12; ++line)
        text += std::string(line * 5, 'W') + "\x88\x9F\x81\x5B|\r\n";
    WriteFile(folder / "source.txt", text);
    for (const int size : {1, 20, 47})
        for (const bool realMode : {false, true}) {
            CompositionSettings settings;
            settings.size = size;
            settings.realMode = realMode;
            RecordingPicture picture(300, 400);
            {
                SourceReader source(folder / "source.txt", SourceEncoding::ShiftJis);
                RandomSource random(8);
                ComposeText(picture, source, settings, random);
            }
            SourceReader source(folder / "source.txt", SourceEncoding::ShiftJis);
            RandomSource random(8);
            FaceTable faces;
            StampPlan plan({size, realMode, settings.faceName}, source, random, faces, 300,
                           400);
            StampList list;
            while (!plan.Done())
                plan.PlanSome(1000000, list, {});

            const std::vector<DrawCall> texts = picture.canvas.Texts();
            ASSERT_EQ(list.stamps.size(), texts.size()) << "size " << size;
            std::size_t polygons = 0;
            for (std::size_t i = 0; i < texts.size(); ++i) {
                const Stamp& stamp = list.stamps[i];
                const DrawCall& drawn = texts[i];
                EXPECT_EQ((TPoint{stamp.x, stamp.y}), drawn.at) << i;
                EXPECT_EQ(stamp.cellHeight, drawn.font.Handle.lfHeight) << i;
                EXPECT_EQ(stamp.tilt, drawn.font.Handle.lfEscapement) << i;
                const ScrapColors colors = ScrapColorsFor(stamp.scheme);
                EXPECT_EQ(realMode ? colors.character : clBlack, drawn.font.Color) << i;
                EXPECT_EQ(stamp.scrap, realMode);
                if (stamp.scrap) {
                    while (picture.canvas.calls[polygons].kind != DrawCall::Kind::Polygon)
                        ++polygons;
                    const DrawCall& scrap = picture.canvas.calls[polygons++];
                    EXPECT_EQ(scrap.points[2], (TPoint{stamp.x + stamp.cellHeight + stamp.dx,
                                                       stamp.y + stamp.cellHeight + stamp.dy}))
                        << i;
                    EXPECT_EQ(scrap.brush.Color, colors.fill) << i;
                    EXPECT_EQ(scrap.pen.Color, colors.outline) << i;
                }
            }
        }
}

// ---- Whole runs -----------------------------------------------------------

CompositionSettings SettingsFor(const std::string& path, std::uint32_t seed, bool realMode = false)
{
    CompositionSettings settings;
    settings.sourcePath = path;
    settings.seed = seed;
    settings.realMode = realMode;
    return settings;
}

const std::string Letter = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-sjis.txt";

TEST(ComposePicture, TheSameSeedGivesTheSameBytes)
{
    for (bool realMode : {false, true}) {
        const auto first = EncodePicture(*ComposePicture(SettingsFor(Letter, 1234, realMode)), PictureFormat::Bmp);
        const auto second = EncodePicture(*ComposePicture(SettingsFor(Letter, 1234, realMode)), PictureFormat::Bmp);
        const auto other = EncodePicture(*ComposePicture(SettingsFor(Letter, 1235, realMode)), PictureFormat::Bmp);
        EXPECT_EQ(first.size(), 921654u);
        EXPECT_TRUE(first == second);
        EXPECT_FALSE(first == other);
    }
}

TEST(ComposePicture, ShiftJisAndUtf8LettersMakeTheSamePicture)
{
    const std::string utf8 = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-utf8.txt";
    EXPECT_TRUE(EncodePicture(*ComposePicture(SettingsFor(Letter, 7, true)), PictureFormat::Bmp) ==
                EncodePicture(*ComposePicture(SettingsFor(utf8, 7, true)), PictureFormat::Bmp));
}

// ---- Text as people have it -----------------------------------------------

// The text in another encoding, through iconv.
std::string Encoded(const std::string& utf8, const char* encoding)
{
    iconv_t converter = iconv_open(encoding, "UTF-8");
    EXPECT_NE(converter, iconv_t(-1)) << encoding;
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* at = out.data();
    std::size_t outLeft = out.size();
    EXPECT_NE(iconv(converter, &in, &inLeft, &at, &outLeft), std::size_t(-1)) << encoding;
    iconv(converter, nullptr, nullptr, &at, &outLeft); // back to ASCII at the end
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

std::string WithLineEnds(std::string text, const std::string& lineEnd)
{
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += lineEnd.size())
        text.replace(at, 1, lineEnd);
    return text;
}

struct EncodingCase {
    const char* name;
    const char* encoding; // iconv's name
    const char* lineEnd;
    std::string mark;     // bytes before the text
    SourceEncoding requested = SourceEncoding::Automatic;

    friend void PrintTo(const EncodingCase& x, std::ostream* out) { *out << x.name; }
};

class SameTextTest : public ::testing::TestWithParam<EncodingCase> {};

// Kana, kanji, full-width and ASCII, an empty line and a last line without
// its line end.
const std::string Greeting = "拝啓\n秋も深まり、朝晩は冷え込むようになりました。\n\nＡＢＣ abc 123 (!)\n敬具";

// The picture of a file holding the bytes; the same bytes held in memory must
// make the same picture, byte for byte.
std::vector<std::uint8_t> PictureOf(const std::string& bytes, SourceEncoding requested)
{
    TempDir folder;
    WriteFile(folder / "letter.txt", bytes);
    CompositionSettings settings;
    settings.sourcePath = folder / "letter.txt";
    settings.seed = 77;
    settings.realMode = true;
    settings.widthText = "300";
    settings.encoding = requested;
    const std::vector<std::uint8_t> fromFile = EncodePicture(*ComposePicture(settings), PictureFormat::Bmp);
    settings.sourcePath.clear();
    settings.sourceText = bytes;
    EXPECT_TRUE(EncodePicture(*ComposePicture(settings), PictureFormat::Bmp) == fromFile) << "the bytes held in memory";
    return fromFile;
}

TEST_P(SameTextTest, GivesThePictureOfUtf8WithCrLf)
{
    const EncodingCase& c = GetParam();
    const std::string bytes = c.mark + Encoded(WithLineEnds(Greeting, c.lineEnd), c.encoding);
    EXPECT_TRUE(PictureOf(bytes, c.requested) == PictureOf(WithLineEnds(Greeting, "\r\n"), SourceEncoding::Automatic));
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, SameTextTest,
    ::testing::Values(EncodingCase{"Utf8Lf", "UTF-8", "\n", ""},
                      EncodingCase{"Utf8Cr", "UTF-8", "\r", ""},
                      EncodingCase{"Utf8MarkLf", "UTF-8", "\n", "\xEF\xBB\xBF"},
                      EncodingCase{"ShiftJisCrLf", "CP932", "\r\n", ""},
                      EncodingCase{"ShiftJisLf", "CP932", "\n", ""},
                      EncodingCase{"EucJpLf", "EUC-JP", "\n", ""},
                      EncodingCase{"EucJpNamed", "EUC-JP", "\r\n", "", SourceEncoding::EucJp},
                      EncodingCase{"Iso2022JpCrLf", "ISO-2022-JP", "\r\n", ""},
                      EncodingCase{"Utf16LeMarkCrLf", "UTF-16LE", "\r\n", "\xFF\xFE"},
                      EncodingCase{"Utf16BeMarkLf", "UTF-16BE", "\n", "\xFE\xFF"},
                      EncodingCase{"Utf16LeNamedWithoutMark", "UTF-16LE", "\n", "", SourceEncoding::Utf16}),
    [](const auto& info) { return std::string(info.param.name); });

std::string Repeated(std::string_view piece, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

struct SamePictureCase {
    const char* name;
    std::string bytes;
    std::string sameAs;

    friend void PrintTo(const SamePictureCase& x, std::ostream* out) { *out << x.name; }
};

class SamePictureTest : public ::testing::TestWithParam<SamePictureCase> {};

TEST_P(SamePictureTest, DrawsTheSame)
{
    EXPECT_TRUE(PictureOf(GetParam().bytes, SourceEncoding::Automatic) ==
                PictureOf(GetParam().sameAs, SourceEncoding::Automatic));
}

INSTANTIATE_TEST_SUITE_P(
    Units, SamePictureTest,
    ::testing::Values(
        // A decomposed character takes one cell, as its composed form does.
        SamePictureCase{"DecomposedKana", "か\xE3\x82\x99き", "がき"},
        SamePictureCase{"DecomposedLatin", "cafe\xCC\x81 ok", "café ok"},
        // A control character takes its cell like a space: its draws and its
        // scrap, and no glyph.
        SamePictureCase{"Tab", "a\tb", "a b"},
        SamePictureCase{"OtherControls", std::string("a\0\x7F\x1B" "b", 5), "a   b"},
        SamePictureCase{"ControlsInShiftJis", "\x82\xA0\t\x82\xA0", "\x82\xA0 \x82\xA0"},
        // Japanese first seen after 64 KiB of ASCII is still read as UTF-8.
        SamePictureCase{"LateUtf8", std::string(70000, ' ') + "拝啓", std::string(70000, ' ') + "\x94\x71\x8C\x5B"},
        // Invisible characters take no place: zero-width space, a byte-order
        // mark inside the text (two Notepad files joined), bidirectional
        // controls, the word joiner, the soft hyphen, a tag.
        SamePictureCase{"ZeroWidthSpace", "a\u200Bb", "ab"},
        SamePictureCase{"ByteOrderMarkInside", "\xEF\xBB\xBF" "a\uFEFFb", "ab"},
        SamePictureCase{"Utf16FilesJoined", std::string("\xFF\xFE" "a\0\xFF\xFE" "b\0", 8), "ab"},
        SamePictureCase{"BidirectionalControls", "a\u200E\u202A\u2066\u2069\u202Cb", "ab"},
        SamePictureCase{"WordJoinerAndSoftHyphen", "a\u2060b\u00ADc", "abc"},
        SamePictureCase{"TagAloneAtALineStart", "a\n\U000E0041b", "a\nb"},
        // A cluster keeps its first 32 code points, however long it is.
        SamePictureCase{"EndlessMarks", "a" + Repeated("\xCC\x81", 5000) + "b", "a" + Repeated("\xCC\x81", 31) + "b"},
        // The same characters from every encoding: a compatibility
        // ideograph from UTF-8 and CP932, NEC's ① from EUC-JP and UTF-8,
        // UTF-16 without a mark.
        SamePictureCase{"CompatibilityIdeograph", "\xEF\xA8\x90", "\xFA\x9C"},
        SamePictureCase{"EucJpWithNecSpecial", "\xA4\xA2\xAD\xA1", "あ①"},
        SamePictureCase{"Utf16WithoutAMark", std::string("a\0\r\0\n\0B0", 8), "a\r\nあ"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComposePicture, SkippingOffPictureTextChangesNoPixel)
{
    // Lines that wrap past the right and bottom edges, in both modes.
    TempDir folder;
    std::string text;
    for (int line = 0; line < 40; ++line)
        text += std::string(line * 3, 'W') + "\x88\x9F\x81\x5B\r\n";
    WriteFile(folder / "source.txt", text);
    for (bool realMode : {false, true}) {
        std::vector<std::uint8_t> pictures[2];
        for (bool culling : {false, true}) {
            TBitmap picture;
            picture.SetHeight(300);
            picture.SetWidth(250);
            picture.Canvas().SetOffPictureCulling(culling);
            SourceReader source(folder / "source.txt", SourceEncoding::Automatic);
            RandomSource random(99);
            ComposeText(picture, source, SettingsFor("", 0, realMode), random);
            pictures[culling] = EncodePicture(picture.Pixels(), PictureFormat::Bmp);
        }
        EXPECT_TRUE(pictures[0] == pictures[1]) << (realMode ? "real" : "plain");
    }
}

// Latin letters, a TAB, kana, a kanji, a decomposed kana and an ideograph
// the IPA faces lack, in UTF-8 with LF line ends.
const char MixedFacesText[] = "Wag\tあ漢\nか\xE3\x82\x99 \xF0\xA0\xAE\xB7 gW\n";

// The stamps planned from a canvas path's draws and the bands painted from
// them must agree pixel for pixel, whichever faces the units fall back to.
// The fallback faces first turn up far down, while the render threads paint
// the rows above.
TEST(ComposePicture, TheBandsPaintWhatTheCanvasStampsInEveryFace)
{
    TempDir folder;
    std::string text;
    for (int line = 0; line < 100; ++line)
        text += "Wag gW\n";
    for (int line = 0; line < 30; ++line)
        text += MixedFacesText;
    WriteFile(folder / "source.txt", text);
    for (const char* face : {"ＭＳ Ｐゴシック", "DejaVu Serif", "DejaVu Sans Mono"})
        for (bool realMode : {false, true}) {
            CompositionSettings settings = SettingsFor(folder / "source.txt", 42, realMode);
            settings.faceName = face;
            settings.widthText = "300";
            settings.heightText = "3500";
            TBitmap canvas;
            canvas.SetHeight(3500);
            canvas.SetWidth(300);
            SourceReader source(folder / "source.txt", SourceEncoding::Automatic);
            RandomSource random(42);
            ComposeText(canvas, source, settings, random);
            settings.render = {2, 5};
            EXPECT_TRUE(EncodePicture(canvas.Pixels(), PictureFormat::Bmp) == EncodePicture(*ComposePicture(settings), PictureFormat::Bmp))
                << face << (realMode ? " real" : " plain");
        }
}

TEST(StampPlan, ALatinFaceDrawsLettersItselfAndLeavesKanaToAnother)
{
    TempDir folder;
    WriteFile(folder / "source.txt", MixedFacesText);
    SourceReader source(folder / "source.txt", SourceEncoding::Automatic);
    RandomSource random(3);
    FaceTable faces;
    StampPlan plan({20, true, "DejaVu Serif"}, source, random, faces, 640, 480);
    StampList list;
    while (!plan.Done())
        plan.PlanSome(1000, list, {});
    // W a g TAB あ 漢 / か+゛ space 𠮷 space g W
    ASSERT_EQ(list.stamps.size(), 12u);
    const auto faceOf = [&](std::size_t i) { return faces.Location(list.stamps[i].face).family; };
    EXPECT_EQ(faceOf(0), "DejaVu Serif");
    EXPECT_EQ(list.stamps[0].face, list.stamps[11].face);
    EXPECT_EQ(list.stamps[3].codePointCount, 0u) << "a TAB draws no glyph";
    EXPECT_TRUE(list.stamps[3].scrap);
    EXPECT_NE(list.stamps[4].face, list.stamps[0].face);
    EXPECT_EQ(list.CodePointsOf(list.stamps[6]), U"が");
    EXPECT_EQ(list.stamps[4].face, list.stamps[6].face) << "kana share one face, opened once";
}

TEST(ComposePicture, AnEmptyFileGivesABlankPictureOfTheRequestedSize)
{
    TempDir folder;
    WriteFile(folder / "empty.txt", "");
    auto settings = SettingsFor(folder / "empty.txt", 1);
    settings.widthText = " 100";
    settings.heightText = "$20";
    const auto picture = ComposePicture(settings);
    EXPECT_EQ(picture->Width(), 100);
    EXPECT_EQ(picture->Height(), 32);
    EXPECT_TRUE(testing::InkOf(*picture).Empty());
}

TEST(ComposePicture, AnEmptyPathGivesNoPictureButAnEmptyTextInMemoryABlankOne)
{
    EXPECT_EQ(ComposePicture(CompositionSettings{}), nullptr);
    CompositionSettings settings;
    settings.sourceText = "";
    const auto picture = ComposePicture(settings);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), 640);
    EXPECT_TRUE(testing::InkOf(*picture).Empty());
}

TEST(ComposePicture, ATextInMemoryIsReadInsteadOfTheFileNamed)
{
    auto settings = SettingsFor(Letter, 5, true);
    const auto fromFile = EncodePicture(*ComposePicture(settings), PictureFormat::Bmp);
    settings.sourceText = "Dear friend,\n";
    const auto fromMemory = EncodePicture(*ComposePicture(settings), PictureFormat::Bmp);
    EXPECT_FALSE(fromMemory == fromFile);
    settings.sourcePath = "/no/such/letter.txt";
    EXPECT_TRUE(EncodePicture(*ComposePicture(settings), PictureFormat::Bmp) == fromMemory);
}

TEST(ComposePicture, ProgressClimbsToEveryRowAndCancelLeavesNoPicture)
{
    std::vector<std::int64_t> done;
    RunControl control;
    control.progress = [&](std::int64_t rows, std::int64_t total) {
        EXPECT_EQ(total, 480);
        done.push_back(rows);
    };
    const auto picture = ComposePicture(SettingsFor(Letter, 5, true), control);
    ASSERT_NE(picture, nullptr);
    ASSERT_FALSE(done.empty());
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(std::adjacent_find(done.begin(), done.end()), done.end());
    EXPECT_EQ(done.back(), 480);
    // Progress changes nothing of the picture.
    EXPECT_TRUE(EncodePicture(*picture, PictureFormat::Bmp) == EncodePicture(*ComposePicture(SettingsFor(Letter, 5, true)), PictureFormat::Bmp));

    // Asked to stop before it starts, or from its first progress report on.
    for (bool fromProgress : {false, true}) {
        std::atomic<bool> cancel = !fromProgress;
        RunControl stopping;
        stopping.cancel = &cancel;
        stopping.progress = [&](std::int64_t, std::int64_t) { cancel = true; };
        try {
            ComposePicture(SettingsFor(Letter, 5, true), stopping);
            ADD_FAILURE() << "the run was not cancelled";
        } catch (const Error& error) {
            EXPECT_EQ(error.Kind(), ErrorKind::Cancelled);
        }
    }
}

// Progress starts at none of the rows and climbs to all of them. A run in
// columns reads its whole text before it paints: the reading shows as the
// first half, before any row is finished.
TEST(ComposePicture, ProgressInColumnsShowsTheReadingAsTheFirstHalf)
{
    TempDir folder;
    WriteFile(folder / "line.txt", std::string(40000, 'a'));
    for (const Writing writing : {Writing::Rows, Writing::Columns}) {
        CompositionSettings settings;
        settings.sourcePath = folder / "line.txt";
        settings.size = 4;
        settings.seed = 1;
        settings.writing = writing;
        std::vector<std::int64_t> done;
        RunControl control;
        control.progress = [&](std::int64_t rows, std::int64_t total) {
            EXPECT_EQ(total, 480);
            done.push_back(rows);
        };
        ASSERT_NE(ComposePicture(settings, control), nullptr);
        ASSERT_GE(done.size(), 2u);
        EXPECT_EQ(done.front(), 0);
        EXPECT_EQ(done.back(), 480);
        EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
        const bool readingShown = std::any_of(done.begin(), done.end(), [](std::int64_t rows) { return rows > 0 && rows < 240; });
        EXPECT_EQ(readingShown, writing == Writing::Columns) << "reports: " << ::testing::PrintToString(done);
    }
}

struct FailureCase {
    const char* name;
    std::string widthText;
    std::string heightText;
    std::string path; // relative to a folder holding "letter.txt"
    int size;
    std::string message;

    friend void PrintTo(const FailureCase& x, std::ostream* out) { *out << x.name; }
};

class ComposeFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ComposeFailureTest, FailsWithTheMessage)
{
    TempDir folder;
    WriteFile(folder / "letter.txt", "abc");
    CompositionSettings settings;
    settings.sourcePath = folder / GetParam().path;
    settings.widthText = GetParam().widthText;
    settings.heightText = GetParam().heightText;
    settings.size = GetParam().size;
    try {
        ComposePicture(settings);
        FAIL() << "the run succeeded";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ComposeFailureTest,
    ::testing::Values(FailureCase{"BadWidth", "640 ", "480", "letter.txt", 20, "'640 ' は整数ではありません"},
                      FailureCase{"BadHeightFirst", "x", "y", "missing.txt", 20, "'y' は整数ではありません"},
                      FailureCase{"SizeBeforeFile", "abc", "480", "missing.txt", 20, "'abc' は整数ではありません"},
                      FailureCase{"NegativeWidth", "-1", "480", "letter.txt", 20, "画像の大きさに負の数 -1 は使えません"},
                      FailureCase{"NegativeHeightBeforeABadWidth", "x", "$FFFFFFFE", "letter.txt", 20,
                                  "画像の大きさに負の数 -2 は使えません"},
                      FailureCase{"HugePicture", "99999", "99999", "letter.txt", 20, "ｼｽﾃﾑ ﾘｿｰｽが足りません"},
                      FailureCase{"MissingFile", "640", "480", "missing.txt", 20, "ﾌｧｲﾙが見つかりません"},
                      FailureCase{"MissingFolder", "640", "480", "gone/letter.txt", 20, "不正なﾌｧｲﾙ名です"},
                      FailureCase{"Folder", "640", "480", ".", 20, "ﾌｧｲﾙではなくﾌｫﾙﾀﾞです"},
                      FailureCase{"SizeZero", "640", "480", "letter.txt", 0, "ﾌｫﾝﾄ ｻｲｽﾞ 0 は使えません (1 から 65535 まで)"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace morvaleth
