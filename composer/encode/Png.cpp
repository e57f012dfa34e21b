#include "composer/encode/Png.h"

#include "composer/Messages.h"
#include "composer/encode/Formats.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>
#include <vector>

namespace morvaleth {
namespace {

constexpr std::uint8_t Signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The filtered bytes a block holds, at least a row: big enough that the
// seams between blocks cost nothing worth counting, small enough that the
// blocks in flight stay a few MiB.
constexpr std::size_t BlockBytes = std::size_t(1) << 20;
// What deflate looks back over: a block's dictionary.
constexpr std::size_t WindowBytes = 32768;
// Blocks waiting to be written, a thread.
constexpr std::size_t BlocksAThread = 2;

void Put32(std::uint8_t* out, std::uint32_t value)
{
    out[0] = std::uint8_t(value >> 24);
    out[1] = std::uint8_t(value >> 16);
    out[2] = std::uint8_t(value >> 8);
    out[3] = std::uint8_t(value);
}

// A chunk: its data's length, its type, the data, and the CRC of type and
// data. `chunk` holds 8 bytes of room before the data and 4 after it.
void FrameChunk(std::vector<std::uint8_t>& chunk, const char (&type)[5])
{
    const std::size_t size = chunk.size() - 12;
    Put32(chunk.data(), std::uint32_t(size));
    std::memcpy(chunk.data() + 4, type, 4);
    const uLong crc = crc32_z(crc32(0, nullptr, 0), chunk.data() + 4, size + 4);
    Put32(chunk.data() + 8 + size, std::uint32_t(crc));
}

std::vector<std::uint8_t> Chunk(const char (&type)[5], std::string_view data)
{
    std::vector<std::uint8_t> chunk(data.size() + 12);
    std::memcpy(chunk.data() + 8, data.data(), data.size());
    FrameChunk(chunk, type);
    return chunk;
}

// An iTXt chunk: keyword, no compression, no language, the text in UTF-8.
// Keywords are at most 79 Latin-1 characters without NUL.
std::vector<std::uint8_t> TextChunk(std::string_view keyword, std::string_view text)
{
    std::string data(keyword.substr(0, 79));
    std::replace(data.begin(), data.end(), '\0', ' ');
    data.append("\0\0\0\0\0", 5);
    data.append(text);
    return Chunk("iTXt", data);
}

// Rows filtered as PNG holds them and deflated into an IDAT chunk.
struct Block {
    std::vector<std::uint8_t> rows;       // a filter byte and the pixels, each row
    std::vector<std::uint8_t> dictionary; // the block before's last filtered bytes
    bool first = false;
    bool last = false;
    // What compressing it made, and how many bytes it took in.
    std::vector<std::uint8_t> chunk;
    uLong adler = 0;
    std::size_t length = 0;
    std::exception_ptr failure;
    bool done = false;
};

// The zlib stream's header: deflate with a 32 KiB window, the level it says
// it was made at, and the check bits that make it a multiple of 31.
void PutStreamHeader(std::uint8_t* out, int level)
{
    const unsigned method = 0x78;
    unsigned flags = unsigned(level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3) << 6;
    flags += 31 - (method * 256 + flags) % 31;
    out[0] = std::uint8_t(method);
    out[1] = std::uint8_t(flags);
}

struct Compression {
    int level;
    int strategy;
};

// Deflates a block into its chunk, raw, its pieces made to follow one another
// in one zlib stream: a sync flush ends every block but the last, which ends
// the deflate stream.
void Compress(Block& block, Compression compression)
{
    z_stream stream{};
    if (deflateInit2(&stream, compression.level, Z_DEFLATED, -15, 8, compression.strategy) != Z_OK)
        throw std::bad_alloc();
    struct End {
        z_stream& stream;
        ~End() { deflateEnd(&stream); }
    } end{stream};
    if (!block.dictionary.empty())
        deflateSetDictionary(&stream, block.dictionary.data(), uInt(block.dictionary.size()));
    const std::size_t header = block.first ? 2 : 0;
    // deflateBound allows for the end of a stream; a sync flush takes no more
    // than the empty stored block it adds.
    block.chunk.resize(8 + header + deflateBound(&stream, uLong(block.rows.size())) + 5 + 4);
    if (block.first)
        PutStreamHeader(block.chunk.data() + 8, compression.level);
    stream.next_in = block.rows.data();
    stream.avail_in = uInt(block.rows.size());
    stream.next_out = block.chunk.data() + 8 + header;
    stream.avail_out = uInt(block.chunk.size() - 8 - header - 4);
    const int result = deflate(&stream, block.last ? Z_FINISH : Z_SYNC_FLUSH);
    if (result != (block.last ? Z_STREAM_END : Z_OK) || stream.avail_in != 0)
        throw std::bad_alloc();
    block.chunk.resize(8 + header + stream.total_out + 4);
    FrameChunk(block.chunk, "IDAT");
    block.adler = adler32_z(adler32(0, nullptr, 0), block.rows.data(), block.rows.size());
    block.length = block.rows.size();
}

class PngRowSink final : public RowSink {
public:
    PngRowSink(ByteOutput& output, const EncodeOptions& options)
        : output_(output),
          compression_{options.pngLevel ? *options.pngLevel : 1, options.pngLevel ? Z_DEFAULT_STRATEGY : Z_RLE}
    {
        const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
        threads_ = options.threads > 0 ? std::min(options.threads, cores) : cores;
    }

