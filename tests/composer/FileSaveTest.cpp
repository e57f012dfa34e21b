#include "support/TestSupport.h"

#include "composer/save/DescriptorPath.h"
#include "composer/Error.h"
#include "composer/save/FileSave.h"
#include "composer/encode/Formats.h"
#include "composer/encode/PictureFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <ostream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace morvaleth {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WhitePicture;
using testing::WriteFile;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

void WriteText(const std::string& path, const std::string& text)
{
    SaveFile(path, [&text](SaveOutput& output) {
        output.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    });
}

// Writes a first piece, then fails as a full disk would.
void FailHalfway(const std::string& path)
{
    SaveFile(path, [](SaveOutput& output) {
        const std::uint8_t piece[] = {'B', 'M'};
        output.Write(piece, sizeof piece);
        throw Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
    });
}

mode_t ModeOf(const std::string& path)
{
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode;
}

TEST(SaveToFile, ReplacesAnEarlierFileAndLeavesNoTemporaryFile)
{
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "earlier");
    SavePicture(*WhitePicture(640, 480), path);
    SavePicture(*WhitePicture(3, 3), path);
    EXPECT_EQ(ReadFile(path).size(), 54u + 3 * 12);
    EXPECT_THAT(folder.Entries(), ElementsAre("letter.bmp"));
}

TEST(SaveToFile, APictureWithoutPixelsLeavesAnEmptyFile)
{
    TempDir folder;
    const std::string path = folder / "empty.bmp";
    WriteFile(path, "earlier");
    SavePicture(PixelPicture(), path);
    EXPECT_EQ(ReadFile(path), "");
}

TEST(SaveToFile, AFailedWriteLeavesTheEarlierFileIntact)
{
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "the earlier picture");
    EXPECT_THROW(FailHalfway(path), Error);
    EXPECT_EQ(ReadFile(path), "the earlier picture");
    EXPECT_THAT(folder.Entries(), ElementsAre("letter.bmp"));
}

TEST(SaveToFile, AFailedFirstWriteLeavesNoFile)
{
    TempDir folder;
    EXPECT_THROW(FailHalfway(folder / "new.bmp"), Error);
    EXPECT_TRUE(folder.Entries().empty());
}

TEST(SaveToFile, KeepsTheEarlierFilesPermissions)
{
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "x");
    ::chmod(path.c_str(), 0640);
    WriteText(path, "new");
    EXPECT_EQ(ModeOf(path) & 07777, 0640u);
}

TEST(SaveToFile, ANewFileFollowsTheUmask)
{
    TempDir folder;
    const mode_t saved = ::umask(027);
    WriteText(folder / "new.bmp", "new");
    ::umask(saved);
    EXPECT_EQ(ModeOf(folder / "new.bmp") & 07777, 0640u);
}

TEST(SaveToFile, ReplacesTheFileALinkPointsToAndKeepsTheLink)
{
    TempDir folder;
    const std::string target = folder / "target.bmp";
    const std::string link = folder / "link.bmp";
    WriteFile(target, "old");
    ASSERT_EQ(::symlink("target.bmp", link.c_str()), 0);
    WriteText(link, "new");
    EXPECT_EQ(ReadFile(target), "new");
    struct stat status {};
    ::lstat(link.c_str(), &status);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_THAT(folder.Entries(), UnorderedElementsAre("target.bmp", "link.bmp"));
}

TEST(SaveToFile, WritesStraightToADevice)
{
    WriteText("/dev/null", "into the void");
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
}

TEST(SaveToFile, AFullDeviceFailsWithAWriteErrorNamingItAndStaysADevice)
{
    try {
        SavePicture(*WhitePicture(64, 64), "/dev/full");
        FAIL() << "writing to /dev/full succeeded";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
        EXPECT_EQ(error.File(), "/dev/full");
        EXPECT_EQ(error.Kind(), ErrorKind::Write);
    }
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/full")));
}

