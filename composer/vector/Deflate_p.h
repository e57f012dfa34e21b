#pragma once

#include "composer/save/ByteOutput.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace morvaleth {

// Bytes compressed into another output as they come: a zlib stream (a PDF
// stream's FlateDecode) or a gzip file. It only appends. Finish ends the
// stream; a stream dropped unfinished has written an incomplete one.
class DeflateOutput final : public ByteOutput {
public:
    enum class Wrapping { Zlib, Gzip };

    DeflateOutput(ByteOutput& to, Wrapping wrapping);
    DeflateOutput(const DeflateOutput&) = delete;
    DeflateOutput& operator=(const DeflateOutput&) = delete;
    ~DeflateOutput() override;

    void Write(const std::uint8_t* data, std::size_t size) override;
    bool Seekable() const override { return false; }
    // Fails with "ｽﾄﾘｰﾑへの書き込みｴﾗｰ": a compressed stream cannot go back.
    void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;

    // Ends the stream and returns how many compressed bytes it took; the
    // next Write begins a new stream into the same output.
    std::uint64_t Finish();

private:
    void Run(const std::uint8_t* data, std::size_t size, int flush);

    ByteOutput& to_;
    z_stream stream_{};
    std::vector<std::uint8_t> out_;
    std::uint64_t bytesOut_ = 0;
};

// Whole bytes compressed at once, as a zlib stream, by one compressor kept for
// many small pieces (a glyph's outline each).
class Deflater {
public:
    Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater();

    void Compress(std::string_view bytes, std::string& into);

private:
    z_stream stream_{};
};

} // namespace morvaleth
