// The picture's own costs against the plain memory operations they stand
// over: BMP encoding against a memcpy of the same bytes, and making a white
// picture against a memset of its bytes.

#include "composer/PixelPicture.h"
#include "composer/encode/Bmp.h"
#include "composer/encode/PictureFile.h"

#include <benchmark/benchmark.h>

#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <vector>

namespace morvaleth::bench {
namespace {

constexpr int Side = 4000;

std::size_t PictureBytes()
{
    return std::size_t(RowBytes(Side)) * Side;
}

// A destination of the encoded file's size, every page already touched.
std::vector<std::uint8_t>& Destination()
{
    static std::vector<std::uint8_t> bytes(PictureBytes() + BmpHeaderBytes, 0);
    return bytes;
}

// Memory of its own, every page already touched, written by offset as a
// file being saved is.
class BufferOutput final : public ByteOutput {
public:
    explicit BufferOutput(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    void Write(const std::uint8_t* data, std::size_t size) override { WriteAt(end_, data, size); }
    bool Seekable() const override { return true; }
    void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override
    {
        std::memcpy(bytes_.data() + offset, data, size);
        end_ = std::max<std::uint64_t>(end_, offset + size);
    }

private:
    std::vector<std::uint8_t>& bytes_;
    std::uint64_t end_ = 0;
};

void EncodeBmpIntoBuffer(benchmark::State& state)
{
    PixelPicture picture;
    picture.SetHeight(Side);
    picture.SetWidth(Side);
    std::vector<std::uint8_t>& destination = Destination();
    for (auto _ : state) {
        BufferOutput output(destination);
        const auto sink = FileSinkFor(PictureFormat::Bmp, output);
        WritePicture(picture, *sink);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(destination.size()));
}

void MemcpyOfTheSameBytes(benchmark::State& state)
{
    PixelPicture picture;
    picture.SetHeight(Side);
    picture.SetWidth(Side);
    std::vector<std::uint8_t>& destination = Destination();
    for (auto _ : state) {
        std::memcpy(destination.data() + BmpHeaderBytes, picture.ScanLine(0), PictureBytes());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(destination.size()));
}

void EncodeBmpToVector(benchmark::State& state)
{
    PixelPicture picture;
    picture.SetHeight(Side);
    picture.SetWidth(Side);
    for (auto _ : state) {
        const std::vector<std::uint8_t> bytes = EncodePicture(picture, PictureFormat::Bmp);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(PictureBytes() + BmpHeaderBytes));
}

void CreatePicture(benchmark::State& state)
{
    for (auto _ : state) {
        PixelPicture picture;
        picture.SetHeight(Side);
        picture.SetWidth(Side);
        benchmark::DoNotOptimize(picture.ScanLine(0));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(PictureBytes()));
}

void MemsetOfItsBytes(benchmark::State& state)
{
    std::vector<std::uint8_t>& destination = Destination();
    for (auto _ : state) {
        std::memset(destination.data(), 0xFF, PictureBytes());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(PictureBytes()));
}

// What any program pays for a fresh white block of the picture's size: the
// system hands out new memory page by page, each zeroed first.
void MallocAndMemset(benchmark::State& state)
{
    for (auto _ : state) {
        void* block = std::malloc(PictureBytes());
        std::memset(block, 0xFF, PictureBytes());
        benchmark::DoNotOptimize(block);
        benchmark::ClobberMemory();
        std::free(block);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(PictureBytes()));
}

// One fresh white picture's memory in a fresh process, on huge pages or on
// ordinary 4 KiB pages: a process's first touches of new memory cost what a
// benchmark repeating in one process never sees again.
int TouchFreshPicture(bool hugePages)
{
    const std::size_t bytes = PictureBytes();
    const auto start = std::chrono::steady_clock::now();
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return 1;
    ::madvise(memory, bytes, hugePages ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
    std::memset(memory, 0xFF, bytes);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(memory);
    std::printf("%.3f\n", std::chrono::duration<double, std::milli>(end - start).count());
    ::munmap(memory, bytes);
    return 0;
}

BENCHMARK(EncodeBmpIntoBuffer)->Name("bmp/encode")->Unit(benchmark::kMillisecond);
BENCHMARK(MemcpyOfTheSameBytes)->Name("bmp/memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeBmpToVector)->Name("bmp/encode_to_vector")->Unit(benchmark::kMillisecond);
BENCHMARK(CreatePicture)->Name("picture/create")->Unit(benchmark::kMillisecond);
BENCHMARK(MemsetOfItsBytes)->Name("picture/memset")->Unit(benchmark::kMillisecond);
BENCHMARK(MallocAndMemset)->Name("picture/malloc_memset")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace morvaleth::bench

// --touch-fresh=huge|small measures one fresh picture's memory and exits;
// anything else runs the benchmarks.
int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--touch-fresh=huge" || argument == "--touch-fresh=small")
            return morvaleth::bench::TouchFreshPicture(argument.ends_with("huge"));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
