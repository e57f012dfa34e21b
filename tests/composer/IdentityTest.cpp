// The pictures of a table of runs, pinned by checksum. The checksums were
// taken from the engine that painted every stamp straight into one picture in
// a single pass; however the work is split now (threads, bands), each run must
// give the very same bytes.

#include "support/TestSupport.h"

#include "composer/encode/Bmp.h"
#include "composer/encode/PictureFile.h"
#include "composer/Composition.h"
#include "composer/faces/FaceSet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

namespace morvaleth {
namespace {

using testing::TempDir;
using testing::WriteFile;

// Lines of every length from empty to well past a row, in Shift-JIS: kanji,
// kana, half-width katakana, letters, a tab (a blank cell with its scrap),
// and a lone lead byte at one line's end.
std::string MixedShiftJis(int lines)
{
    const std::string pieces[] = {"\x8a\xbf", "\x82\xa0", "\x83\x41", "\xb1", "W", "g", "\t", "|", "\x81\x5b", " "};
    std::string text;
    for (int line = 0; line < lines; ++line) {
        for (int i = 0; i < (line * 7) % 45; ++i)
            text += pieces[(line + i * 3) % 10];
        if (line == 5)
            text += "\x88";
        text += "\r\n";
    }
    return text;
}

// The same kind of text in UTF-8, with lone LFs that end lines of their own.
std::string MixedUtf8(int lines)
{
    const std::string pieces[] = {"漢", "あ", "ア", "ｱ", "W", "g", "\n", "字", "ー", " "};
    std::string text;
    for (int line = 0; line < lines; ++line) {
        for (int i = 0; i < (line * 5) % 37; ++i)
            text += pieces[(line + i * 7) % 10];
        text += "\r\n";
    }
    return text;
}

// One line that never ends: the run stops once the rows fall far below the
// picture.
std::string EndlessLine()
{
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += i % 3 == 0 ? "\x8a\xbf" : "M";
    return text;
}

enum class Text { LetterShiftJis, LetterUtf8, MixedShiftJis, MixedUtf8, Endless };

struct IdentityCase {
    const char* name;
    Text text;
    int size;
    int width;
    int height;
    bool realMode;
    std::uint32_t seed;
    std::uint64_t checksum;
    bool vertical = false;
    // Mixed faces: the faces listed, and whether some are cut in bold.
    const char* faces = nullptr;
    bool boldCuts = false;

    friend void PrintTo(const IdentityCase& x, std::ostream* out) { *out << x.name; }
};

const IdentityCase IdentityCases[] = {
    {"LetterPlain", Text::LetterShiftJis, 20, 640, 480, false, 1, 0xf5ab808420d4dde9},
    {"LetterReal", Text::LetterShiftJis, 20, 640, 480, true, 2, 0x4648d2421e9b1bc9},
    {"LetterUtf8Real", Text::LetterUtf8, 20, 640, 480, true, 3, 0x7904490b64b48c80},
    {"Size1Real", Text::MixedShiftJis, 1, 120, 80, true, 4, 0x808b7d7afde5464b},
    {"Size3Plain", Text::MixedShiftJis, 3, 200, 100, false, 5, 0x831cfd7bbb34c154},
    {"Size9Real", Text::MixedUtf8, 9, 300, 200, true, 6, 0x1ed9d7c028cf0625},
    {"Size47Real", Text::MixedShiftJis, 47, 900, 600, true, 7, 0x3c58ffbc873ccefd},
    {"Size120Plain", Text::MixedUtf8, 120, 1000, 700, false, 8, 0x9e8bcbd31651c370},
    {"Size200Real", Text::MixedShiftJis, 200, 1300, 900, true, 9, 0xe28c02b7e6f35119},
    {"NarrowReal", Text::MixedShiftJis, 20, 50, 700, true, 10, 0x78e45e2e4ee06c4a},
    {"ThinTallReal", Text::MixedUtf8, 31, 29, 1500, true, 11, 0x914325e0a993fb26},
    {"WideReal", Text::MixedUtf8, 14, 3000, 150, true, 12, 0x62eae5709a48aadd},
    {"WidePlain", Text::MixedShiftJis, 20, 2500, 90, false, 13, 0xa29e59972ecb6025},
    {"EndlessReal", Text::Endless, 20, 640, 300, true, 14, 0xc5038a4e1ed6b12f},
    {"EndlessSmallPlain", Text::Endless, 5, 400, 200, false, 15, 0xe9172880d061371d},
    {"OneRowReal", Text::MixedShiftJis, 20, 640, 1, true, 16, 0x783285f144fed67e},
    {"NoPixels", Text::MixedShiftJis, 20, 0, 100, true, 17, 0x2adcc4f07b1c9121},
    // Recorded from the engine as it stood when columns and mixed faces came in.
    {"ColumnsReal", Text::LetterUtf8, 20, 300, 600, true, 18, 0x70dc2069b59a34eb, true},
    {"ColumnsMixedPlain", Text::MixedShiftJis, 14, 500, 400, false, 19, 0xa38efb510b173982, true},
    {"ColumnsEndlessReal", Text::Endless, 9, 200, 300, true, 20, 0xa8e68837f4c7ff3b, true},
    {"ListedBoldReal", Text::LetterUtf8, 20, 640, 480, true, 21, 0xaa6d7f4bb75e5048, false, "IPAMincho, IPAPGothic, DejaVu Serif", true},
    {"ListedColumnsBoldReal", Text::MixedUtf8, 24, 600, 500, true, 22, 0xb50956fad53cc999, true, "IPAPMincho,IPAGothic", true},
    {"ListedRowsPlain", Text::MixedShiftJis, 11, 400, 300, false, 23, 0xffc0ae2229bf8be3, false, "DejaVu Sans,IPAMincho"},
};

// FNV-1a over the picture's size and pixel rows.
std::uint64_t Checksum(const PixelPicture& picture)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    const auto add = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 0x100000001b3u;
    };
    for (int value : {picture.Width(), picture.Height()})
        for (int shift = 0; shift < 32; shift += 8)
            add(std::uint8_t(unsigned(value) >> shift));
    if (picture.HasPixels())
        for (int y = 0; y < picture.Height(); ++y)
            for (std::size_t i = 0; i < picture.Stride(); ++i)
                add(picture.ScanLine(y)[i]);
    return hash;
}

