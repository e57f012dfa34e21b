// Bad input and faults through the whole program: whatever it is given and
// wherever it writes, morvaleth-compose ends with its message or a picture,
// never a crash or a hang, and loses nothing: an earlier picture survives a
// failed save byte for byte, no temporary file is left behind, the source is
// not touched, and memory stays bounded.

#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <random>

namespace morvaleth {
namespace {

using testing::ChildSetup;
using testing::ReadFile;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFile;

const std::string Letter = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-sjis.txt";

// The most memory a run may take beyond what this process holds (a child's
// peak counts its parent's at the fork). A run takes about 10 MiB, 20 MiB
// under the sanitizers; a source read whole into memory, or a picture
// allocated before its size was refused, takes far more.
constexpr long RunRssKiB = 64 * 1024;

// What stands in the output file before each run.
std::string EarlierPicture()
{
    std::string bytes = "BM";
    std::minstd_rand random(7);
    while (bytes.size() < 200 * 1024)
        bytes += char(random());
    return bytes;
}

// A digest of a file's bytes, read in pieces so that a large file does not
// grow this process (a child's peak memory counts its parent's at the fork).
std::string Digest(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::uint64_t hash = 14695981039346656037u;
    std::uint64_t size = 0;
    std::vector<char> piece(1 << 16);
    while (in.read(piece.data(), std::streamsize(piece.size())) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i)
            hash = (hash ^ std::uint8_t(piece[std::size_t(i)])) * 1099511628211u;
        size += std::uint64_t(in.gcount());
    }
    return std::to_string(size) + ":" + std::to_string(hash);
}

std::map<std::string, std::string> Snapshot(const TempDir& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        std::string& file = files[entry.path().filename().string()];
        if (entry.is_symlink())
            file = "link to " + std::filesystem::read_symlink(entry.path()).string();
        else
            file = entry.is_regular_file() ? Digest(entry.path()) : "(not a file)";
    }
    return files;
}

void WriteLargeSingleLine(const std::string& path, std::size_t bytes)
{
    // Shift-JIS text with LF-only line ends: one line, as this program reads it.
    std::string piece;
    while (piece.size() < (1 << 20))
        piece += "\x82\xA0\x82\xA2\x82\xA4 letter\n";
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(descriptor, 0);
    for (std::size_t written = 0; written < bytes; written += piece.size())
        ASSERT_EQ(::write(descriptor, piece.data(), piece.size()), ssize_t(piece.size()));
    ::close(descriptor);
}

std::string Garbage(std::size_t bytes, unsigned seed)
{
    std::independent_bits_engine<std::mt19937, 8, unsigned> random(seed);
    std::string text(bytes, '\0');
    for (char& c : text)
        c = char(random());
    return text;
}

// Lowers the open-files limit in the program once it has started (see the
// library's source). A sanitizer runtime must come first among the libraries
// unless told otherwise; here a preloaded one comes before it.
std::vector<std::string> TooManyOpenFilesEnvironment(int spareDescriptors = 0)
{
    const char* asanOptions = std::getenv("ASAN_OPTIONS");
    return {"LD_PRELOAD=" MORVALETH_OPEN_FILES_LIMIT_SHIM,
            "MORVALETH_SPARE_DESCRIPTORS=" + std::to_string(spareDescriptors),
            std::string("ASAN_OPTIONS=") + (asanOptions ? std::string(asanOptions) + ":" : "") +
                "verify_asan_link_order=0"};
}

// Fontconfig reports its own troubles on standard error before the program
// says what failed; those lines are the library's, not the program's.
std::string WithoutFontconfigWarnings(const std::string& text)
{
    std::string kept;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        if (line.rfind("Fontconfig ", 0) != 0)
            kept += line;
        start = end;
    }
    return kept;
}

