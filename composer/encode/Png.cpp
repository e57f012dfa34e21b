#include "composer/encode/Png.h"

#include "composer/Messages.h"
#include "composer/PhysicalSize.h"
#include "composer/encode/Formats.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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
    // An empty view may hold no pointer at all, which memcpy must not get.
    if (!data.empty())
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
    PngRowSink(ByteOutput& output, const OutputOptions& options)
        : output_(output),
          compression_{options.pngLevel ? *options.pngLevel : 1, options.pngLevel ? Z_DEFAULT_STRATEGY : Z_RLE},
          level_(options.pngLevel),
          pixelsPerMetre_(options.dotsPerInch > 0 ? PixelsPerMetre(options.dotsPerInch) : 0)
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
        if (pixelsPerMetre_ != 0) {
            std::uint8_t resolution[9];
            Put32(resolution, pixelsPerMetre_);
            Put32(resolution + 4, pixelsPerMetre_);
            resolution[8] = 1; // the metre
            Write(Chunk("pHYs", std::string_view(reinterpret_cast<const char*>(resolution), sizeof resolution)));
        }
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
            if (level_)
                Write(TextChunk(PngLevelKeyword, std::to_string(*level_)));
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
    std::optional<int> level_;
    std::uint32_t pixelsPerMetre_;
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

std::unique_ptr<RowSink> PngSink(ByteOutput& output, const OutputOptions& options)
{
    return std::make_unique<PngRowSink>(output, options);
}

namespace {

// A text chunk's text can be compressed; a few MiB are the most a note needs,
// a compressed chunk that claims far more is refused rather than inflated.
constexpr std::size_t MostNoteBytes = std::size_t(256) << 20;

std::uint32_t Get32(const std::uint8_t* in)
{
    return std::uint32_t(in[0]) << 24 | std::uint32_t(in[1]) << 16 | std::uint32_t(in[2]) << 8 | in[3];
}

bool Inflate(std::string_view compressed, std::string& text)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        throw std::bad_alloc();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    int result = Z_OK;
    char piece[65536];
    while (result == Z_OK && text.size() < MostNoteBytes) {
        stream.next_out = reinterpret_cast<Bytef*>(piece);
        stream.avail_out = sizeof piece;
        result = inflate(&stream, Z_NO_FLUSH);
        text.append(piece, sizeof piece - stream.avail_out);
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END;
}

std::string Utf8OfLatin1(std::string_view text)
{
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += char(0xC0 | byte >> 6);
            utf8 += char(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// The note of a text chunk; false for one that is malformed.
bool ReadTextChunk(std::string_view type, std::string_view data, PictureNotes& notes)
{
    const std::size_t keywordEnd = data.find('\0');
    if (keywordEnd == std::string_view::npos || keywordEnd == 0)
        return false;
    const std::string keyword = Utf8OfLatin1(data.substr(0, keywordEnd));
    std::string_view rest = data.substr(keywordEnd + 1);
    std::string text;
    if (type == "tEXt") {
        text = Utf8OfLatin1(rest);
    } else if (type == "zTXt") {
        if (rest.empty() || rest[0] != 0 || !Inflate(rest.substr(1), text))
            return false;
        text = Utf8OfLatin1(text);
    } else {
        // iTXt: compressed or not, the method, a language tag and a
        // translated keyword, then the text in UTF-8.
        if (rest.size() < 2)
            return false;
        const bool compressed = rest[0] != 0;
        rest.remove_prefix(2);
        for (int skip = 0; skip < 2; ++skip) {
            const std::size_t end = rest.find('\0');
            if (end == std::string_view::npos)
                return false;
            rest.remove_prefix(end + 1);
        }
        if (!compressed)
            text.assign(rest);
        else if (!Inflate(rest, text))
            return false;
    }
    notes.entries.emplace_back(keyword, std::move(text));
    return true;
}

} // namespace

PictureNotes ReadPngNotes(const std::string& path)
{
    const auto file = std::unique_ptr<std::FILE, int (*)(std::FILE*)>(std::fopen(path.c_str(), "rbe"), &std::fclose);
    if (!file)
        throw SystemFailure(errno, path);
    const Error notOurs = Failure(Message::NoRecipe, {path});
    std::uint8_t signature[sizeof Signature];
    if (std::fread(signature, 1, sizeof signature, file.get()) != sizeof signature ||
        !std::equal(std::begin(signature), std::end(signature), std::begin(Signature)))
        throw notOurs;
    PictureNotes notes;
    for (;;) {
        std::uint8_t header[8];
        if (std::fread(header, 1, sizeof header, file.get()) != sizeof header)
            throw notOurs;
        const std::uint32_t length = Get32(header);
        const std::string_view type(reinterpret_cast<const char*>(header + 4), 4);
        if (length > 0x7FFFFFFF)
            throw notOurs;
        if (type == "IEND")
            return notes;
        if (type != "iTXt" && type != "tEXt" && type != "zTXt") {
            if (std::fseek(file.get(), long(length) + 4, SEEK_CUR) != 0)
                throw notOurs;
            continue;
        }
        if (length > MostNoteBytes)
            throw notOurs;
        std::string data(length + 4, '\0');
        if (std::fread(data.data(), 1, data.size(), file.get()) != data.size())
            throw notOurs;
        const uLong crc = crc32_z(crc32(0, header + 4, 4), reinterpret_cast<const Bytef*>(data.data()), length);
        if (crc != Get32(reinterpret_cast<const std::uint8_t*>(data.data()) + length))
            throw notOurs;
        data.resize(length);
        ReadTextChunk(type, data, notes);
    }
}

} // namespace morvaleth
