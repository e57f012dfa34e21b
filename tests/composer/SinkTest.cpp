// The sinks a run streams its rows into give the same file bytes as the
// picture composed in memory and then encoded, whatever the output (a file
// written by offset, a pipe) and however the rows arrive.

#include "support/TestSupport.h"

#include "composer/Composition.h"
#include "composer/Error.h"
#include "composer/encode/Formats.h"
#include "composer/encode/PictureSink.h"
#include "composer/encode/PictureFile.h"
#include "composer/encode/Png.h"
#include "composer/save/FileSave.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <ostream>
#include <thread>

namespace morvaleth {
namespace {

using testing::ReadFile;
using testing::TempDir;

const std::string Letter = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-sjis.txt";

enum class Output { File, Pipe };

struct SinkCase {
    const char* name;
    PictureFormat format;
    Output output;
    int width;
    int height;
    int threads;
    int bandRows;

    friend void PrintTo(const SinkCase& x, std::ostream* out) { *out << x.name; }
};

CompositionSettings SettingsFor(const SinkCase& run)
{
    CompositionSettings settings;
    settings.sourcePath = Letter;
    settings.widthText = std::to_string(run.width);
    settings.heightText = std::to_string(run.height);
    settings.realMode = true;
    settings.seed = 21;
    settings.render = {run.threads, run.bandRows};
    return settings;
}

// The bytes of a descriptor's other end, read on a thread of its own while
// the run writes.
std::string ThroughAPipe(const std::function<void(int)>& write)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return "";
    std::string bytes;
    std::thread reader([&bytes, end = ends[0]] {
        char piece[65536];
        for (ssize_t got; (got = ::read(end, piece, sizeof piece)) > 0;)
            bytes.append(piece, std::size_t(got));
    });
    try {
        write(ends[1]);
    } catch (...) {
        ::close(ends[1]);
        reader.join();
        ::close(ends[0]);
        throw;
    }
    ::close(ends[1]);
    reader.join();
    ::close(ends[0]);
    return bytes;
}

class SinkTest : public ::testing::TestWithParam<SinkCase> {};

TEST_P(SinkTest, StreamsTheBytesOfThePictureWrittenWhole)
{
    const SinkCase& run = GetParam();
    const std::vector<std::uint8_t> encoded = EncodePicture(*ComposePicture(SettingsFor(run)), run.format);
    const std::string expected(encoded.begin(), encoded.end());

    CompositionRun composition(SettingsFor(run));
    const auto produce = [&](SaveOutput& output) {
        const auto sink = FileSinkFor(run.format, output);
        composition.Render(*sink);
    };
    std::string streamed;
    if (run.output == Output::File) {
        TempDir folder;
        SaveFile(folder / "picture", produce);
        streamed = ReadFile(folder / "picture");
    } else {
        streamed = ThroughAPipe([&](int descriptor) { SaveToDescriptor(descriptor, produce); });
    }
    EXPECT_EQ(streamed.size(), expected.size());
    EXPECT_TRUE(streamed == expected);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, SinkTest,
    ::testing::Values(SinkCase{"BmpFileInBands", PictureFormat::Bmp, Output::File, 641, 480, 3, 7},
                      SinkCase{"BmpFileOneBand", PictureFormat::Bmp, Output::File, 203, 90, 1, 0},
                      SinkCase{"BmpFileOneRowBands", PictureFormat::Bmp, Output::File, 50, 33, 2, 1},
                      SinkCase{"BmpPipe", PictureFormat::Bmp, Output::Pipe, 641, 480, 2, 16},
                      SinkCase{"BmpFileWithoutPixels", PictureFormat::Bmp, Output::File, 0, 480, 2, 0},
                      SinkCase{"PngFileInBands", PictureFormat::Png, Output::File, 641, 480, 3, 5},
                      SinkCase{"PngPipe", PictureFormat::Png, Output::Pipe, 99, 301, 2, 0},
                      SinkCase{"PngWithoutPixels", PictureFormat::Png, Output::Pipe, 640, 0, 2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PictureSize, APngBeyondTheBmpLimitStreamsInAFewRows)
{
    // 30000 x 30000 could not be held as a BMP nor in this test's memory;
    // streamed it takes a band at a time. An empty text keeps it quick.
    TempDir folder;
    testing::WriteFile(folder / "empty.txt", "");
    CompositionSettings settings;
    settings.sourcePath = folder / "empty.txt";
    settings.widthText = "30000";
    settings.heightText = "30";
    CompositionRun run(settings);
    SaveFile(folder / "wide.png", [&](SaveOutput& output) {
        const auto sink = PngSink(output, {});
        run.Render(*sink);
    });
    const std::string png = ReadFile(folder / "wide.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    // IHDR's width, big-endian, right after the signature and chunk header.
    EXPECT_EQ(png.substr(16, 4), std::string("\0\0\x75\x30", 4));
}

TEST(Cancel, ACancelledRunLeavesTheEarlierFileAsItWas)
{
    TempDir folder;
    testing::WriteFile(folder / "out.bmp", "earlier");
    std::atomic<bool> cancel = false;
    RunControl control;
    control.cancel = &cancel;
    control.progress = [&](std::int64_t, std::int64_t) { cancel = true; };
    CompositionSettings settings;
    settings.sourcePath = Letter;
    settings.seed = 1;
    settings.render.bandRows = 8;
    CompositionRun run(settings);
    try {
        SaveFile(folder / "out.bmp", [&](SaveOutput& output) {
            const auto sink = FileSinkFor(PictureFormat::Bmp, output);
            run.Render(*sink, control);
        });
        ADD_FAILURE() << "the run was not cancelled";
    } catch (const Error& error) {
        EXPECT_EQ(error.Kind(), ErrorKind::Cancelled);
    }
    EXPECT_EQ(ReadFile(folder / "out.bmp"), "earlier");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.bmp"});
}

} // namespace
} // namespace morvaleth