struct UncreatableCase {
    const char* name;
    std::string relativePath; // under a fresh folder; "" names the folder itself, "/..." a path of its own
    std::function<void(const TempDir&)> prepare = {};
    const char* messageEnd = " を作成できません"; // after "ﾌｧｲﾙ " and the path
    ErrorKind kind = ErrorKind::Other;
    std::string reason = {}; // the system's reason; "{dir}" stands for the folder

    friend void PrintTo(const UncreatableCase& x, std::ostream* out) { *out << x.name; }
};

class UncreatableTest : public ::testing::TestWithParam<UncreatableCase> {};

TEST_P(UncreatableTest, FailsNamingThePathAsPassedAndLeavesTheFolderAsItWas)
{
    TempDir folder;
    if (GetParam().prepare)
        GetParam().prepare(folder);
    const auto entries = folder.Entries();
    const std::string& relative = GetParam().relativePath;
    const std::string path = relative.starts_with("/") ? relative
                             : relative.empty()       ? folder.Path().string()
                                                      : folder / relative;
    try {
        SavePicture(*WhitePicture(4, 4), path);
        FAIL() << "saving succeeded";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), "ﾌｧｲﾙ " + path + GetParam().messageEnd);
        EXPECT_EQ(error.Kind(), GetParam().kind);
        std::string reason = GetParam().reason;
        if (const std::size_t at = reason.find("{dir}"); at != std::string::npos)
            reason.replace(at, 5, folder.Path().string());
        EXPECT_EQ(error.Reason(), reason);
    }
    EXPECT_EQ(folder.Entries(), entries);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UncreatableTest,
    ::testing::Values(
        UncreatableCase{"MissingFolder", "no/such/folder/a.bmp", {}, " を作成できません", ErrorKind::NotFound,
                        "ﾌｫﾙﾀﾞ {dir}/no/such/folder がありません"},
        UncreatableCase{"AFileForAFolder", "file/a.bmp", [](const TempDir& folder) { WriteFile(folder / "file", "x"); },
                        " を作成できません", ErrorKind::NotFound, "ﾌｫﾙﾀﾞ {dir}/file がありません"},
        UncreatableCase{"AFolder", "", {}, " を作成できません", ErrorKind::Usage, "ﾌｫﾙﾀﾞです"},
        UncreatableCase{"TrailingSlash", "name/", {}, " を作成できません", ErrorKind::Usage, "ﾌｫﾙﾀﾞです"},
        UncreatableCase{"ALinkLoop", "loop.bmp",
                        [](const TempDir& folder) { ::symlink("loop.bmp", (folder / "loop.bmp").c_str()); },
                        " はｼﾝﾎﾞﾘｯｸ ﾘﾝｸのﾙｰﾌﾟです", ErrorKind::Usage},
        UncreatableCase{"ADescriptorNotOpen", "/dev/fd/987", {}, " を作成できません", ErrorKind::Other,
                        "ｼｽﾃﾑ ｴﾗｰ EBADF (9)"}),
    [](const auto& info) { return std::string(info.param.name); });

// What a save killed outright left behind goes at the next save into the
// folder once a day old; younger files, other names and other owners' stay.
TEST(SaveToFile, RemovesItsOwnTemporaryFilesOlderThanADay)
{
    TempDir folder;
    for (const char* name : {".morvaleth-Old123", ".morvaleth-New123", ".morvaleth-longer-name"})
        WriteFile(folder / name, "left behind");
    const timeval twoDaysAgo[2] = {{std::time(nullptr) - 2 * 86400, 0}, {std::time(nullptr) - 2 * 86400, 0}};
    ASSERT_EQ(::utimes((folder / ".morvaleth-Old123").c_str(), twoDaysAgo), 0);
    ASSERT_EQ(::utimes((folder / ".morvaleth-longer-name").c_str(), twoDaysAgo), 0);
    WriteText(folder / "letter.bmp", "new");
    EXPECT_THAT(folder.Entries(), UnorderedElementsAre(".morvaleth-New123", ".morvaleth-longer-name", "letter.bmp"));
}

