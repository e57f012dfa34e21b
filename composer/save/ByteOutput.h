#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace morvaleth {

// Pieces of memory that make consecutive bytes of an output.
using BytePieces = std::span<const std::span<const std::uint8_t>>;

// Where an encoder's bytes go: the file a save writes, or memory.
class ByteOutput {
public:
    virtual ~ByteOutput() = default;

    // Appends the bytes after everything written so far.
    virtual void Write(const std::uint8_t* data, std::size_t size) = 0;

    // Whether WriteAt may be used: a regular file or memory, not a pipe,
    // socket or terminal.
    virtual bool Seekable() const = 0;

    // Writes the bytes at an offset, extending the output as needed; later
    // appends continue after the farthest byte written. Seekable outputs only.
    virtual void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;

    // The pieces one after the other from the offset, as WriteAt would; a
    // file gathers them in one system call instead of copying them together.
    virtual void WritePiecesAt(std::uint64_t offset, BytePieces pieces)
    {
        for (const std::span<const std::uint8_t> piece : pieces) {
            WriteAt(offset, piece.data(), piece.size());
            offset += piece.size();
        }
    }

    // Asks for bytes already written at these offsets to start going out to
    // the disk, so that the final sync of a large file has less left to wait
    // for. Nothing for memory.
    virtual void StartWriteback(std::uint64_t /*offset*/, std::uint64_t /*size*/) {}
};

// Bytes gathered in memory, for a picture encoded to be looked at rather
// than saved.
class MemoryOutput final : public ByteOutput {
public:
    void Write(const std::uint8_t* data, std::size_t size) override { WriteAt(bytes_.size(), data, size); }
    bool Seekable() const override { return true; }
    void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override
    {
        if (offset + size > bytes_.size())
            bytes_.resize(std::size_t(offset + size));
        std::copy(data, data + size, bytes_.begin() + std::ptrdiff_t(offset));
    }

    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace morvaleth
