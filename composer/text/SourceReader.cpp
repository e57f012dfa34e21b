#include "composer/text/SourceReader.h"

#include "composer/save/DescriptorPath.h"
#include "composer/Messages.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utf8proc.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace morvaleth {
namespace {

constexpr char32_t CR = '\r';
constexpr char32_t LF = '\n';
constexpr char32_t EndOfTextCharacter = 0x1A;
constexpr char Escape = 0x1B;
// How much of the text, from its first byte above 0x7F on, the encoding is
// decided on; the read buffer holds as much.
constexpr std::size_t DetectionWindow = 64 * 1024;
// How long a wait for a source's bytes goes before it looks at the cancel.
constexpr std::chrono::milliseconds CancelHeardWithin{20};
constexpr utf8proc_option_t Nfc = utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE);

// An escape sequence that designates a character set of ISO-2022-JP (or of
// its extensions): ESC $ @, ESC $ B, ESC $ A, ESC $ ( D..., ESC ( B, ESC ( J,
// ESC ( I, ESC & @.
bool IsIso2022Designation(std::string_view bytes)
{
    const auto oneOf = [](std::string_view finals, char c) { return finals.find(c) != std::string_view::npos; };
    if (bytes.size() < 3 || bytes[0] != Escape)
        return false;
    if (bytes[1] == '$')
        return oneOf("@AB", bytes[2]) || (bytes[2] == '(' && bytes.size() >= 4 && oneOf("CDOPQ", bytes[3]));
    if (bytes[1] == '(')
        return oneOf("BJI", bytes[2]);
    return bytes[1] == '&' && bytes[2] == '@';
}

// Whether the folder a path names its file in is missing: a path through
// a folder that is not there is told as a bad name, not as a missing file.
bool FolderMissing(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        return false;
    struct stat status {};
    return ::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode);
}

Error OpenFailure(int error, const std::string& path)
{
    return SystemFailure(error == ENOENT && FolderMissing(path) ? ENOTDIR : error, path);
}

bool IsUnicode(SourceEncoding encoding)
{
    return encoding == SourceEncoding::Utf8 || encoding == SourceEncoding::Utf16Le ||
           encoding == SourceEncoding::Utf16Be;
}

} // namespace

bool IsControlUnit(std::u32string_view unit)
{
    return unit.size() == 1 && (unit[0] < 0x20 || unit[0] == 0x7F);
}

bool IsInvisibleUnit(std::u32string_view unit)
{
    return !unit.empty() && std::all_of(unit.begin(), unit.end(), [](char32_t c) {
        return utf8proc_get_property(utf8proc_int32_t(c))->ignorable;
    });
}

bool IsCompatibilityIdeograph(char32_t c)
{
    return (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x2F800 && c <= 0x2FA1F);
}

SourceReader::SourceReader(const std::string& path, SourceEncoding encoding, const std::atomic<bool>* cancel)
    : path_(path), cancel_(cancel), buffer_(DetectionWindow)
{
    if (path.find('\0') != std::string::npos)
        throw SystemFailure(EINVAL, path);
    // Standard input is read as it was handed over, from its current offset.
    // Other descriptor paths open afresh as the system opens them, apart from
    // a socket, which only its descriptor reads. A descriptor handed over is
    // shared with other processes and keeps its flags; a file opened here
    // does not wait to be opened (a FIFO without a writer), and its reads
    // wait in poll instead, where the cancel is heard.
    const std::optional<int> inherited = DescriptorOfPath(path);
    if (inherited == 0)
        descriptor_ = ::fcntl(0, F_DUPFD_CLOEXEC, 0);
    else
        descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor_ < 0 && errno == ENXIO && inherited)
        descriptor_ = ::fcntl(*inherited, F_DUPFD_CLOEXEC, 0);
    if (descriptor_ < 0)
        throw OpenFailure(errno, path);
    // A constructor that fails runs no destructor. A FIFO left open by a run
    // stopped while it waited would keep its pipe, and the next reader would
    // wait for an end that a writer meeting the forgotten reader never gives.
    try {
        struct stat status {};
        if (::fstat(descriptor_, &status) != 0)
            throw SystemFailure(errno, path);
        if (S_ISDIR(status.st_mode))
            throw SystemFailure(EISDIR, path);
        waits_ = !S_ISREG(status.st_mode);
        if (S_ISREG(status.st_mode)) {
            const off_t start = ::lseek(descriptor_, 0, SEEK_CUR);
            knownLength_ = std::uint64_t(std::max<off_t>(status.st_size - std::max<off_t>(start, 0), 0));
        }
        DecideAtStart(encoding);
    } catch (...) {
        ::close(descriptor_);
        throw;
    }
}

SourceReader::SourceReader(TextInMemory text, SourceEncoding encoding)
    : knownLength_(text.bytes.size()), memory_(text.bytes), buffer_(DetectionWindow)
{
    DecideAtStart(encoding);
}

SourceReader::~SourceReader()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

