// The PDF and SVG outputs: the same letter as the picture, text that reads
// in the letter's order, each face and each outline written once.

#include "support/InkCompare.h"
#include "support/TestSupport.h"

#include "composer/Composition.h"
#include "composer/Error.h"
#include "composer/encode/Formats.h"
#include "composer/faces/GlyphSetting.h"
#include "composer/save/FileSave.h"
#include "composer/text/SourceReader.h"
#include "composer/vector/PdfDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <regex>
#include <set>

namespace morvaleth {
namespace {

using testing::RunTool;

const std::string Examples = std::string(MORVALETH_SOURCE_DIR) + "/examples/";

struct Mode {
    const char* name;
    const char* text;
    const char* width;
    const char* height;
    bool real;
    Writing writing;
    std::vector<std::string> faces; // listed faces, cut in bold now and then; none for the default face
    std::uint32_t seed;
    std::int32_t size = 20;
};

const Mode Modes[] = {
    {"Plain", "letter-utf8.txt", "640", "480", false, Writing::Rows, {}, 20261207},
    {"Real", "letter-utf8.txt", "640", "480", true, Writing::Rows, {}, 20261207},
    {"Vertical", "letter-utf8.txt", "300", "600", true, Writing::Columns, {}, 7},
    {"MixedBold", "letter-utf8.txt", "640", "480", true, Writing::Rows, {"IPAGothic", "IPAPMincho"}, 3},
    // A face of OpenType (CFF) outlines and one of TrueType outlines.
    {"LatinMixedBold", "letter-ascii.txt", "640", "480", true, Writing::Rows, {"Nimbus Sans", "DejaVu Serif"}, 9},
    // Large enough that a bold cutting's thickening (a 24th of the em, 4
    // pixels here) shows: seed 4 cuts 8 of its 27 glyphs in bold.
    {"LargeBold", "letter-utf8.txt", "640", "480", false, Writing::Rows, {"IPAGothic", "IPAPMincho"}, 4, 96},
};

CompositionSettings SettingsOf(const Mode& mode)
{
    CompositionSettings settings;
    settings.sourcePath = Examples + mode.text;
    settings.widthText = mode.width;
    settings.heightText = mode.height;
    settings.realMode = mode.real;
    settings.writing = mode.writing;
    settings.seed = mode.seed;
    settings.size = mode.size;
    if (!mode.faces.empty())
        settings.faces = {FaceMix::Listed, mode.faces, true};
    return settings;
}

// The letter written in the format to a file of the folder.
std::string Written(const testing::TempDir& folder, const CompositionSettings& settings, PictureFormat format,
                    const OutputOptions& options = {})
{
    const std::string path = folder / ("letter." + std::string(FormatEntry(format).name));
    CompositionRun run(settings);
    SaveFile(path, [&](SaveOutput& output) { run.Write(output, format, options); });
    return path;
}

// The letter's characters in the order it is written, without its blanks.
std::u32string LetterCharacters(const std::string& path)
{
    std::u32string text;
    SourceReader reader(path, SourceEncoding::Automatic);
    std::u32string_view unit;
    for (;;) {
        const SourceReader::Token token = reader.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            return text;
        if (token == SourceReader::Token::Unit)
            for (const char32_t c : unit)
                if (c > U' ' && c != U'\u3000')
                    text += c;
    }
}

std::u32string WithoutBlanks(const std::string& utf8)
{
    std::u32string text;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = utf8[i];
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (std::uint8_t(utf8[i + k]) & 0x3F);
        if (c > U' ' && c != U'\u3000' && c != U'\f')
            text += c;
        i += std::size_t(length);
    }
    return text;
}

struct VectorCase {
    PictureFormat format;
    Mode mode;