struct Row {
    const char* name = "";
    std::string source = {}; // "{dir}" stands for the row's own folder
    std::vector<std::string> options = {};
    std::function<void(const TempDir&)> prepare = {};
    ChildSetup child = {};
    int exitCode = 0;
    std::string message = {}; // what the program says on stderr, "" for nothing
    // For a run that succeeds: the picture's size, and whether anything
    // shows on it.
    int width = 640;
    int height = 480;
    bool inked = true;
    std::string output = "{dir}/out.bmp";
    std::string input = "/dev/null"; // standard input
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

std::string Substitute(std::string text, const TempDir& folder)
{
    for (std::size_t at; (at = text.find("{dir}")) != std::string::npos;)
        text.replace(at, 5, folder.Path().string());
    return text;
}

// The size a BMP file of that picture has, and whether any of its pixels is
// not white.
void ExpectPicture(const std::string& bytes, int width, int height, bool inked)
{
    if (width == 0 || height == 0) {
        EXPECT_EQ(bytes.size(), 0u);
        return;
    }
    const std::size_t rowBytes = (std::size_t(width) * 3 + 3) / 4 * 4;
    ASSERT_EQ(bytes.size(), 54 + rowBytes * std::size_t(height));
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    bool ink = false;
    for (std::size_t row = 0; row < std::size_t(height) && !ink; ++row)
        for (std::size_t i = 0; i < std::size_t(width) * 3 && !ink; ++i)
            ink = std::uint8_t(bytes[54 + row * rowBytes + i]) != 0xFF;
    EXPECT_EQ(ink, inked);
}

class BadInputTest : public ::testing::TestWithParam<Row> {};

TEST_P(BadInputTest, EndsWithItsMessageOrAPictureAndLosesNothing)
{
    const Row& row = GetParam();
    TempDir folder;
    const std::string earlier = EarlierPicture();
    WriteFile(folder / "out.bmp", earlier);
    if (row.prepare)
        row.prepare(folder);
    const auto before = Snapshot(folder);

    const std::string output = Substitute(row.output, folder);
    std::vector<std::string> arguments{Substitute(row.source, folder), "-o", output, "--seed", "1"};
    for (const std::string& option : row.options)
        arguments.push_back(Substitute(option, folder));
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    const auto result = RunProgram("morvaleth-compose", arguments, Substitute(row.input, folder), row.child);

    EXPECT_EQ(result.signal, 0) << result.err;
    EXPECT_EQ(result.exitCode, row.exitCode) << result.err;
    EXPECT_EQ(WithoutFontconfigWarnings(result.err),
              row.message.empty() ? "" : "morvaleth-compose: " + Substitute(row.message, folder) + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_LT(result.maxRssKiB, self.ru_maxrss + RunRssKiB);

    // Nothing lost, nothing left behind: the folder holds what it held, and
    // only a successful save into it changed a file.
    auto after = Snapshot(folder);
    const bool savedHere = row.exitCode == 0 && output == folder / "out.bmp";
    if (savedHere) {
        ExpectPicture(ReadFile(folder / "out.bmp"), row.width, row.height, row.inked);
        after.erase("out.bmp");
        auto unchanged = before;
        unchanged.erase("out.bmp");
        EXPECT_EQ(after, unchanged);
    } else {
        EXPECT_EQ(after, before);
        EXPECT_TRUE(ReadFile(folder / "out.bmp") == earlier) << "the earlier picture changed";
    }
    struct stat status {};
    EXPECT_EQ(::stat("/dev/full", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode)) << "/dev/full is no longer a device";
}

// Folders the unprivileged runs can enter; everything in them stays root's.
void OpenToEveryone(const TempDir& folder)
{
    ::chmod(folder.Path().c_str(), 0755);
}

const ChildSetup Unprivileged{{}, false, true, {}};

INSTANTIATE_TEST_SUITE_P(
    Rows, BadInputTest,
    ::testing::Values(
        // Sources that cannot be opened.
        Row{.name = "MissingFile", .source = "{dir}/missing.txt", .exitCode = 1, .message = "ﾌｧｲﾙが見つかりません"},
        Row{.name = "MissingFolderOnTheWay", .source = "{dir}/gone/letter.txt", .exitCode = 1, .message = "不正なﾌｧｲﾙ名です"},
        Row{.name = "AFolder", .source = "{dir}", .exitCode = 1, .message = "ﾌｧｲﾙへのｱｸｾｽが拒否されました"},
        Row{.name = "EmptyPath", .source = "", .exitCode = 1, .message = "元になるテキストファイルを選択して下さい。"},
        Row{.name = "NameTooLong", .source = "{dir}/" + std::string(300, 'n'), .exitCode = 1, .message = "不正なﾌｧｲﾙ名です"},
        Row{.name = "LinkLoop", .source = "{dir}/loop",
            .prepare = [](const TempDir& folder) { ::symlink("loop", (folder / "loop").c_str()); },
            .exitCode = 1, .message = "不正なﾌｧｲﾙ名です"},
        Row{.name = "ReadPermissionDenied", .source = "{dir}/secret.txt",
            .prepare = [](const TempDir& folder) {
                OpenToEveryone(folder);
                WriteFile(folder / "secret.txt", "secret\r\n");
                ::chmod((folder / "secret.txt").c_str(), 0);
            },
            .child = Unprivileged, .exitCode = 1, .message = "ﾌｧｲﾙへのｱｸｾｽが拒否されました"},
        Row{.name = "TooManyOpenFiles", .source = Letter,
            .child = {{}, false, false, TooManyOpenFilesEnvironment()},
            .exitCode = 1, .message = "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます"},
        // The source opens, the fonts cannot: an error, not a blank picture.
        Row{.name = "FontsCannotOpen", .source = Letter,
            .child = {{}, false, false, TooManyOpenFilesEnvironment(1)},
            .exitCode = 1, .message = "ﾌｫﾝﾄ 'ＭＳ Ｐゴシック' を開けません"},

        // Sources that never end, or hold anything but text; each ends by
        // the run's own rules.
        Row{.name = "DevZero", .source = "/dev/zero", .options = {"--real"}},
        Row{.name = "DevUrandom", .source = "/dev/urandom", .options = {"--real"}},
        Row{.name = "DevNull", .source = "/dev/null", .inked = false},
        Row{.name = "BinaryGarbage", .source = "{dir}/garbage",
            .prepare = [](const TempDir& folder) { WriteFile(folder / "garbage", Garbage(1 << 16, 1)); }},
        Row{.name = "NulBytes", .source = "{dir}/nul.txt",
            .prepare = [](const TempDir& folder) { WriteFile(folder / "nul.txt", std::string("ab\0\0cd\r\n\0\r\n\0x", 13)); }},
        Row{.name = "InvalidShiftJis", .source = "{dir}/sjis.txt", .options = {"--encoding", "shift_jis"},
            .prepare = [](const TempDir& folder) {
                WriteFile(folder / "sjis.txt", "\x81\x7F\x82\x20\xFD\xFE\xFF\x80\xA0\x9F\xFC\r\n\xEF\x39\xFC\xFC");
            }},
        Row{.name = "InvalidUtf8", .source = "{dir}/utf8.txt", .options = {"--encoding", "utf-8"},
            .prepare = [](const TempDir& folder) {
                WriteFile(folder / "utf8.txt", "拝啓\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xF8\x88\x80\x80\x80\r\n\xE3\x81");
            }},
        Row{.name = "LoneLeadByteAtTheEnd", .source = "{dir}/lead.txt",
            .prepare = [](const TempDir& folder) { WriteFile(folder / "lead.txt", "\x82\xA0\x82\xA2\x82"); }},
        Row{.name = "GarbageOnStandardInput", .source = "-",
            .prepare = [](const TempDir& folder) { WriteFile(folder / "garbage", Garbage(1 << 12, 2)); },
            .input = "{dir}/garbage"},
        Row{.name = "A200MegabyteLine", .source = "{dir}/line.txt",
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20); }},

        // Size texts.
        Row{.name = "WidthMinusOne", .source = Letter, .options = {"-W", "-1"}, .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません"},
        Row{.name = "WidthHexMinusOne", .source = Letter, .options = {"-W", "$FFFFFFFF"}, .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません"},
        Row{.name = "HeightMinusOne", .source = Letter, .options = {"-H", "-1"}, .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません"},
        Row{.name = "Huge", .source = Letter, .options = {"-W", "99999", "-H", "99999"}, .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません"},
        Row{.name = "LargestWidth", .source = Letter, .options = {"-W", "2147483647"}, .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません"},
        Row{.name = "LargestBoth", .source = Letter, .options = {"-W", "2147483647", "-H", "2147483647"}, .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません"},
        Row{.name = "LeadingSpace", .source = Letter, .options = {"-W", " 640"}},
        Row{.name = "TrailingSpace", .source = Letter, .options = {"-W", "640 "}, .exitCode = 1, .message = "'640 ' は整数ではありません"},
        Row{.name = "FullWidthDigits", .source = Letter, .options = {"-W", "６４０"}, .exitCode = 1, .message = "'６４０' は整数ではありません"},
        Row{.name = "EmptyHeight", .source = Letter, .options = {"-H", ""}, .exitCode = 1, .message = "'' は整数ではありません"},
        Row{.name = "WidthZero", .source = Letter, .options = {"-W", "0"}, .width = 0},

        // Faces.
        Row{.name = "FaceNameOf300Bytes", .source = Letter, .options = {"-f", std::string(100, 'F') + std::string(100, 'a') + std::string(100, 'c')}},
        Row{.name = "FaceOf300BytesOfJapanese", .source = Letter, .options = {"--real", "-f", [] { std::string name; for (int i = 0; i < 100; ++i) name += "明"; return name; }()}},
        Row{.name = "MissingFace", .source = Letter, .options = {"-f", "No Such Face"}},
        Row{.name = "ListedFaceNotInstalled", .source = Letter, .options = {"--faces", "IPAMincho, No Such Face"},
            .exitCode = 1, .message = "ﾌｫﾝﾄ 'No Such Face' はｲﾝｽﾄｰﾙされていません"},
        Row{.name = "MixedFacesInAnEndlessLine", .source = "/dev/urandom", .options = {"--mix-faces", "--bold-cuts", "--real"}},

        // Columns.
        Row{.name = "ColumnsOfOnlyLineEnds", .source = "{dir}/ends.txt", .options = {"--vertical", "--real"},
            .prepare = [](const TempDir& folder) { WriteFile(folder / "ends.txt", std::string(5000, '\r')); },
            .inked = false},
        Row{.name = "TooNarrowForAColumn", .source = Letter, .options = {"--vertical", "--real", "-W", "41"},
            .width = 41, .inked = false},
        Row{.name = "ColumnsLargerThanThePicture", .source = Letter, .options = {"--vertical", "--real", "-s", "700"},
            .inked = false},
        Row{.name = "ColumnsOfAnEndlessLine", .source = "/dev/zero", .options = {"--vertical", "--real"}},
        Row{.name = "ColumnsOfA200MegabyteLine", .source = "{dir}/line.txt", .options = {"--vertical", "--mix-faces"},
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20); }},

        // Saves that fail.
        Row{.name = "ReadOnlyFolder", .source = Letter,
            .prepare = [](const TempDir& folder) { ::chmod(folder.Path().c_str(), 0555); },
            .child = Unprivileged, .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/out.bmp を作成できません"},
        Row{.name = "OutputIsAFolder", .source = Letter, .exitCode = 1, .message = "ﾌｧｲﾙ {dir} を作成できません", .output = "{dir}"},
        Row{.name = "DevFull", .source = Letter, .exitCode = 1, .message = "ｽﾄﾘｰﾑへの書き込みｴﾗｰ", .output = "/dev/full"},
        Row{.name = "DevFullBehindAPngName", .source = Letter,
            .prepare = [](const TempDir& folder) { ::symlink("/dev/full", (folder / "full.png").c_str()); },
            .exitCode = 1, .message = "ｽﾄﾘｰﾑへの書き込みｴﾗｰ", .output = "{dir}/full.png"},
        Row{.name = "StandardOutputOntoAFullDevice", .source = Letter, .child = {.standardOutput = "/dev/full"},
            .exitCode = 1, .message = "ｽﾄﾘｰﾑへの書き込みｴﾗｰ", .output = "-"},
        Row{.name = "FileSizeLimitHitMidway", .source = Letter,
            .child = {{{RLIMIT_FSIZE, 64 * 1024}}, true, false, {}},
            .exitCode = 1, .message = "ｽﾄﾘｰﾑへの書き込みｴﾗｰ"},
        Row{.name = "FileSizeLimitHitMidwayAsPng", .source = Letter, .options = {"--real"},
            .child = {{{RLIMIT_FSIZE, 8 * 1024}}, true, false, {}},
            .exitCode = 1, .message = "ｽﾄﾘｰﾑへの書き込みｴﾗｰ", .output = "{dir}/out.png"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace morvaleth