TEST(SaveToFile, LeavesAnotherUsersStaleTemporaryFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a file of another user takes root to make";
    TempDir folder;
    const timeval twoDaysAgo[2] = {{std::time(nullptr) - 2 * 86400, 0}, {std::time(nullptr) - 2 * 86400, 0}};
    for (const char* name : {".morvaleth-Mine12", ".morvaleth-Their1"}) {
        WriteFile(folder / name, "left behind");
        ASSERT_EQ(::utimes((folder / name).c_str(), twoDaysAgo), 0);
    }
    ASSERT_EQ(::chown((folder / ".morvaleth-Their1").c_str(), 1234, 5678), 0);
    WriteText(folder / "letter.bmp", "new");
    EXPECT_THAT(folder.Entries(), UnorderedElementsAre(".morvaleth-Their1", "letter.bmp"));
}

volatile sig_atomic_t signalsHandled = 0;
extern "C" void CountSignal(int)
{
    signalsHandled = signalsHandled + 1;
}

// Who answers a signal: "own" (CountSignal, as it was installed), "ignored",
// "default", or "save" (anyone else: the save's own handler).
std::string Disposition(int signal)
{
    struct sigaction action {};
    ::sigaction(signal, nullptr, &action);
    if (action.sa_handler == SIG_DFL || action.sa_handler == SIG_IGN)
        return action.sa_handler == SIG_DFL ? "default" : "ignored";
    if (action.sa_handler == &CountSignal)
        return (action.sa_flags & SA_RESTART) && sigismember(&action.sa_mask, SIGUSR1) ? "own" : "own, changed";
    return "save";
}

std::string Dispositions()
{
    return "INT " + Disposition(SIGINT) + ", TERM " + Disposition(SIGTERM) + ", HUP " + Disposition(SIGHUP) + "; ";
}

