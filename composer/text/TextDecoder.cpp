#include "composer/text/TextDecoder.h"

#include "composer/Messages.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace morvaleth {
namespace {

const char* IconvName(SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::Utf8:
        return "UTF-8";
    case SourceEncoding::Utf16Le:
        return "UTF-16LE";
    case SourceEncoding::Utf16Be:
        return "UTF-16BE";
    case SourceEncoding::EucJp:
        return "EUC-JP";
    case SourceEncoding::Iso2022Jp:
        // A superset of ISO-2022-JP: mail that strays into JIS X 0212 or
        // Latin-1 still reads.
        return "ISO-2022-JP-2";
    default:
        // Shift-JIS as Windows has it, with the vendor extensions.
        return "CP932";
    }
}

bool IsAsciiCompatible(SourceEncoding encoding)
{
    return encoding == SourceEncoding::ShiftJis || encoding == SourceEncoding::Utf8 ||
           encoding == SourceEncoding::EucJp;
}

bool InRange(unsigned char b, unsigned char low, unsigned char high)
{
    return b >= low && b <= high;
}

// The row (1 to 94) of the JIS X 0208 code a two-byte character of EUC-JP
// or Shift-JIS stands for; 0 for any other character.
unsigned JisRow(SourceEncoding encoding, std::string_view character)
{
    if (character.size() != 2)
        return 0;
    const auto lead = static_cast<unsigned char>(character[0]);
    const auto trail = static_cast<unsigned char>(character[1]);
    if (encoding == SourceEncoding::EucJp)
        return InRange(lead, 0xA1, 0xFE) ? lead - 0xA0u : 0;
    if (!IsLeadByte(lead))
        return 0;
    const unsigned pair = lead - (lead <= 0x9F ? 0x70u : 0xB0u);
    return 2 * pair - (trail < 0x9F ? 1 : 0) - 0x20;
}

// How much a character looks like one of Japanese prose, on a tenth scale:
// kana most, then the level-1 kanji, punctuation and full-width letters, then
// the rarer level-2 kanji. A half-width katakana scores half a kana's worth of
// a byte, but a voiced-sound mark after a letter that takes it, a long-vowel
// mark or a small kana after a letter score as much as a whole character:
// ｶｰﾄﾞ is a word, while the same bytes in EUC-JP are two unrelated kanji.
int Likeness(unsigned row, char32_t codePoint, char32_t previous)
{
    const auto halfWidthLetter = [](char32_t c) { return (c >= 0xFF66 && c <= 0xFF6F) || (c >= 0xFF71 && c <= 0xFF9D); };
    const auto takesVoicing = [](char32_t c) { return c == 0xFF73 || (c >= 0xFF76 && c <= 0xFF84) || (c >= 0xFF8A && c <= 0xFF8E); };
    if (codePoint >= 0xFF61 && codePoint <= 0xFF9F) {
        if (codePoint == 0xFF9E)
            return takesVoicing(previous) ? 10 : 0;
        if (codePoint == 0xFF9F)
            return previous >= 0xFF8A && previous <= 0xFF8E ? 10 : 0;
        if (codePoint == 0xFF70)
            return halfWidthLetter(previous) || previous == 0xFF9E || previous == 0xFF9F ? 10 : 0;
        if (codePoint >= 0xFF67 && codePoint <= 0xFF6F)
            return halfWidthLetter(previous) ? 10 : 0;
        return 5;
    }
    if (row == 4 || row == 5)
        return 20;
    if (row >= 16 && row <= 47)
        return 12;
    if (row == 1 || row == 3)
        return 10;
    if (row >= 48 && row <= 84)
        return 5;
    return 0;
}

// How a stretch of bytes reads in one encoding.
struct Reading {
    std::size_t invalid = 0;
    long likeness = 0;
};

Reading ReadAs(SourceEncoding encoding, std::string_view bytes, bool complete)
{
    TextDecoder decoder(encoding);
    Reading reading;
    char32_t previous = 0;
    while (!bytes.empty()) {
        if (!complete && bytes.size() < TextDecoder::LongestCharacter)
            break;
        const DecodedCharacter character = decoder.Next(bytes);
        if (character.valid) {
            reading.likeness +=
                Likeness(JisRow(encoding, bytes.substr(0, character.length)), character.codePoint, previous);
            previous = character.codePoint;
        } else {
            ++reading.invalid;
            previous = ReplacementCharacter;
        }
        bytes.remove_prefix(character.length);
    }
    return reading;
}

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

SourceEncoding EncodingByEvidence(std::string_view bytes, bool complete)
{
    std::size_t multiByte = 0;
    std::size_t invalid = 0;
    for (std::string_view rest = bytes; !rest.empty();) {
        const int length = Utf8SequenceLength(rest);
        if (length < 0 && !complete)
            break;
        if (length <= 0)
            ++invalid;
        else if (length > 1)
            ++multiByte;
        rest.remove_prefix(length > 0 ? std::size_t(length) : 1);
    }
    if (multiByte > 0 && invalid * 4 <= multiByte)
        return SourceEncoding::Utf8;

    const Reading euc = ReadAs(SourceEncoding::EucJp, bytes, complete);
    const Reading shiftJis = ReadAs(SourceEncoding::ShiftJis, bytes, complete);
    if (euc.invalid != shiftJis.invalid)
        return euc.invalid < shiftJis.invalid ? SourceEncoding::EucJp : SourceEncoding::ShiftJis;
    return euc.likeness > shiftJis.likeness ? SourceEncoding::EucJp : SourceEncoding::ShiftJis;
}