void SourceReader::Close()
{
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (descriptor >= 0 && ::close(descriptor) != 0 && errno != EINTR)
        throw SystemFailure(errno, path_);
}

std::size_t SourceReader::Fill(std::size_t count)
{
    if (end_ - position_ >= count || fileEnded_)
        return end_ - position_;
    if (position_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + position_, end_ - position_);
        end_ -= position_;
        position_ = 0;
    }
    while (end_ < count && !fileEnded_) {
        const std::size_t got = ReadSome(buffer_.data() + end_, buffer_.size() - end_);
        if (got == 0)
            fileEnded_ = true;
        end_ += got;
        bytesRead_ += got;
    }
    return end_ - position_;
}

std::size_t SourceReader::ReadSome(char* into, std::size_t room)
{
    if (memory_) {
        const std::size_t got = std::min(room, memory_->size() - memoryRead_);
        // An empty text may have no bytes to point at at all.
        if (got > 0)
            std::memcpy(into, memory_->data() + memoryRead_, got);
        memoryRead_ += got;
        return got;
    }
    for (;;) {
        if (waits_)
            WaitForBytes();
        const ssize_t got = ::read(descriptor_, into, room);
        if (got >= 0)
            return std::size_t(got);
        // A source opened without waiting that had nothing after all.
        if (errno != EINTR && errno != EAGAIN)
            throw SystemFailure(errno, path_);
    }
}

void SourceReader::WaitForBytes()
{
    pollfd watched{descriptor_, POLLIN, 0};
    for (;;) {
        if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed))
            throw Cancellation();
        // A FIFO says it has ended only once a writer has come and gone.
        const int ready = ::poll(&watched, 1, cancel_ != nullptr ? int(CancelHeardWithin.count()) : -1);
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            throw SystemFailure(errno, path_);
    }
}

void SourceReader::Decide(SourceEncoding encoding)
{
    encoding_ = encoding;
    clusters_ = IsUnicode(encoding);
    decoder_ = std::make_unique<TextDecoder>(encoding);
}

void SourceReader::DecideAtStart(SourceEncoding requested)
{
    const std::string_view start(buffer_.data(), Fill(3));
    const auto skipMark = [&](std::string_view mark, SourceEncoding encoding) {
        if (!start.starts_with(mark))
            return false;
        position_ += mark.size();
        Decide(encoding);
        return true;
    };
    constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
    constexpr std::string_view LittleEndianMark = "\xFF\xFE";
    constexpr std::string_view BigEndianMark = "\xFE\xFF";
    switch (requested) {
    case SourceEncoding::Automatic: {
        if (skipMark(Utf8Mark, SourceEncoding::Utf8) || skipMark(LittleEndianMark, SourceEncoding::Utf16Le) ||
            skipMark(BigEndianMark, SourceEncoding::Utf16Be))
            break;
        const std::size_t available = Fill(DetectionWindow);
        if (const std::optional<SourceEncoding> utf16 =
                Utf16ByZeroBytes(std::string_view(buffer_.data(), available), fileEnded_))
            Decide(*utf16);
        break;
    }
    case SourceEncoding::Utf16:
        if (!skipMark(LittleEndianMark, SourceEncoding::Utf16Le) && !skipMark(BigEndianMark, SourceEncoding::Utf16Be))
            Decide(SourceEncoding::Utf16Le);
        break;
    case SourceEncoding::Utf8:
        if (!skipMark(Utf8Mark, requested))
            Decide(requested);
        break;
    case SourceEncoding::Utf16Le:
        if (!skipMark(LittleEndianMark, requested))
            Decide(requested);
        break;
    case SourceEncoding::Utf16Be:
        if (!skipMark(BigEndianMark, requested))
            Decide(requested);
        break;
    default:
        Decide(requested);
        break;
    }
}

bool SourceReader::DecideOnTheseBytes()
{
    const std::size_t available = Fill(TextDecoder::LongestCharacter);
    const std::string_view front(buffer_.data() + position_, available);
    const auto first = static_cast<unsigned char>(front.front());
    if (first < 0x80 && !IsIso2022Designation(front))
        return false;
    if (first == Escape) {
        Decide(SourceEncoding::Iso2022Jp);
        return true;
    }
    // Filling may move the unread bytes to the front of the buffer.
    const std::size_t windowSize = Fill(DetectionWindow);
    const std::string_view window(buffer_.data() + position_, windowSize);
    const std::size_t textEnd = window.find(char(EndOfTextCharacter));
    const bool complete = fileEnded_ || textEnd != std::string_view::npos;
    Decide(EncodingByEvidence(window.substr(0, textEnd), complete));
    return true;
}

