#include "composer/SourceReader.h"

#include "composer/DescriptorPath.h"
#include "composer/FileErrors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace morvaleth {
namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char EndOfTextByte = 0x1A;
// How much of the text the encoding is decided on. The read buffer holds one
// byte more, which tells whether the text goes on after the window.
constexpr std::size_t DetectionWindow = 64 * 1024;

} // namespace

int Utf8SequenceLength(std::string_view bytes)
{
    const auto byteAt = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byteAt(0);
    if (lead < 0x80)
        return 1;
    int length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            secondLow = 0xA0; // no overlong forms
        if (lead == 0xED)
            secondHigh = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            secondLow = 0x90;
        if (lead == 0xF4)
            secondHigh = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (std::size_t(i) >= bytes.size())
            return -1;
        const unsigned char low = i == 1 ? secondLow : 0x80;
        const unsigned char high = i == 1 ? secondHigh : 0xBF;
        if (byteAt(i) < low || byteAt(i) > high)
            return 0;
    }
    return length;
}

bool LooksLikeUtf8(std::string_view text, bool complete)
{
    bool multiByte = false;
    while (!text.empty()) {
        const int length = Utf8SequenceLength(text);
        if (length == 0)
            return false;
        if (length < 0)
            return !complete && multiByte;
        multiByte = multiByte || length > 1;
        text.remove_prefix(std::size_t(length));
    }
    return multiByte;
}

SourceReader::SourceReader(const std::string& path, SourceEncoding encoding)
    : path_(path), buffer_(DetectionWindow + 1)
{
    if (path.find('\0') != std::string::npos)
        throw SourceFileError(EINVAL, path);
    // Standard input is read as it was handed over, from its current offset.
    // Other descriptor paths open afresh as the system opens them, apart from
    // a socket, which only its descriptor reads.
    const std::optional<int> inherited = DescriptorOfPath(path);
    if (inherited == 0)
        descriptor_ = ::fcntl(0, F_DUPFD_CLOEXEC, 0);
    else
        descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (descriptor_ < 0 && errno == ENXIO && inherited)
        descriptor_ = ::fcntl(*inherited, F_DUPFD_CLOEXEC, 0);
    if (descriptor_ < 0)
        throw SourceFileError(errno, path);
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0)
        throw SourceFileError(errno, path);
    if (S_ISDIR(status.st_mode))
        throw SourceFileError(EISDIR, path);

    if (encoding == SourceEncoding::Automatic) {
        const std::string_view start(buffer_.data(), Fill(DetectionWindow + 1));
        const std::size_t textEnd = start.find(EndOfTextByte);
        const bool complete = fileEnded_ || textEnd <= DetectionWindow;
        encoding = LooksLikeUtf8(start.substr(0, std::min(textEnd, DetectionWindow)), complete)
                       ? SourceEncoding::Utf8
                       : SourceEncoding::ShiftJis;
    }
    encoding_ = encoding == SourceEncoding::Utf8 ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
    if (encoding_ == TextEncoding::Utf8 && Fill(3) >= 3 &&
        std::memcmp(buffer_.data() + position_, "\xEF\xBB\xBF", 3) == 0)
        position_ += 3;
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
        throw SourceFileError(errno, path_);
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
        const ssize_t got = ::read(descriptor_, buffer_.data() + end_, buffer_.size() - end_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw SourceFileError(errno, path_);
        if (got == 0)
            fileEnded_ = true;
        end_ += std::size_t(got);
    }
    return end_ - position_;
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

SourceReader::Token SourceReader::Next(std::string_view& unit)
{
    if (textEnded_ || Fill(1) == 0)
        return EndOfText();
    const char byte = buffer_[position_];
    if (byte == EndOfTextByte)
        return EndOfText();
    if (byte == CR) {
        ++position_;
        if (Fill(1) > 0 && buffer_[position_] == LF)
            ++position_;
        atLineStart_ = true;
        return Token::LineEnd;
    }
    atLineStart_ = false;
    const std::size_t length = UnitLength();
    unit = std::string_view(buffer_.data() + position_, length);
    position_ += length;
    return Token::Unit;
}

std::size_t SourceReader::UnitLength()
{
    const auto lead = static_cast<unsigned char>(buffer_[position_]);
    if (encoding_ == TextEncoding::ShiftJis) {
        if (!IsLeadByte(lead) || Fill(2) < 2)
            return 1;
        // A lead byte that ends its line or the text stands alone.
        const char trail = buffer_[position_ + 1];
        return trail == CR || trail == EndOfTextByte ? 1 : 2;
    }
    if (lead < 0x80)
        return 1;
    const std::size_t available = Fill(4);
    const int length = Utf8SequenceLength(std::string_view(buffer_.data() + position_, available));
    return length > 0 ? std::size_t(length) : 1;
}

} // namespace morvaleth