// Each case composed once per split of the work: the thread count and the
// rows per band (0: the engine's own choice).
struct Split {
    int threads;
    int bandRows;
};

class IdentityTest : public ::testing::TestWithParam<IdentityCase> {
protected:
    static void SetUpTestSuite()
    {
        folder_ = new TempDir;
        WriteFile(*folder_ / "mixed-sjis.txt", MixedShiftJis(60));
        WriteFile(*folder_ / "mixed-utf8.txt", MixedUtf8(60));
        WriteFile(*folder_ / "endless.txt", EndlessLine());
    }
    static void TearDownTestSuite()
    {
        delete folder_;
        folder_ = nullptr;
    }

    static CompositionSettings SettingsFor(const IdentityCase& run)
    {
        CompositionSettings settings;
        switch (run.text) {
        case Text::LetterShiftJis:
            settings.sourcePath = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-sjis.txt";
            break;
        case Text::LetterUtf8:
            settings.sourcePath = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-utf8.txt";
            break;
        case Text::MixedShiftJis:
            settings.sourcePath = *folder_ / "mixed-sjis.txt";
            break;
        case Text::MixedUtf8:
            settings.sourcePath = *folder_ / "mixed-utf8.txt";
            break;
        case Text::Endless:
            settings.sourcePath = *folder_ / "endless.txt";
            break;
        }
        settings.encoding = run.text == Text::LetterUtf8 || run.text == Text::MixedUtf8 ? SourceEncoding::Utf8
                                                                                       : SourceEncoding::ShiftJis;
        settings.size = run.size;
        settings.widthText = std::to_string(run.width);
        settings.heightText = std::to_string(run.height);
        settings.realMode = run.realMode;
        settings.seed = run.seed;
        settings.writing = run.vertical ? Writing::Columns : Writing::Rows;
        if (run.faces != nullptr) {
            settings.faces.mix = FaceMix::Listed;
            settings.faces.listed = SplitFaceList(run.faces);
            settings.faces.syntheticBold = run.boldCuts;
        }
        return settings;
    }

    static TempDir* folder_;
};

TempDir* IdentityTest::folder_ = nullptr;

TEST_P(IdentityTest, EverySplitOfTheWorkGivesTheRecordedPicture)
{
    const IdentityCase& run = GetParam();
    const Split splits[] = {{1, 0}, {1, 1}, {2, 0}, {2, 7}, {3, 16}, {3, 0}, {8, 0}, {8, 3}};
    for (const Split split : splits) {
        CompositionSettings settings = SettingsFor(run);
        settings.render = {split.threads, split.bandRows};
        const auto picture = ComposePicture(settings);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->Width(), run.width);
        EXPECT_EQ(picture->Height(), run.height);
        char actual[32];
        std::snprintf(actual, sizeof actual, "0x%016llx", static_cast<unsigned long long>(Checksum(*picture)));
        EXPECT_EQ(Checksum(*picture), run.checksum)
            << run.name << " on " << split.threads << " threads, " << split.bandRows << " rows a band: " << actual;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, IdentityTest, ::testing::ValuesIn(IdentityCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace morvaleth