    PngRowSink(const PngRowSink&) = delete;
    PngRowSink& operator=(const PngRowSink&) = delete;

    ~PngRowSink() override
    {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }

    void Begin(const PictureShape& shape) override
    {
        CheckPictureSize(PictureFormat::Png, shape.width, shape.height);
        shape_ = shape;
        if (shape.width == 0 || shape.height == 0)
            return;
        channels_ = shape.grey ? 1 : 3;
        rowBytes_ = 1 + std::size_t(shape.width) * channels_;
        blockRows_ = int(std::clamp<std::size_t>(BlockBytes / rowBytes_, 1, std::size_t(shape.height)));
        for (int i = 1; i < threads_; ++i)
            workers_.emplace_back([this] { Work(); });

        output_.Write(Signature, sizeof Signature);
        std::uint8_t header[13];
        Put32(header, std::uint32_t(shape.width));
        Put32(header + 4, std::uint32_t(shape.height));
        header[8] = 8;                        // bits a channel
        header[9] = shape.grey ? 0 : 2;       // grey, or red, green and blue
        header[10] = header[11] = header[12] = 0; // deflate, adaptive filters, no interlace
        Write(Chunk("IHDR", std::string_view(reinterpret_cast<const char*>(header), sizeof header)));
        Write(Chunk("sRGB", std::string_view("\0", 1))); // perceptual
    }

    void Rows(int top, int count, const std::uint8_t* rows, std::size_t stride) override
    {
        if (rowBytes_ == 0)
            return;
        for (int row = 0; row < count; ++row) {
            if (!filling_)
                Open();
            const std::uint8_t* pixels = rows + std::size_t(row) * stride;
            std::vector<std::uint8_t>& into = filling_->rows;
            const std::size_t at = into.size();
            into.resize(at + rowBytes_);
            std::uint8_t* out = into.data() + at;
            *out++ = 0; // no filter
            if (channels_ == 1) {
                for (int x = 0; x < shape_.width; ++x)
                    out[x] = pixels[std::size_t(x) * 3 + 1];
            } else {
                for (int x = 0; x < shape_.width; ++x) {
                    out[std::size_t(x) * 3] = pixels[std::size_t(x) * 3 + 2];
                    out[std::size_t(x) * 3 + 1] = pixels[std::size_t(x) * 3 + 1];
                    out[std::size_t(x) * 3 + 2] = pixels[std::size_t(x) * 3];
                }
            }
            if (++rowsFilled_ == blockRows_ || top + row + 1 == shape_.height)
                Submit();
        }
    }