bool SourceReader::ReadCharacter(Character& character)
{
    for (;;) {
        const std::size_t available = Fill(TextDecoder::LongestCharacter);
        if (available == 0)
            return false;
        if (!decoder_ && !DecideOnTheseBytes()) {
            character = {char32_t(static_cast<unsigned char>(buffer_[position_])), true};
            ++position_;
            return true;
        }
        const DecodedCharacter decoded =
            decoder_->Next(std::string_view(buffer_.data() + position_, end_ - position_));
        position_ += decoded.length;
        if (decoded.isCharacter) {
            character = {decoded.codePoint, decoded.valid};
            return true;
        }
    }
}

bool SourceReader::Peek()
{
    if (!havePeeked_)
        havePeeked_ = ReadCharacter(peeked_);
    return havePeeked_;
}

SourceReader::Character SourceReader::Take()
{
    havePeeked_ = false;
    return peeked_;
}

SourceReader::Token SourceReader::EndOfText()
{
    textEnded_ = true;
    // The last line had no line end of its own: it still ends here.
    if (!atLineStart_) {
        atLineStart_ = true;
        return Token::LineEnd;
    }
    return Token::TextEnd;
}

void SourceReader::NormalizeInto(std::u32string_view piece, std::u32string& normalized)
{
    // utf8proc orders combining marks only while it decomposes, and it
    // decomposes UTF-8: the piece goes through UTF-8 on its way.
    std::uint8_t bytes[LongestUnit * 4];
    utf8proc_ssize_t byteCount = 0;
    for (char32_t codePoint : piece)
        byteCount += utf8proc_encode_char(utf8proc_int32_t(codePoint), bytes + byteCount);
    // Canonical decompositions are at most four code points long.
    scratch_.resize(LongestUnit * 4);
    utf8proc_ssize_t length =
        utf8proc_decompose(bytes, byteCount, scratch_.data(), utf8proc_ssize_t(scratch_.size()), Nfc);
    if (length > 0 && length <= utf8proc_ssize_t(scratch_.size()))
        length = utf8proc_normalize_utf32(scratch_.data(), length, Nfc);
    if (length > 0 && length <= utf8proc_ssize_t(scratch_.size()))
        normalized.append(scratch_.begin(), scratch_.begin() + length);
    else
        normalized.append(piece);
}

void SourceReader::Normalize()
{
    // A compatibility ideograph is a starter that composes with nothing, and
    // so is the unified ideograph NFC would put in its place: the pieces
    // between them normalise on their own, and the ideograph stays as it is.
    normalized_.clear();
    for (std::u32string_view rest = unit_; !rest.empty();) {
        if (IsCompatibilityIdeograph(rest.front())) {
            normalized_.push_back(rest.front());
            rest.remove_prefix(1);
            continue;
        }
        const std::size_t piece =
            std::size_t(std::find_if(rest.begin(), rest.end(), IsCompatibilityIdeograph) - rest.begin());
        NormalizeInto(rest.substr(0, piece), normalized_);
        rest.remove_prefix(piece);
    }
    unit_.swap(normalized_);
}

SourceReader::Token SourceReader::Next(std::u32string_view& unit)
{
    const Token token = ReadToken(unit);
    if (kept_ != nullptr && token == Token::Unit)
        kept_->append(unit);
    else if (kept_ != nullptr && token == Token::LineEnd)
        kept_->push_back(U'\n');
    return token;
}

SourceReader::Token SourceReader::ReadToken(std::u32string_view& unit)
{
    if (textEnded_ || !Peek())
        return EndOfText();
    const Character first = peeked_;
    if (first.valid && first.codePoint == EndOfTextCharacter)
        return EndOfText();
    Take();
    if (first.valid && (first.codePoint == CR || first.codePoint == LF)) {
        if (first.codePoint == CR && Peek() && peeked_.valid && peeked_.codePoint == LF)
            Take();
        atLineStart_ = true;
        return Token::LineEnd;
    }
    atLineStart_ = false;
    unit_.assign(1, first.codePoint);
    // A text still undecided looks one character ahead, so that a combining
    // mark that decides for UTF-8 still joins the letter before it.
    if (first.valid && (clusters_ || !decoder_)) {
        utf8proc_int32_t state = 0;
        char32_t previous = first.codePoint;
        // A cluster longer than a unit holds keeps its first code points;
        // the rest of it is read past.
        while (Peek() && clusters_ && peeked_.valid &&
               !utf8proc_grapheme_break_stateful(utf8proc_int32_t(previous), utf8proc_int32_t(peeked_.codePoint),
                                                 &state)) {
            previous = Take().codePoint;
            if (unit_.size() < LongestUnit)
                unit_.push_back(previous);
        }
        if (clusters_ && (unit_.size() > 1 || unit_[0] >= 0x80))
            Normalize();
    }
    unit = unit_;
    return Token::Unit;
}

std::unique_ptr<SourceReader> OpenSourceReader(const std::string& path, const std::optional<std::string>& text,
                                               SourceEncoding encoding, const std::atomic<bool>* cancel)
{
    if (text)
        return std::make_unique<SourceReader>(TextInMemory{*text}, encoding);
    return std::make_unique<SourceReader>(path, encoding, cancel);
}

} // namespace morvaleth
