// Bad input and faults through the whole program: whatever it is given and
// wherever it writes, morvaleth-compose ends with its message or a picture
// (or, sent an ending signal, with that signal), never a crash or a hang, and
// loses nothing: an earlier picture survives a failed save byte for byte, no
// temporary file is left behind, the source is not touched, links stay links,
// owners and modes are kept, and memory stays bounded.

#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <random>

namespace morvaleth {
namespace {

using testing::ChildSetup;
using testing::ProgramResult;
using testing::ReadFile;
using testing::StreamKind;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFile;

const std::string Letter = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-sjis.txt";
const std::string AsciiLetter = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-ascii.txt";

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

// A text without a line end: `start` once (a byte-order mark, say), then
// `words` over and over.
void WriteLargeSingleLine(const std::string& path, std::size_t bytes, const std::string& words,
                          const std::string& start = "")
{
    std::string piece;
    while (piece.size() < (1 << 20))
        piece += words;
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::write(descriptor, start.data(), start.size()), ssize_t(start.size()));
    for (std::size_t written = 0; written < bytes; written += piece.size())
        ASSERT_EQ(::write(descriptor, piece.data(), piece.size()), ssize_t(piece.size()));
    ::close(descriptor);
}

// "あいう letter " in each encoding.
const std::string ShiftJisWords = "\x82\xA0\x82\xA2\x82\xA4 letter ";
const std::string Utf8Words = "あいう letter ";
const std::string EucJpWords = "\xA4\xA2\xA4\xA4\xA4\xA6 letter ";
const std::string Iso2022JpWords = "\x1B$B$\"$$$&\x1B(B letter ";
const std::string Utf16Words = std::string("B0D0F0 \0l\0e\0t\0t\0e\0r\0 \0", 22);

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

// The font configuration a child runs with: the system's, but with a cache
// folder of its own first. A child whose limits keep fontconfig from mapping
// the system's caches rescans the font folders and writes what it found
// there, next to nothing under those limits, into the first cache folder it
// may write: that must not be the machine's.
std::string ChildFontConfiguration()
{
    static TempDir folder;
    static const std::string file = [] {
        const std::string path = folder / "fonts.conf";
        WriteFile(path, "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                        "<fontconfig>\n  <cachedir>" + (folder / "cache") + "</cachedir>\n"
                        "  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n</fontconfig>\n");
        return path;
    }();
    return "FONTCONFIG_FILE=" + file;
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

// What a row needs of the system beyond an ordinary user. LessThan100GiB: a
// quarter of the machine's memory smaller than what tiny characters in
// columns on a huge picture would take.
enum class Needs { Nothing, Root, ProtectedSymlinks, NoSanitizer, LessThan100GiB };

struct Row {
    const char* name = "";
    std::string source = {}; // "{dir}" stands for the row's own folder
    std::vector<std::string> options = {};
    std::function<void(const TempDir&)> prepare = {};
    ChildSetup child = {}; // "{dir}" in its standardOutput as in paths
    int exitCode = 0;
    std::string message = {}; // what the program says on stderr, "" for nothing
    // For a run that succeeds: the picture's size, and whether anything
    // shows on it.
    int width = 640;
    int height = 480;
    // Whether the picture shows anything; unknown for a random source, whose
    // first byte is the end of text (0x1A) once in 256 runs.
    std::optional<bool> inked = true;
    std::string output = "{dir}/out.bmp";
    std::string input = "/dev/null"; // standard input
    // The signal the run must end with, sent once the save's temporary file
    // appears unless the row says otherwise.
    int signal = 0;
    bool signalMidSave = true;
    // Where the picture goes when not into the folder: standard output.
    bool toStandardOutput = false;
    // Files of the folder the run may change besides the output, and what
    // they must then hold, owner and mode included.
    std::vector<std::string> changed = {};
    std::function<void(const TempDir&, const ProgramResult&)> check = {};
    Needs needs = Needs::Nothing;
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
void ExpectPicture(const std::string& bytes, int width, int height, std::optional<bool> inked)
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
    if (inked) {
        EXPECT_EQ(ink, *inked);
    }
}

bool ProtectedSymlinks()
{
    std::ifstream setting("/proc/sys/fs/protected_symlinks");
    int value = 0;
    return setting >> value && value != 0;
}

bool Sanitized()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

// Waits for the save's temporary file to appear in the folder, then sends the
// signal while the process is stopped, so that it meets the save for sure.
void SignalMidSave(pid_t child, const std::filesystem::path& folder, int signal)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().filename().string().starts_with(".morvaleth-")) {
                ::kill(child, SIGSTOP);
                ::kill(child, signal);
                ::kill(child, SIGCONT);
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    ADD_FAILURE() << "no temporary file appeared";
}

class BadInputTest : public ::testing::TestWithParam<Row> {};

TEST_P(BadInputTest, EndsWithItsMessageOrAPictureAndLosesNothing)
{
    const Row& row = GetParam();
    if ((row.needs == Needs::Root || row.needs == Needs::ProtectedSymlinks) && ::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    if (row.needs == Needs::ProtectedSymlinks && !ProtectedSymlinks())
        GTEST_SKIP() << "the kernel does not protect symbolic links here";
    if (row.needs == Needs::NoSanitizer && Sanitized())
        GTEST_SKIP() << "the sanitizers' runtime needs more address space than the row allows";
    if (row.needs == Needs::LessThan100GiB && std::uint64_t(::sysconf(_SC_PHYS_PAGES)) * std::uint64_t(::sysconf(_SC_PAGE_SIZE)) >= (std::uint64_t(100) << 30))
        GTEST_SKIP() << "the machine could hold the stamps";
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
    ChildSetup child = row.child;
    child.standardOutput = Substitute(child.standardOutput, folder);
    for (auto& [where, options] : child.mounts)
        where = Substitute(where, folder);
    for (std::string& variable : child.environment)
        variable = Substitute(variable, folder);
    if (std::none_of(child.environment.begin(), child.environment.end(),
                     [](const std::string& variable) { return variable.starts_with("FONTCONFIG_FILE="); }))
        child.environment.push_back(ChildFontConfiguration());
    if (row.signal != 0 && row.signalMidSave)
        child.whileRunning = [&](pid_t running) { SignalMidSave(running, folder.Path(), row.signal); };
    rusage self{};
    ::getrusage(RUSAGE_SELF, &self);
    const auto result = RunProgram("morvaleth-compose", arguments, Substitute(row.input, folder), child);

    EXPECT_EQ(result.signal, row.signal) << result.err;
    EXPECT_EQ(result.exitCode, row.signal != 0 ? -1 : row.exitCode) << result.err;
    EXPECT_EQ(WithoutFontconfigWarnings(result.err),
              row.message.empty() ? "" : "morvaleth-compose: " + Substitute(row.message, folder) + "\n");
    if (row.toStandardOutput)
        ExpectPicture(result.out, row.width, row.height, row.inked);
    else
        EXPECT_EQ(result.out, "");
    EXPECT_LT(result.maxRssKiB, self.ru_maxrss + RunRssKiB);

    // Nothing lost, nothing left behind: the folder holds what it held, and
    // only a successful save into it changed a file.
    auto after = Snapshot(folder);
    auto unchanged = before;
    for (const std::string& name : row.changed) {
        after.erase(name);
        unchanged.erase(name);
    }
    const std::string outputName = std::filesystem::path(output).filename().string();
    const bool savedHere = row.exitCode == 0 && row.signal == 0 && !row.toStandardOutput &&
                           std::filesystem::path(output).parent_path() == folder.Path();
    if (savedHere) {
        if (outputName == "out.bmp")
            ExpectPicture(ReadFile(folder / "out.bmp"), row.width, row.height, row.inked);
        after.erase(outputName);
        unchanged.erase(outputName);
        EXPECT_EQ(after, unchanged);
    } else {
        EXPECT_EQ(after, unchanged);
        EXPECT_TRUE(ReadFile(folder / "out.bmp") == earlier) << "the earlier picture changed";
    }
    if (row.check)
        row.check(folder, result);
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

// A folder everyone may write in, as a shared one.
void WritableByEveryone(const TempDir& folder)
{
    ::chmod(folder.Path().c_str(), 0777);
}

void SetOwnerAndMode(const std::string& path, uid_t user, gid_t group, mode_t mode)
{
    ASSERT_EQ(::chown(path.c_str(), user, group), 0);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

// The file `name` belongs to that user and group and has that mode, and is a
// picture of the default size.
std::function<void(const TempDir&, const ProgramResult&)> OwnedAs(std::string name, uid_t user, gid_t group,
                                                                   mode_t mode)
{
    return [=](const TempDir& folder, const ProgramResult&) {
        struct stat status {};
        ASSERT_EQ(::lstat((folder / name).c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_uid, user);
        EXPECT_EQ(status.st_gid, group);
        EXPECT_EQ(status.st_mode & 07777, mode);
        ExpectPicture(ReadFile(folder / name), 640, 480, true);
    };
}

// Standard output into a file that already holds "earlier lines\n": it must
// then hold those bytes and, after them, exactly the picture the same run
// writes to a file of its own. 1300 rows take several bands (512 rows at most).
const std::string EarlierLines = "earlier lines\n";
const std::vector<std::string> SeveralBands = {"-H", "1300"};
const std::vector<std::string> SeveralBandsAsPng = {"-H", "1300", "--format", "png"};

std::function<void(const TempDir&)> LogWithEarlierLines()
{
    return [](const TempDir& folder) { WriteFile(folder / "log", EarlierLines); };
}

std::function<void(const TempDir&, const ProgramResult&)> EarlierLinesThenThePicture(std::vector<std::string> options)
{
    return [options](const TempDir& folder, const ProgramResult&) {
        std::vector<std::string> arguments{Letter, "-o", folder / "plain", "--seed", "1"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        ASSERT_EQ(RunProgram("morvaleth-compose", arguments).exitCode, 0);
        const std::string log = ReadFile(folder / "log");
        EXPECT_TRUE(log == EarlierLines + ReadFile(folder / "plain"))
            << "the log holds " << log.size() << " bytes, not the earlier lines and the picture";
    };
}

// A save large enough to be caught in the middle: its temporary file exists
// for a while before it is renamed.
const std::vector<std::string> LargeSave = {"-W", "2500", "-H", "2500"};
// No core file for SIGQUIT.
const ChildSetup NoCore{.limits = {{RLIMIT_CORE, 0}}};

constexpr uid_t SomeUser = 1234;
constexpr gid_t SomeGroup = 5678;
using testing::UnprivilegedGroup;
using testing::UnprivilegedUser;

INSTANTIATE_TEST_SUITE_P(
    Rows, BadInputTest,
    ::testing::Values(
        // Sources that cannot be opened.
        Row{.name = "MissingFile", .source = "{dir}/missing.txt", .exitCode = 1, .message = "{dir}/missing.txt: ﾌｧｲﾙが見つかりません"},
        Row{.name = "MissingFolderOnTheWay", .source = "{dir}/gone/letter.txt", .exitCode = 1, .message = "{dir}/gone/letter.txt: 不正なﾌｧｲﾙ名です"},
        Row{.name = "AFolder", .source = "{dir}", .exitCode = 1, .message = "{dir}: ﾌｧｲﾙではなくﾌｫﾙﾀﾞです"},
        Row{.name = "EmptyPath", .source = "", .exitCode = 1, .message = "元になるテキストファイルを選択して下さい。"},
        Row{.name = "NameTooLong", .source = "{dir}/" + std::string(300, 'n'), .exitCode = 1, .message = "{dir}/" + std::string(300, 'n') + ": 不正なﾌｧｲﾙ名です"},
        Row{.name = "LinkLoop", .source = "{dir}/loop",
            .prepare = [](const TempDir& folder) { ::symlink("loop", (folder / "loop").c_str()); },
            .exitCode = 1, .message = "{dir}/loop: 不正なﾌｧｲﾙ名です"},
        Row{.name = "ReadPermissionDenied", .source = "{dir}/secret.txt",
            .prepare = [](const TempDir& folder) {
                OpenToEveryone(folder);
                WriteFile(folder / "secret.txt", "secret\r\n");
                ::chmod((folder / "secret.txt").c_str(), 0);
            },
            .child = Unprivileged, .exitCode = 1, .message = "{dir}/secret.txt: ﾌｧｲﾙへのｱｸｾｽが拒否されました"},
        Row{.name = "TooManyOpenFiles", .source = Letter,
            .child = {{}, false, false, TooManyOpenFilesEnvironment()},
            .exitCode = 1, .message = Letter + ": ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます"},
        // The source opens, the fonts cannot: an error, not a blank picture.
        // An ASCII text needs no converter before the fonts.
        Row{.name = "FontsCannotOpen", .source = AsciiLetter,
            .child = {{}, false, false, TooManyOpenFilesEnvironment(1)},
            .exitCode = 1, .message = "ﾌｫﾝﾄ 'ＭＳ Ｐゴシック' を開けません"},
        // A Shift-JIS text needs its converter's module, which cannot open.
        Row{.name = "ConverterCannotOpen", .source = Letter,
            .child = {{}, false, false, TooManyOpenFilesEnvironment(1)},
            .exitCode = 1, .message = "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます"},
        // Memory for the font file cannot be had: said as such. The program
        // and its libraries take about 13 MiB of address space; the font's
        // file does not fit beside them.
        Row{.name = "NoMemoryForTheFont", .source = Letter, .options = {"-W", "64", "-H", "64"},
            .child = {.limits = {{RLIMIT_AS, 14 << 20}}},
            .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません", .needs = Needs::NoSanitizer},
        // Starved of memory where Fontconfig would scan a font folder that
        // has no cache yet: it is not scanned, so no empty cache is written
        // for every program to read.
        Row{.name = "NoMemoryLeavesNoFontCache", .source = Letter, .options = {"-W", "64", "-H", "64"},
            .prepare = [](const TempDir& folder) {
                std::filesystem::create_directory(folder / "cache");
                WriteFile(folder / "fonts.conf", "<fontconfig><dir>/usr/share/fonts</dir><cachedir>" + (folder / "cache") +
                                                     "</cachedir></fontconfig>");
            },
            .child = {.limits = {{RLIMIT_AS, 14 << 20}}, .environment = {"FONTCONFIG_FILE={dir}/fonts.conf"}},
            .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません",
            .check = [](const TempDir& folder, const ProgramResult&) {
                EXPECT_TRUE(std::filesystem::is_empty(folder / "cache")) << "a font cache was written";
            },
            .needs = Needs::NoSanitizer},

        // Sources that never end, or hold anything but text; each ends by
        // the run's own rules.
        Row{.name = "DevZero", .source = "/dev/zero", .options = {"--real"}},
        Row{.name = "DevUrandom", .source = "/dev/urandom", .options = {"--real"}, .inked = std::nullopt},
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
        // Standard input as it was handed over: from its offset, a socket
        // as a stream.
        Row{.name = "StandardInputFromItsOffset", .source = "-", .child = {.inputOffset = 1 << 20}, .inked = false,
            .input = Letter},
        Row{.name = "StandardInputFromASocket", .source = "-", .child = {.input = StreamKind::Socket}, .input = Letter},
        Row{.name = "A200MegabyteLine", .source = "{dir}/line.txt",
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20, ShiftJisWords); }},
        Row{.name = "A200MegabyteLineUtf8", .source = "{dir}/line.txt",
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20, Utf8Words); }},
        Row{.name = "A200MegabyteLineEucJp", .source = "{dir}/line.txt",
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20, EucJpWords); }},
        Row{.name = "A200MegabyteLineIso2022Jp", .source = "{dir}/line.txt",
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20, Iso2022JpWords); }},
        Row{.name = "A200MegabyteLineUtf16", .source = "{dir}/line.txt",
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20, Utf16Words, "\xFF\xFE"); }},
        // Combining marks without end: one cluster would hold them all.
        Row{.name = "A200MegabyteCluster", .source = "{dir}/line.txt",
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20, "\xCC\x81", "a"); }},

        // Size texts.
        // A negative size is no shortage of memory: said as what it is.
        Row{.name = "WidthMinusOne", .source = Letter, .options = {"-W", "-1"}, .exitCode = 1, .message = "画像の大きさに負の数 -1 は使えません"},
        Row{.name = "WidthHexMinusOne", .source = Letter, .options = {"-W", "$FFFFFFFF"}, .exitCode = 1, .message = "画像の大きさに負の数 -1 は使えません"},
        Row{.name = "HeightMinusOne", .source = Letter, .options = {"-H", "-1"}, .exitCode = 1, .message = "画像の大きさに負の数 -1 は使えません"},
        // Beyond what BMP can hold: said so, before any memory is taken.
        Row{.name = "BeyondBmp", .source = Letter, .options = {"-W", "30000", "-H", "30000"}, .exitCode = 1, .message = "30000 × 30000 の画像は保存できません (BMP は 2 GiB まで)"},
        Row{.name = "Huge", .source = Letter, .options = {"-W", "99999", "-H", "99999"}, .exitCode = 1, .message = "99999 × 99999 の画像は保存できません (BMP は 2 GiB まで)"},
        Row{.name = "LargestWidth", .source = Letter, .options = {"-W", "2147483647"}, .exitCode = 1, .message = "2147483647 × 480 の画像は保存できません (BMP は 2 GiB まで)"},
        Row{.name = "LargestBoth", .source = Letter, .options = {"-W", "2147483647", "-H", "2147483647"}, .exitCode = 1, .message = "2147483647 × 2147483647 の画像は保存できません (BMP は 2 GiB まで)"},
        Row{.name = "LargestAsPng", .source = Letter, .options = {"-W", "2147483647", "-H", "2147483647"}, .exitCode = 1, .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません", .output = "{dir}/out.png"},
        // Wider than libpng allows unless told: PNG itself allows it.
        Row{.name = "PngWiderThanAMillion", .source = Letter, .options = {"-W", "1000001", "-H", "2"}, .output = "{dir}/wide.png",
            .check = [](const TempDir& folder, const ProgramResult&) {
                const std::string png = ReadFile(folder / "wide.png");
                ASSERT_GE(png.size(), 24u);
                EXPECT_EQ(png.substr(12, 12), std::string("IHDR\x00\x0F\x42\x41\x00\x00\x00\x02", 12));
            }},
        Row{.name = "LeadingSpace", .source = Letter, .options = {"-W", " 640"}},
        Row{.name = "TrailingSpace", .source = Letter, .options = {"-W", "640 "}, .exitCode = 1, .message = "'640 ' は整数ではありません"},
        Row{.name = "FullWidthDigits", .source = Letter, .options = {"-W", "　６４０", "-H", "＄１Ｅ０"}},
        Row{.name = "FullWidthTrailingSpace", .source = Letter, .options = {"-W", "６４０　"}, .exitCode = 1, .message = "'６４０　' は整数ではありません"},
        Row{.name = "EmptyHeight", .source = Letter, .options = {"-H", ""}, .exitCode = 1, .message = "'' は整数ではありません"},
        // No pixels, nothing to save: refused, the earlier file kept.
        Row{.name = "WidthZero", .source = Letter, .options = {"-W", "0"}, .exitCode = 1, .message = "0 × 480 の画像には画素がないので保存できません"},
        Row{.name = "HeightZero", .source = Letter, .options = {"-H", "0"}, .exitCode = 1, .message = "640 × 0 の画像には画素がないので保存できません"},

        // Faces.
        Row{.name = "FaceNameOf300Bytes", .source = Letter, .options = {"-f", std::string(100, 'F') + std::string(100, 'a') + std::string(100, 'c')}},
        Row{.name = "FaceOf300BytesOfJapanese", .source = Letter, .options = {"--real", "-f", [] { std::string name; for (int i = 0; i < 100; ++i) name += "明"; return name; }()}},
        Row{.name = "MissingFace", .source = Letter, .options = {"-f", "No Such Face"}},
        Row{.name = "ListedFaceNotInstalled", .source = Letter, .options = {"--faces", "IPAMincho, No Such Face"},
            .exitCode = 1, .message = "ﾌｫﾝﾄ 'No Such Face' はｲﾝｽﾄｰﾙされていません"},
        Row{.name = "MixedFacesInAnEndlessLine", .source = "/dev/urandom", .options = {"--mix-faces", "--bold-cuts", "--real"},
            .inked = std::nullopt},

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
            .prepare = [](const TempDir& folder) { WriteLargeSingleLine(folder / "line.txt", 200u << 20, Utf8Words); }},
        // Tiny characters in columns on a huge picture: refused before the
        // plan, naming what to change, within the memory of any run.
        Row{.name = "HugeColumnsOfTinyCharacters", .source = "/dev/zero",
            .options = {"--vertical", "-s", "1", "-W", "20000", "-H", "20000"}, .exitCode = 1,
            .message = "20000 × 20000 の縦書きにｻｲｽﾞ 1 の文字を並べるにはﾒﾓﾘが足りません (ｻｲｽﾞを大きくするか、横書きにして下さい)",
            .output = "{dir}/out.png", .needs = Needs::LessThan100GiB},
        // Threads beyond what the bands in memory keep busy are not started.
        // Its memory is what the row is about: under AddressSanitizer a
        // picture this wide keeps about 200 MiB in its quarantine, whatever
        // the threads.
        Row{.name = "TwoHundredFiftySixThreads", .source = Letter, .options = {"-W", "20000", "-H", "3000", "--threads", "256"},
            .output = "{dir}/wide.png", .needs = Needs::NoSanitizer},

        // Saves that fail.
        Row{.name = "ReadOnlyFolder", .source = Letter,
            .prepare = [](const TempDir& folder) { ::chmod(folder.Path().c_str(), 0555); },
            .child = Unprivileged, .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/out.bmp を作成できません (ｱｸｾｽが拒否されました)"},
        // A file the user may write, in a folder the user may not: said so.
        Row{.name = "AWritableFileInAReadOnlyFolder", .source = Letter,
            .prepare = [](const TempDir& folder) {
                ::chmod((folder / "out.bmp").c_str(), 0666);
                ::chmod(folder.Path().c_str(), 0555);
            },
            .child = Unprivileged, .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/out.bmp を作成できません (ﾌｫﾙﾀﾞ {dir} に書き込めません)"},
        // A missing folder, a read-only mount and a full disk each say which.
        Row{.name = "IntoAMissingFolder", .source = Letter, .exitCode = 1,
            .message = "ﾌｧｲﾙ {dir}/gone/out.bmp を作成できません (ﾌｫﾙﾀﾞ {dir}/gone がありません)", .output = "{dir}/gone/out.bmp"},
        Row{.name = "OntoAReadOnlyMount", .source = Letter,
            .prepare = [](const TempDir& folder) { std::filesystem::create_directory(folder / "ro"); },
            .child = {.mounts = {{"{dir}/ro", "ro,size=64k"}}}, .exitCode = 1,
            .message = "ﾌｧｲﾙ {dir}/ro/out.bmp を作成できません (読み取り専用のﾌｧｲﾙ ｼｽﾃﾑです)", .output = "{dir}/ro/out.bmp",
            .needs = Needs::Root},
        Row{.name = "OntoAFullDisk", .source = Letter,
            .prepare = [](const TempDir& folder) { std::filesystem::create_directory(folder / "small"); },
            .child = {.mounts = {{"{dir}/small", "size=64k"}}}, .exitCode = 1,
            .message = "{dir}/small/out.bmp: ｽﾄﾘｰﾑへの書き込みｴﾗｰ (ﾃﾞｨｽｸに空きがありません)", .output = "{dir}/small/out.bmp",
            .needs = Needs::Root},
        Row{.name = "OutputIsAFolder", .source = Letter, .exitCode = 1, .message = "ﾌｧｲﾙ {dir} を作成できません (ﾌｫﾙﾀﾞです)", .output = "{dir}"},
        Row{.name = "DevFull", .source = Letter, .exitCode = 1, .message = "/dev/full: ｽﾄﾘｰﾑへの書き込みｴﾗｰ (ﾃﾞｨｽｸに空きがありません)", .output = "/dev/full"},
        Row{.name = "DevFullBehindAPngName", .source = Letter,
            .prepare = [](const TempDir& folder) { ::symlink("/dev/full", (folder / "full.png").c_str()); },
            .exitCode = 1, .message = "{dir}/full.png: ｽﾄﾘｰﾑへの書き込みｴﾗｰ (ﾃﾞｨｽｸに空きがありません)", .output = "{dir}/full.png"},
        Row{.name = "StandardOutputOntoAFullDevice", .source = Letter, .child = {.standardOutput = "/dev/full"},
            .exitCode = 1, .message = "/dev/stdout: ｽﾄﾘｰﾑへの書き込みｴﾗｰ (ﾃﾞｨｽｸに空きがありません)", .output = "-"},
        // The file-size limit meets a write, which fails: the process is not
        // ended by SIGXFSZ.
        Row{.name = "FileSizeLimitHitMidway", .source = Letter, .child = {.limits = {{RLIMIT_FSIZE, 64 * 1024}}},
            .exitCode = 1, .message = "{dir}/out.bmp: ｽﾄﾘｰﾑへの書き込みｴﾗｰ (ﾌｧｲﾙ ｻｲｽﾞの上限を越えました)"},
        Row{.name = "FileSizeLimitHitMidwayAsPng", .source = Letter, .options = {"--real"},
            .child = {.limits = {{RLIMIT_FSIZE, 8 * 1024}}},
            .exitCode = 1, .message = "{dir}/out.png: ｽﾄﾘｰﾑへの書き込みｴﾗｰ (ﾌｧｲﾙ ｻｲｽﾞの上限を越えました)", .output = "{dir}/out.png"},
        // A PDF's faces go in at its end, after its drawing; an SVG's
        // outlines as they come.
        Row{.name = "FileSizeLimitHitByThePdfsFaces", .source = Letter, .options = {"--real"},
            .child = {.limits = {{RLIMIT_FSIZE, 12 * 1024}}},
            .exitCode = 1, .message = "{dir}/out.pdf: ｽﾄﾘｰﾑへの書き込みｴﾗｰ (ﾌｧｲﾙ ｻｲｽﾞの上限を越えました)", .output = "{dir}/out.pdf"},
        Row{.name = "FileSizeLimitHitMidwayAsSvg", .source = Letter, .options = {"--real"},
            .child = {.limits = {{RLIMIT_FSIZE, 16 * 1024}}},
            .exitCode = 1, .message = "{dir}/out.svg: ｽﾄﾘｰﾑへの書き込みｴﾗｰ (ﾌｧｲﾙ ｻｲｽﾞの上限を越えました)", .output = "{dir}/out.svg"},

        // Ending signals mid-save: the temporary file goes, the earlier
        // picture stays, the process ends with the signal.
        Row{.name = "SigintMidSave", .source = Letter, .options = LargeSave, .child = NoCore, .signal = SIGINT},
        Row{.name = "SigtermMidSave", .source = Letter, .options = LargeSave, .child = NoCore, .signal = SIGTERM},
        Row{.name = "SighupMidSave", .source = Letter, .options = LargeSave, .child = NoCore, .signal = SIGHUP},
        Row{.name = "SigquitMidSave", .source = Letter, .options = LargeSave, .child = NoCore, .signal = SIGQUIT},
        // Every other signal that would end the process does as they do.
        Row{.name = "Sigusr1MidSave", .source = Letter, .options = LargeSave, .child = NoCore, .signal = SIGUSR1},
        Row{.name = "SigalrmMidSave", .source = Letter, .options = LargeSave, .child = NoCore, .signal = SIGALRM},
        Row{.name = "SigpipeMidSave", .source = Letter, .options = LargeSave, .child = NoCore, .signal = SIGPIPE},
        Row{.name = "SigxcpuMidSave", .source = Letter, .options = LargeSave, .child = NoCore, .signal = SIGXCPU},

        // Standard streams closed: the save's files never take their
        // numbers, and --verbose's line goes nowhere, not into the picture. A
        // text given on the command line leaves no source file to take them
        // first.
        Row{.name = "StandardErrorClosed", .source = "--text=拝啓", .options = {"--verbose"}, .child = {.closed = {2}}},
        Row{.name = "StandardOutputClosed", .source = "--text=拝啓", .options = {"--verbose"}, .child = {.closed = {1}},
            .message = "read as utf-8"},
        Row{.name = "EveryStandardStreamClosed", .source = "--text=拝啓", .options = {"--verbose"},
            .child = {.closed = {0, 1, 2}}},

        // Descriptors written as they are, never replaced by rename.
        Row{.name = "StandardOutputIntoAPipe", .source = Letter, .child = {.output = StreamKind::Pipe},
            .output = "/dev/stdout", .toStandardOutput = true},
        Row{.name = "ProcSelfFdIntoASocket", .source = Letter, .child = {.output = StreamKind::Socket},
            .output = "/proc/self/fd/1", .toStandardOutput = true},
        Row{.name = "DashIntoAPipe", .source = Letter, .child = {.output = StreamKind::Pipe}, .output = "-",
            .toStandardOutput = true},
        // A reader that has gone ends the driver quietly, as it ends any
        // command-line tool.
        Row{.name = "StandardOutputIntoAPipeWithoutAReader", .source = Letter,
            .child = {.output = StreamKind::Pipe, .outputReaderGone = true}, .output = "-", .signal = SIGPIPE,
            .signalMidSave = false},
        // A file written from its offset, or appended to, keeps what it held.
        Row{.name = "StandardOutputAppendingToAFile", .source = Letter, .options = SeveralBands,
            .prepare = LogWithEarlierLines(), .child = {.standardOutput = "{dir}/log", .appendOutput = true},
            .output = "/dev/stdout", .changed = {"log"}, .check = EarlierLinesThenThePicture(SeveralBands)},
        Row{.name = "StandardOutputAppendingAsPng", .source = Letter, .options = SeveralBandsAsPng,
            .prepare = LogWithEarlierLines(), .child = {.standardOutput = "{dir}/log", .appendOutput = true},
            .output = "/dev/stdout", .changed = {"log"}, .check = EarlierLinesThenThePicture(SeveralBandsAsPng)},
        Row{.name = "StandardOutputAtAnOffset", .source = Letter, .options = SeveralBands,
            .prepare = LogWithEarlierLines(),
            .child = {.standardOutput = "{dir}/log", .outputOffset = off_t(EarlierLines.size())}, .output = "-",
            .changed = {"log"}, .check = EarlierLinesThenThePicture(SeveralBands)},
        Row{.name = "StandardOutputAtAnOffsetAsPng", .source = Letter, .options = SeveralBandsAsPng,
            .prepare = LogWithEarlierLines(),
            .child = {.standardOutput = "{dir}/log", .outputOffset = off_t(EarlierLines.size())}, .output = "-",
            .changed = {"log"}, .check = EarlierLinesThenThePicture(SeveralBandsAsPng)},

        // Links: a loop is refused and stays; the kernel's protection of
        // links in shared folders holds.
        Row{.name = "OutputIsALinkLoop", .source = Letter,
            .prepare = [](const TempDir& folder) { ::symlink("loop.bmp", (folder / "loop.bmp").c_str()); },
            .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/loop.bmp はｼﾝﾎﾞﾘｯｸ ﾘﾝｸのﾙｰﾌﾟです", .output = "{dir}/loop.bmp"},
        Row{.name = "OutputIsAThreeLinkLoop", .source = Letter,
            .prepare = [](const TempDir& folder) {
                ::symlink("b.bmp", (folder / "a.bmp").c_str());
                ::symlink("c.bmp", (folder / "b.bmp").c_str());
                ::symlink("a.bmp", (folder / "c.bmp").c_str());
            },
            .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/a.bmp はｼﾝﾎﾞﾘｯｸ ﾘﾝｸのﾙｰﾌﾟです", .output = "{dir}/a.bmp"},
        Row{.name = "ALinkPlantedInASharedFolder", .source = Letter,
            .prepare = [](const TempDir& folder) {
                ::chmod(folder.Path().c_str(), 01777);
                ::symlink("out.bmp", (folder / "planted.bmp").c_str());
                ::lchown((folder / "planted.bmp").c_str(), UnprivilegedUser, UnprivilegedGroup);
            },
            .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/planted.bmp を作成できません (ｱｸｾｽが拒否されました)", .output = "{dir}/planted.bmp",
            .needs = Needs::ProtectedSymlinks},
        Row{.name = "ADanglingLinkCreatesItsTarget", .source = Letter,
            .prepare = [](const TempDir& folder) { ::symlink("new.bmp", (folder / "link.bmp").c_str()); },
            .output = "{dir}/link.bmp", .changed = {"new.bmp"},
            .check = [](const TempDir& folder, const ProgramResult&) {
                ExpectPicture(ReadFile(folder / "new.bmp"), 640, 480, true);
            }},

        // Access judged as for writing in place; owners and modes kept.
        Row{.name = "AReadOnlyFileInAWritableFolder", .source = Letter,
            .prepare = [](const TempDir& folder) {
                WritableByEveryone(folder);
                if (::geteuid() == 0)
                    ::chown((folder / "out.bmp").c_str(), UnprivilegedUser, UnprivilegedGroup);
                ::chmod((folder / "out.bmp").c_str(), 0444);
            },
            .child = Unprivileged, .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/out.bmp を作成できません (ｱｸｾｽが拒否されました)"},
        Row{.name = "AFileOnlyTheFolderLetsReplace", .source = Letter,
            .prepare = [](const TempDir& folder) { WritableByEveryone(folder); },
            .child = Unprivileged, .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/out.bmp を作成できません (ｱｸｾｽが拒否されました)", .needs = Needs::Root},
        Row{.name = "RootKeepsTheOwnerAndDropsSetuid", .source = Letter,
            .prepare = [](const TempDir& folder) { SetOwnerAndMode(folder / "out.bmp", SomeUser, SomeGroup, 06754); },
            .check = OwnedAs("out.bmp", SomeUser, SomeGroup, 0754), .needs = Needs::Root},
        Row{.name = "AGroupMemberBecomesTheOwner", .source = Letter,
            .prepare = [](const TempDir& folder) {
                WritableByEveryone(folder);
                SetOwnerAndMode(folder / "out.bmp", 0, UnprivilegedGroup, 0664);
            },
            .child = Unprivileged, .check = OwnedAs("out.bmp", UnprivilegedUser, UnprivilegedGroup, 0664),
            .needs = Needs::Root},
        Row{.name = "ThroughALinkTheTargetKeepsItsOwner", .source = Letter,
            .prepare = [](const TempDir& folder) {
                SetOwnerAndMode(folder / "out.bmp", SomeUser, SomeGroup, 0640);
                ::symlink("out.bmp", (folder / "link.bmp").c_str());
            },
            .output = "{dir}/link.bmp", .changed = {"out.bmp"}, .check = OwnedAs("out.bmp", SomeUser, SomeGroup, 0640),
            .needs = Needs::Root},

        // The source text is never the output, whatever name reaches it.
        Row{.name = "OutputIsTheSource", .source = "{dir}/out.bmp", .exitCode = 1,
            .message = "ﾌｧｲﾙ {dir}/out.bmp は元になるﾃｷｽﾄﾌｧｲﾙなので上書きできません"},
        Row{.name = "OutputIsALinkToTheSource", .source = "{dir}/out.bmp",
            .prepare = [](const TempDir& folder) { ::symlink("out.bmp", (folder / "link.bmp").c_str()); },
            .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/link.bmp は元になるﾃｷｽﾄﾌｧｲﾙなので上書きできません", .output = "{dir}/link.bmp"},
        Row{.name = "OutputIsAHardLinkToTheSource", .source = "{dir}/out.bmp",
            .prepare = [](const TempDir& folder) { ::link((folder / "out.bmp").c_str(), (folder / "hard.bmp").c_str()); },
            .exitCode = 1, .message = "ﾌｧｲﾙ {dir}/hard.bmp は元になるﾃｷｽﾄﾌｧｲﾙなので上書きできません", .output = "{dir}/hard.bmp"},
        Row{.name = "StandardOutputIsTheSource", .source = "-", .child = {.standardOutput = "{dir}/out.bmp"},
            .exitCode = 1, .message = "ﾌｧｲﾙ /dev/stdout は元になるﾃｷｽﾄﾌｧｲﾙなので上書きできません", .output = "-",
            .input = "{dir}/out.bmp"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace morvaleth