    friend void PrintTo(const VectorCase& x, std::ostream* out)
    {
        *out << FormatEntry(x.format).name << " " << x.mode.name;
    }
};

class VectorLetterTest : public ::testing::TestWithParam<VectorCase> {};
class VectorTextTest : public ::testing::TestWithParam<VectorCase> {};

// Rasterized at the picture's size by another renderer (poppler, librsvg),
// the file shows the picture's stamps in their places and inks: scraps,
// glyphs at their heights and tilts, bold cuttings thickened alike, vertical
// forms.
TEST_P(VectorLetterTest, DrawsThePicturesLetter)
{
    const VectorCase& c = GetParam();
    testing::TempDir folder;
    const CompositionSettings settings = SettingsOf(c.mode);
    const testing::RgbImage picture = testing::RgbOf(*ComposePicture(settings));
    const std::string path = Written(folder, settings, c.format);
    const testing::RgbImage drawn = c.format == PictureFormat::Pdf
                                        ? testing::RasterizedPdf(path, picture.width, picture.height)
                                        : testing::RasterizedSvg(path, picture.width, picture.height);
    ASSERT_EQ(drawn.width, picture.width) << "not rasterized: " << path;
    // The same letter stays below a 250th; a stamp two pixels off, or a bold
    // cutting drawn plain, comes to more than one in a hundred.
    EXPECT_LT(testing::StrayInk(picture, drawn), 0.004);
}

// The text a reader extracts is the letter's, character by character in the
// order it is written: rows, columns, every face and the bold cuttings.
TEST_P(VectorTextTest, ReadsAsTheLettersText)
{
    const VectorCase& c = GetParam();
    testing::TempDir folder;
    const CompositionSettings settings = SettingsOf(c.mode);
    const std::string path = Written(folder, settings, c.format);
    std::string text;
    if (c.format == PictureFormat::Pdf) {
        // In the order the page shows its characters.
        ASSERT_TRUE(RunTool({"pdftotext", "-raw", "-enc", "UTF-8", path, "-"}, &text));
    } else {
        std::string svg;
        ASSERT_TRUE(c.format == PictureFormat::Svg
                        ? (svg = testing::ReadFile(path), true)
                        : RunTool({"gzip", "-dc", path}, &svg));
        static const std::regex textElement("<text [^>]*fill-opacity=\"0\">([^<]*)</text>");
        for (auto m = std::sregex_iterator(svg.begin(), svg.end(), textElement); m != std::sregex_iterator(); ++m)
            text += (*m)[1];
    }
    EXPECT_TRUE(WithoutBlanks(text) == LetterCharacters(settings.sourcePath)) << text;
}

// Every format in every mode; for the text, the modes whose picture holds
// the whole letter.
std::vector<VectorCase> VectorCases(bool wholeLetters)
{
    std::vector<VectorCase> cases;
    for (const PictureFormat format : {PictureFormat::Pdf, PictureFormat::Svg, PictureFormat::Svgz})
        for (const Mode& mode : Modes)
            if (!wholeLetters || mode.size == 20)
                cases.push_back({format, mode});
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<VectorCase>& info)
{
    return std::string(FormatEntry(info.param.format).name) + info.param.mode.name;
}

INSTANTIATE_TEST_SUITE_P(FormatsAndModes, VectorLetterTest, ::testing::ValuesIn(VectorCases(false)), CaseName);
INSTANTIATE_TEST_SUITE_P(FormatsAndModes, VectorTextTest, ::testing::ValuesIn(VectorCases(true)), CaseName);

// Each face goes into the PDF once, as a subset with its map back to the
// characters; the bold cuttings as fonts of their own outlines, text too.
TEST(Pdf, EmbedsEachFaceOnceAsASubset)
{
    testing::TempDir folder;
    const std::string path = Written(folder, SettingsOf(Modes[4]), PictureFormat::Pdf);
    std::string fonts;
    ASSERT_TRUE(RunTool({"pdffonts", path}, &fonts));
    std::map<std::string, int> subsets;
    int outlineFonts = 0;
    std::istringstream lines(fonts);
    std::string line;
    while (std::getline(lines, line)) {
        static const std::regex subset(R"(^[A-Z]{6}\+(\S+)\s+(CID TrueType|CID Type 0C \(OT\))\s+Identity-H\s+yes yes yes)");
        static const std::regex outline(R"(^\[none\]\s+Type 3\s+Custom\s+yes no\s+yes)");
        std::smatch m;
        if (std::regex_search(line, m, subset))
            ++subsets[m[1]];
        else if (std::regex_search(line, outline))
            ++outlineFonts;
    }
    // Nimbus Sans's and DejaVu Serif's own glyphs; the bold ones in outline
    // fonts.
    EXPECT_EQ(subsets, (std::map<std::string, int>{{"DejaVuSerif", 1}, {"NimbusSans-Regular", 1}})) << fonts;
    EXPECT_GE(outlineFonts, 2) << fonts;
}

// The SVG holds each outline once, before its first use, and uses it for
// every character cut from it.
TEST(Svg, WritesEachOutlineOnceAndUsesItWhereverItGoes)
{
    testing::TempDir folder;
    const std::string svg = testing::ReadFile(Written(folder, SettingsOf(Modes[3]), PictureFormat::Svg));
    static const std::regex defined("<path id=\"([^\"]+)\"");
    static const std::regex used("<use xlink:href=\"#([^\"]+)\"");
    std::set<std::string> ids;
    int uses = 0;
    for (auto m = std::sregex_iterator(svg.begin(), svg.end(), defined); m != std::sregex_iterator(); ++m)
        EXPECT_TRUE(ids.insert((*m)[1]).second) << (*m)[1] << " written twice";
    std::set<std::string> usedIds;
    for (auto m = std::sregex_iterator(svg.begin(), svg.end(), used); m != std::sregex_iterator(); ++m) {
        ++uses;
        usedIds.insert((*m)[1]);
        const std::size_t definition = svg.find("<path id=\"" + (*m)[1].str() + "\"");
        EXPECT_LT(definition, std::size_t(m->position())) << (*m)[1] << " used before it is written";
    }
    EXPECT_EQ(usedIds, ids);
    EXPECT_GT(uses, int(ids.size())) << "the letter repeats characters";
    EXPECT_NE(svg.find("b\""), std::string::npos) << "no bold outline";
}

// The compressed SVG is the SVG, gzipped.
TEST(Svg, CompressedIsTheSameSvg)
{
    testing::TempDir folder;
    const std::string plain = testing::ReadFile(Written(folder, SettingsOf(Modes[1]), PictureFormat::Svg));
    std::string unpacked;
    ASSERT_TRUE(RunTool({"gzip", "-dc", Written(folder, SettingsOf(Modes[1]), PictureFormat::Svgz)}, &unpacked));
    EXPECT_TRUE(unpacked == plain);
}

// A copy of a face whose licence's embedding bits (OS/2 fsType) say `fsType`.
std::string FaceWithLicence(const testing::TempDir& folder, std::uint16_t fsType)
{
    std::string font = testing::ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf");
    const auto be16 = [&](std::size_t at) { return (std::uint8_t(font[at]) << 8) | std::uint8_t(font[at + 1]); };
    const auto be32 = [&](std::size_t at) { return std::uint32_t(be16(at)) << 16 | std::uint32_t(be16(at + 2)); };
    for (int table = 0; table < be16(4); ++table) {
        const std::size_t record = 12 + 16 * std::size_t(table);
        if (font.compare(record, 4, "OS/2") == 0) {
            const std::size_t field = be32(record + 8) + 8;
            font[field] = char(fsType >> 8);
            font[field + 1] = char(fsType & 0xFF);
        }
    }
    testing::WriteFile(folder / "licensed.ttf", font);
    return folder / "licensed.ttf";
}

// Outlines of the face's file, as a run gives them.
class FileOutlines final : public GlyphOutlines {
public:
    explicit FileOutlines(const std::string& file) : library_(NewLibrary())
    {
        face_.emplace(*OpenFaceAt(library_.get(), {file, 0, "Licensed"}));
    }
    const GlyphPath& Outline(std::uint16_t, std::uint32_t glyph, bool bold) override
    {
        return outlines_[{glyph, bold}] = UnscaledOutline(*face_, glyph, bold);
    }
    OpenFace& Face() { return *face_; }

private:
    FtLibraryPtr library_;
    std::optional<OpenFace> face_;
    std::map<std::pair<std::uint32_t, bool>, GlyphPath> outlines_;
};

struct LicenceCase {
    std::uint16_t fsType;
    bool embeds;