    void Finish() override
    {
        if (rowBytes_ != 0) {
            while (!pending_.empty())
                WriteFirst();
            std::uint8_t check[4];
            Put32(check, std::uint32_t(adler_));
            Write(Chunk("IDAT", std::string_view(reinterpret_cast<const char*>(check), sizeof check)));
            if (shape_.notes != nullptr)
                for (const auto& [keyword, text] : shape_.notes->entries)
                    Write(TextChunk(keyword, text));
            Write(Chunk("IEND", {}));
        }
    }

private:
    void Write(const std::vector<std::uint8_t>& bytes) { output_.Write(bytes.data(), bytes.size()); }

    void Open()
    {
        filling_ = std::make_unique<Block>();
        filling_->rows.reserve(std::size_t(blockRows_) * rowBytes_);
        filling_->first = blocksMade_ == 0;
        rowsFilled_ = 0;
    }

    // Hands the block on, to a thread or compressed here, and writes what is
    // done in order, waiting for the oldest block while too many are held.
    void Submit()
    {
        Block& block = *filling_;
        block.last = std::int64_t(blocksMade_ + 1) * blockRows_ >= shape_.height;
        block.dictionary = std::move(window_);
        const std::size_t kept = std::min(WindowBytes, block.rows.size());
        window_.assign(block.rows.end() - std::ptrdiff_t(kept), block.rows.end());
        ++blocksMade_;
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(std::move(filling_));
            if (!workers_.empty())
                queue_.push_back(pending_.back().get());
        }
        if (workers_.empty())
            CompressInto(*pending_.back());
        else
            wake_.notify_one();
        while (!pending_.empty() && (pending_.size() > BlocksAThread * std::size_t(threads_) || Done(*pending_.front())))
            WriteFirst();
    }

    bool Done(Block& block)
    {
        std::lock_guard lock(mutex_);
        return block.done;
    }

    void CompressInto(Block& block)
    {
        try {
            Compress(block, compression_);
        } catch (...) {
            block.failure = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        block.done = true;
        block.rows = {};
    }

    // Writes the oldest block once it is compressed, helping with the
    // others meanwhile.
    void WriteFirst()
    {
        Block& first = *pending_.front();
        std::unique_lock lock(mutex_);
        while (!first.done) {
            if (!queue_.empty()) {
                Block* next = queue_.front();
                queue_.pop_front();
                lock.unlock();
                CompressInto(*next);
                lock.lock();
                continue;
            }
            finished_.wait(lock);
        }
        lock.unlock();
        if (first.failure)
            std::rethrow_exception(first.failure);
        Write(first.chunk);
        adler_ = adler32_combine(adler_, first.adler, z_off_t(first.length));
        pending_.pop_front();
    }

    void Work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (closing_)
                return;
            Block* block = queue_.front();
            queue_.pop_front();
            lock.unlock();
            CompressInto(*block);
            lock.lock();
            finished_.notify_all();
        }
    }

    ByteOutput& output_;
    Compression compression_;
    int threads_ = 1;
    PictureShape shape_;
    int channels_ = 3;
    std::size_t rowBytes_ = 0;
    int blockRows_ = 0;
    std::unique_ptr<Block> filling_;
    int rowsFilled_ = 0;
    std::int64_t blocksMade_ = 0;
    std::vector<std::uint8_t> window_;
    uLong adler_ = adler32(0, nullptr, 0);
    std::deque<std::unique_ptr<Block>> pending_;

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::deque<Block*> queue_;
    bool closing_ = false;
};

} // namespace

std::unique_ptr<RowSink> PngSink(ByteOutput& output, const EncodeOptions& options)
{
    return std::make_unique<PngRowSink>(output, options);
}

} // namespace morvaleth