std::optional<SourceEncoding> Utf16ByZeroBytes(std::string_view bytes, bool complete)
{
    if (complete && bytes.size() % 2 != 0)
        return std::nullopt;
    std::size_t zeros[2] = {0, 0};
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        zeros[0] += bytes[i] == '\0';
        zeros[1] += bytes[i + 1] == '\0';
    }
    const bool littleEndian = zeros[1] > zeros[0];
    const std::size_t most = std::max(zeros[0], zeros[1]);
    if (zeros[0] == zeros[1] || most * 256 < bytes.size())
        return std::nullopt;
    return littleEndian ? SourceEncoding::Utf16Le : SourceEncoding::Utf16Be;
}

TextDecoder::Converter::Converter(const char* from) : handle_(iconv_open("UTF-32LE", from))
{
    if (handle_ != iconv_t(-1))
        return;
    // iconv calls any module that will not load unsupported; when that is for
    // want of a descriptor to open it with, the system's reason is the one to
    // give.
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (probe < 0 && (errno == EMFILE || errno == ENFILE))
        throw SystemFailure(errno);
    if (probe >= 0)
        ::close(probe);
    throw Failure(Message::EncodingUnavailable, {from});
}

TextDecoder::Converter::~Converter()
{
    iconv_close(handle_);
}

DecodedCharacter TextDecoder::Converter::Convert(std::string_view bytes)
{
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    unsigned char out[4];
    char* outAt = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof out;
    // Whatever iconv reports (a full output, a sequence that does not convert
    // or one cut off), what was taken and written tells what happened.
    iconv(handle_, &in, &inLeft, &outAt, &outLeft);
    const std::size_t taken = bytes.size() - inLeft;
    if (outLeft == 0) {
        const char32_t codePoint =
            char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
        return {taken, codePoint, true, true};
    }
    // Only a shift, with whatever follows it still to come.
    if (taken > 0)
        return {taken, 0, false, true};
    return {0, ReplacementCharacter, true, false};
}

TextDecoder::TextDecoder(SourceEncoding encoding) : encoding_(encoding), converter_(IconvName(encoding)) {}

TextDecoder::~TextDecoder() = default;

std::size_t TextDecoder::InvalidLength(std::string_view bytes) const
{
    const auto byteAt = [&bytes](std::size_t i) {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
    };
    std::size_t length = 1;
    switch (encoding_) {
    case SourceEncoding::ShiftJis:
        // A lead byte keeps its trail, unless the trail ends the line or the text.
        if (IsLeadByte(byteAt(0)) && bytes.size() >= 2 && byteAt(1) != '\r' && byteAt(1) != '\n' &&
            byteAt(1) != 0x1A)
            length = 2;
        break;
    case SourceEncoding::EucJp:
        if (InRange(byteAt(0), 0xA1, 0xFE) && InRange(byteAt(1), 0xA1, 0xFE))
            length = 2;
        else if (byteAt(0) == 0x8E && InRange(byteAt(1), 0xA1, 0xDF))
            length = 2;
        else if (byteAt(0) == 0x8F && InRange(byteAt(1), 0xA1, 0xFE) && InRange(byteAt(2), 0xA1, 0xFE))
            length = 3;
        break;
    case SourceEncoding::Utf16Le:
    case SourceEncoding::Utf16Be:
        length = 2;
        break;
    default:
        break;
    }
    return std::min(length, bytes.size());
}

DecodedCharacter TextDecoder::EucJpExtension(std::string_view bytes)
{
    const auto byteAt = [&bytes](std::size_t i) {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
    };
    if (InRange(byteAt(0), 0xA1, 0xFE) && InRange(byteAt(1), 0xA1, 0xFE)) {
        // The JIS row and cell, and the same code as Shift-JIS writes it.
        const unsigned row = byteAt(0) - 0x80u;
        const unsigned cell = byteAt(1) - 0x80u;
        const char shiftJis[2] = {char(((row + 1) >> 1) + (row <= 0x5E ? 0x70 : 0xB0)),
                                  char(cell + (row & 1 ? (cell <= 0x5F ? 0x1F : 0x20) : 0x7E))};
        if (!windows_)
            windows_.emplace(IconvName(SourceEncoding::ShiftJis));
        const DecodedCharacter decoded = windows_->Convert(std::string_view(shiftJis, 2));
        if (decoded.valid && decoded.length == 2)
            return decoded;
    }
    if (!extended_)
        extended_.emplace("EUC-JP-MS");
    return extended_->Convert(bytes);
}

DecodedCharacter TextDecoder::Next(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const auto first = static_cast<unsigned char>(bytes.front());
    if (first < 0x80 && IsAsciiCompatible(encoding_))
        return {1, char32_t(first), true, true};

    bytes = bytes.substr(0, LongestCharacter);
    DecodedCharacter decoded = converter_.Convert(bytes);
    if (!decoded.valid && encoding_ == SourceEncoding::EucJp)
        decoded = EucJpExtension(bytes);
    if (!decoded.valid)
        decoded.length = InvalidLength(bytes);
    return decoded;
}

} // namespace morvaleth