    friend void PrintTo(const LicenceCase& x, std::ostream* out) { *out << "fsType " << x.fsType; }
};

class LicenceTest : public ::testing::TestWithParam<LicenceCase> {};

// A face whose licence allows embedding goes in as a subset, its text kept;
// one whose licence forbids it (or forbids the subset this writer makes) is
// drawn as outlines, with no text and no font, and the device says so once.
TEST_P(LicenceTest, DecidesWhetherTheFaceGoesInOrIsDrawnAsOutlines)
{
    const LicenceCase& c = GetParam();
    testing::TempDir folder;
    const std::string file = FaceWithLicence(folder, c.fsType);
    FileOutlines outlines(file);
    std::vector<std::string> warnings;
    OutputOptions options;
    options.warning = [&](std::string_view message) { warnings.emplace_back(message); };
    const std::string path = folder / "licensed.pdf";
    SaveFile(path, [&](SaveOutput& output) {
        const auto device = PdfDevice(output, options);
        device->Begin(100, 60);
        device->Face({0, file, 0, "Licensed", 2048, 1901, 483});
        // "Ab", 40 pixels to the em, twice: plain, then bold.
        for (const bool bold : {false, true}) {
            std::vector<DeviceGlyph> glyphs;
            for (const char32_t c : {U'A', U'b'}) {
                const double scale = 40.0 / 2048;
                glyphs.push_back({outlines.Face().GlyphOf(c), 10.0 + 25 * double(glyphs.size()) + 50 * bold, 40,
                                  scale, 0, 0, -scale});
            }
            DeviceStamp stamp;
            stamp.bold = bold;
            stamp.codePoints = U"Ab";
            stamp.glyphs = glyphs;
            device->Stamp(stamp, outlines);
        }
        device->Finish();
    });
    std::string fonts, text;
    ASSERT_TRUE(RunTool({"pdffonts", path}, &fonts));
    ASSERT_TRUE(RunTool({"pdftotext", path, "-"}, &text));
    const std::string bytes = testing::ReadFile(path);
    std::size_t forms = 0;
    for (std::size_t at = bytes.find("/Subtype /Form"); at != std::string::npos; at = bytes.find("/Subtype /Form", at + 1))
        ++forms;
    if (c.embeds) {
        EXPECT_TRUE(warnings.empty());
        EXPECT_NE(fonts.find("+DejaVuSerif"), std::string::npos) << fonts;
        EXPECT_TRUE(WithoutBlanks(text) == U"AbAb") << text;
        EXPECT_EQ(forms, 0u);
    } else {
        EXPECT_EQ(warnings, std::vector<std::string>{"ﾌｫﾝﾄ 'Licensed' は埋め込みが許されていないので、文字を輪郭で描きます "
                                                     "(ﾃｷｽﾄとしては読めません)"});
        EXPECT_EQ(std::count(fonts.begin(), fonts.end(), '\n'), 2) << "only the heading lines: " << fonts;
        EXPECT_EQ(text.find_first_not_of(" \n\f"), std::string::npos) << text;
        // Each outline once: two glyphs, plain and bold.
        EXPECT_EQ(forms, 4u);
    }
    // Either way the glyphs are there, the bold pair thicker.
    const testing::RgbImage page = testing::RasterizedPdf(path, 100, 60);
    ASSERT_EQ(page.width, 100);
    const auto inkedAround = [&](int left, int right) {
        int inked = 0;
        for (int y = 10; y < 45; ++y)
            for (int x = left; x < right; ++x)
                inked += testing::InkedAt(page, x, y);
        return inked;
    };
    EXPECT_GT(inkedAround(10, 35), 50);
    EXPECT_GT(inkedAround(60, 85), inkedAround(10, 35));
}

// Installable, restricted, print and preview, editable; restricted with
// editable (the least restrictive holds); no subsetting; bitmaps only.
INSTANTIATE_TEST_SUITE_P(EmbeddingBits, LicenceTest,
                         ::testing::Values(LicenceCase{0x0000, true}, LicenceCase{0x0002, false},
                                           LicenceCase{0x0004, true}, LicenceCase{0x0008, true},
                                           LicenceCase{0x000A, true}, LicenceCase{0x0100, false},
                                           LicenceCase{0x0204, false}),
                         [](const auto& info) { return "FsType" + std::to_string(info.param.fsType); });

} // namespace
} // namespace morvaleth