// A program that handles SIGINT and ignores SIGTERM keeps both through a save
// they meet: they do not end it, the save goes on, and its temporary file
// goes as on any other failure. The signals it leaves alone are the save's
// while it lasts.
TEST(SaveToFile, AProgramsOwnHandlerAndIgnoredSignalStayItsOwn)
{
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "earlier");
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct sigaction own {};
        own.sa_handler = &CountSignal;
        own.sa_flags = SA_RESTART;
        sigemptyset(&own.sa_mask);
        sigaddset(&own.sa_mask, SIGUSR1);
        ::sigaction(SIGINT, &own, nullptr);
        ::signal(SIGTERM, SIG_IGN);
        std::string seen;
        const auto signalled = [&](SaveOutput& output, const char* text) {
            seen += Dispositions();
            ::raise(SIGINT);
            ::raise(SIGTERM);
            output.Write(reinterpret_cast<const std::uint8_t*>(text), 3);
        };
        // Whatever happens, the child only reports and ends.
        try {
            SaveFile(path, [&](SaveOutput& output) { signalled(output, "new"); });
            SaveFile(path, [&](SaveOutput& output) {
                signalled(output, "bad");
                throw Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
            });
        } catch (const Error&) {
            seen += Dispositions() + std::to_string(signalsHandled) + " handled";
        } catch (...) {
        }
        (void)!::write(report[1], seen.data(), seen.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string seen;
    char piece[256];
    for (ssize_t got; (got = ::read(report[0], piece, sizeof piece)) > 0;)
        seen.append(piece, std::size_t(got));
    ::close(report[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(seen, "INT own, TERM ignored, HUP save; INT own, TERM ignored, HUP save; "
                    "INT own, TERM ignored, HUP default; 2 handled");
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_THAT(folder.Entries(), ElementsAre("letter.bmp"));
}

// Runs `body` in a child process of its own, which ends with its status or
// the signal that ends it; returns what waitpid says of its end.
int InAChild(const std::function<void()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        try {
            body();
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return status;
}

// With standard input, output or error closed, the system would hand their
// numbers out first: the save's files never take them, so that what the
// program writes there (a warning, --verbose's line) cannot land in the
// picture.
class ClosedStreamsTest : public ::testing::TestWithParam<std::vector<int>> {};

TEST_P(ClosedStreamsTest, NeverBecomeTheSavesFiles)
{
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    for (const bool existing : {false, true}) {
        if (existing)
            WriteFile(path, "earlier");
        const int status = InAChild([&] {
            for (const int stream : GetParam())
                ::close(stream);
            SaveFile(path, [&](SaveOutput& output) {
                output.Write(reinterpret_cast<const std::uint8_t*>("new "), 4);
                for (const int stream : GetParam())
                    (void)!::write(stream, "leak ", 5);
                output.Write(reinterpret_cast<const std::uint8_t*>("picture"), 7);
            });
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_EQ(ReadFile(path), "new picture");
        EXPECT_THAT(folder.Entries(), ElementsAre("letter.bmp"));
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, ClosedStreamsTest,
                         ::testing::Values(std::vector<int>{0}, std::vector<int>{1}, std::vector<int>{2},
                                           std::vector<int>{0, 1, 2}),
                         [](const auto& info) {
                             std::string name = "Closed";
                             for (const int stream : info.param)
                                 name += std::to_string(stream);
                             return name;
                         });

// Every signal whose default action ends the process, met in the middle of
// a save, removes the temporary file before it ends the process with that
// signal; the earlier file stays. Signals the test's own runtime handles (a
// sanitizer's) are left to it.
TEST(SaveToFile, EverySignalThatWouldEndTheProcessRemovesTheTemporaryFileFirst)
{
    std::vector<int> signals = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS, SIGFPE,
                                SIGUSR1, SIGSEGV, SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT,
                                SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSYS};
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        signals.push_back(signal);
    int checked = 0;
    for (const int signal : signals) {
        struct sigaction now {};
        ::sigaction(signal, nullptr, &now);
        if (now.sa_handler != SIG_DFL)
            continue;
        ++checked;
        TempDir folder;
        const std::string path = folder / "letter.bmp";
        WriteFile(path, "earlier");
        const int status = InAChild([&] {
            SaveFile(path, [&](SaveOutput& output) {
                output.Write(reinterpret_cast<const std::uint8_t*>("new"), 3);
                ::raise(signal);
            });
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
            << strsignal(signal) << ": status " << status;
        EXPECT_THAT(folder.Entries(), ElementsAre("letter.bmp")) << strsignal(signal);
        EXPECT_EQ(ReadFile(path), "earlier") << strsignal(signal);
    }
    EXPECT_GE(checked, 40);
}

// The save holds its folder open: a folder renamed while the save goes on
// takes the temporary file along, and whatever ends the save leaves none
// behind in it.
enum class SaveEnd { Completes, Fails, Signalled };

class RenamedFolderTest : public ::testing::TestWithParam<SaveEnd> {};

TEST_P(RenamedFolderTest, LeavesNoTemporaryFileInIt)
{
    TempDir parent;
    const std::filesystem::path letters = parent.Path() / "letters";
    const std::filesystem::path moved = parent.Path() / "moved";
    std::filesystem::create_directory(letters);
    WriteFile(letters / "letter.bmp", "earlier");
    const auto save = [&] {
        SaveFile(letters / "letter.bmp", [&](SaveOutput& output) {
            output.Write(reinterpret_cast<const std::uint8_t*>("new"), 3);
            std::filesystem::rename(letters, moved);
            if (GetParam() == SaveEnd::Fails)
                throw Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
            if (GetParam() == SaveEnd::Signalled)
                ::raise(SIGTERM);
        });
    };
    if (GetParam() == SaveEnd::Signalled) {
        const int status = InAChild(save);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    } else if (GetParam() == SaveEnd::Fails) {
        EXPECT_THROW(save(), Error);
    } else {
        save();
    }
    EXPECT_FALSE(std::filesystem::exists(letters));
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(moved))
        entries.push_back(entry.path().filename().string());
    EXPECT_THAT(entries, ElementsAre("letter.bmp"));
    EXPECT_EQ(ReadFile(moved / "letter.bmp"), GetParam() == SaveEnd::Completes ? "new" : "earlier");
}

std::string NameOf(SaveEnd end)
{
    return end == SaveEnd::Completes ? "Completes" : end == SaveEnd::Fails ? "Fails" : "Signalled";
}

INSTANTIATE_TEST_SUITE_P(Ends, RenamedFolderTest,
                         ::testing::Values(SaveEnd::Completes, SaveEnd::Fails, SaveEnd::Signalled),
                         [](const auto& info) { return NameOf(info.param); });

// A dangling link is followed to create its target; a save that fails there
// leaves the link dangling as it was.
TEST(SaveToFile, ThroughADanglingLinkCreatesItsTargetOrNothing)
{
    TempDir folder;
    ASSERT_EQ(::symlink("target.bmp", (folder / "link.bmp").c_str()), 0);
    EXPECT_THROW(FailHalfway(folder / "link.bmp"), Error);
    EXPECT_THAT(folder.Entries(), ElementsAre("link.bmp"));
    WriteText(folder / "link.bmp", "new");
    EXPECT_EQ(ReadFile(folder / "target.bmp"), "new");
    EXPECT_THAT(folder.Entries(), UnorderedElementsAre("link.bmp", "target.bmp"));
}

TEST(SaveToFile, AnEmptyNameCannotBeCreated)
{
    EXPECT_THROW(SavePicture(*WhitePicture(4, 4), ""), Error);
}

TEST(SaveToFile, AReadOnlyFolderKeepsItsEarlierFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root; the program-level table runs this unprivileged";
    TempDir folder;
    const std::string path = folder / "letter.bmp";
    WriteFile(path, "earlier");
    ::chmod(folder.Path().c_str(), 0555);
    EXPECT_THROW(SavePicture(*WhitePicture(4, 4), path), Error);
    ::chmod(folder.Path().c_str(), 0755);
    EXPECT_EQ(ReadFile(path), "earlier");
}

} // namespace
} // namespace morvaleth

namespace morvaleth {
namespace {

struct DescriptorPathCase {
    const char* path;
    std::optional<int> descriptor;
};

TEST(DescriptorPaths, NameTheDescriptorTheSystemWouldOpen)
{
    const DescriptorPathCase cases[] = {
        {"/dev/stdin", 0},        {"/dev/stdout", 1},         {"/dev/stderr", 2},
        {"/dev/fd/7", 7},         {"/proc/self/fd/12", 12},   {"/dev/fd/", std::nullopt},
        {"/dev/fd/1x", std::nullopt}, {"/dev/fd/-1", std::nullopt}, {"/proc/1/fd/1", std::nullopt},
        {"-", std::nullopt},      {"/dev/stdout/", std::nullopt}, {"out.bmp", std::nullopt},
    };
    for (const DescriptorPathCase& c : cases)
        EXPECT_EQ(DescriptorOfPath(c.path), c.descriptor) << c.path;
}

TEST(SaveFile, PlacedWritesLandAtTheirOffsetsAndAppendsFollowTheFarthest)
{
    testing::TempDir folder;
    const std::string path = folder / "placed.bin";
    const auto bytes = [](const char* text) { return reinterpret_cast<const std::uint8_t*>(text); };
    SaveFile(path, [&](SaveOutput& output) {
        ASSERT_TRUE(output.Seekable());
        output.Write(bytes("head"), 4);
        output.WriteAt(8, bytes("tail"), 4);
        output.WriteAt(4, bytes("mid-"), 4);
        // Early writeback of placed bytes changes nothing that is written.
        output.StartWriteback(4, 8);
        output.Write(bytes("!"), 1);
    });
    EXPECT_EQ(ReadFile(path), "headmid-tail!");

    // A pipe takes appends only.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_THROW(SaveToDescriptor(ends[1],
                                  [&](SaveOutput& output) {
                                      EXPECT_FALSE(output.Seekable());
                                      EXPECT_THROW(output.StartWriteback(0, 1), Error);
                                      output.WriteAt(0, bytes("x"), 1);
                                  }),
                 Error);
    ::close(ends[0]);
    ::close(ends[1]);
}

} // namespace
} // namespace morvaleth
