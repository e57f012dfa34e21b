#include "composer/vector/Deflate_p.h"

#include "composer/Messages.h"

#include <algorithm>
#include <string_view>

namespace morvaleth {
namespace {

// What the compressor hands on at a time.
constexpr std::size_t OutChunk = 64 * 1024;
// zlib's window bits; 16 more ask for a gzip header and trailer.
constexpr int WindowBits = 15;
constexpr int GzipWindowBits = WindowBits + 16;
constexpr int MemoryLevel = 8;

// Setting up a compressor fails only for want of memory.
void Start(z_stream& stream, int windowBits)
{
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, MemoryLevel, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw Failure(Message::OutOfResources);
}

} // namespace

DeflateOutput::DeflateOutput(ByteOutput& to, Wrapping wrapping) : to_(to), out_(OutChunk)
{
    Start(stream_, wrapping == Wrapping::Gzip ? GzipWindowBits : WindowBits);
}

DeflateOutput::~DeflateOutput()
{
    deflateEnd(&stream_);
}

void DeflateOutput::Write(const std::uint8_t* data, std::size_t size)
{
    Run(data, size, Z_NO_FLUSH);
}

void DeflateOutput::WriteAt(std::uint64_t, const std::uint8_t*, std::size_t)
{
    throw Failure(Message::WriteFailed);
}

std::uint64_t DeflateOutput::Finish()
{
    Run(nullptr, 0, Z_FINISH);
    deflateReset(&stream_);
    const std::uint64_t bytes = bytesOut_;
    bytesOut_ = 0;
    return bytes;
}

void DeflateOutput::Run(const std::uint8_t* data, std::size_t size, int flush)
{
    // zlib counts in 32 bits: larger pieces go in parts.
    do {
        const std::size_t part = std::min<std::size_t>(size, 1u << 30);
        stream_.next_in = const_cast<std::uint8_t*>(data);
        stream_.avail_in = uInt(part);
        const int step = part == size ? flush : Z_NO_FLUSH;
        int status = Z_OK;
        do {
            stream_.next_out = out_.data();
            stream_.avail_out = uInt(out_.size());
            status = deflate(&stream_, step);
            const std::size_t produced = out_.size() - stream_.avail_out;
            if (produced > 0) {
                to_.Write(out_.data(), produced);
                bytesOut_ += produced;
            }
        } while (stream_.avail_out == 0 || (step == Z_FINISH && status != Z_STREAM_END));
        data += part;
        size -= part;
    } while (size > 0);
}

Deflater::Deflater()
{
    Start(stream_, WindowBits);
}

Deflater::~Deflater()
{
    deflateEnd(&stream_);
}

void Deflater::Compress(std::string_view bytes, std::string& into)
{
    deflateReset(&stream_);
    into.resize(deflateBound(&stream_, uLong(bytes.size())));
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream_.avail_in = uInt(bytes.size());
    stream_.next_out = reinterpret_cast<Bytef*>(into.data());
    stream_.avail_out = uInt(into.size());
    // The bound leaves room for the whole stream in one call.
    deflate(&stream_, Z_FINISH);
    into.resize(into.size() - stream_.avail_out);
}

} // namespace morvaleth
