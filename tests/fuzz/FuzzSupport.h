#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

// Stops the fuzzer (or the corpus replay) with a message when a property that
// must hold for every input does not.
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition);   \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
            std::fprintf(stderr, "\n");                                                            \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace morvaleth::fuzzing {

// Bytes held in memory that the engine can open by name like any file, so that
// a fuzzer touches no disk. Each open of Path() starts at the first byte.
class MemoryFile {
public:
    explicit MemoryFile(std::span<const std::uint8_t> bytes) : descriptor_(::memfd_create("fuzz", MFD_CLOEXEC))
    {
        if (descriptor_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        Append(bytes);
        path_ = "/proc/self/fd/" + std::to_string(descriptor_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    ~MemoryFile() { ::close(descriptor_); }

    void Append(std::span<const std::uint8_t> bytes)
    {
        while (!bytes.empty()) {
            const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
            if (written <= 0) {
                std::perror("write");
                std::abort();
            }
            bytes = bytes.subspan(std::size_t(written));
        }
    }

    const std::string& Path() const { return path_; }

private:
    int descriptor_;
    std::string path_;
};

// Takes the fuzzer's bytes from the front: a few for the parameters of a run,
// the rest as its data. Past the end every byte reads as 0.
class InputBytes {
public:
    InputBytes(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    std::uint8_t Byte()
    {
        if (rest_.empty())
            return 0;
        const std::uint8_t byte = rest_.front();
        rest_ = rest_.subspan(1);
        return byte;
    }

    std::uint16_t Uint16() { return std::uint16_t(Byte() | Byte() << 8); }

    std::uint32_t Uint32() { return std::uint32_t(Uint16()) | std::uint32_t(Uint16()) << 16; }

    // Up to `count` bytes as text; fewer when the input ends first.
    std::string Text(std::size_t count)
    {
        count = std::min(count, rest_.size());
        std::string text(reinterpret_cast<const char*>(rest_.data()), count);
        rest_ = rest_.subspan(count);
        return text;
    }

    std::span<const std::uint8_t> Rest() const { return rest_; }

    std::string_view RestAsText() const
    {
        return {reinterpret_cast<const char*>(rest_.data()), rest_.size()};
    }

private:
    std::span<const std::uint8_t> rest_;
};

} // namespace morvaleth::fuzzing
