#include "composer/text/TextDecoder.h"

#include "composer/Messages.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace morvaleth {
namespace {

struct NamedEncoding {
    std::string_view name;
    SourceEncoding encoding;
};

// The first name of each encoding is the one shown.
constexpr NamedEncoding Names[] = {
    {"auto", SourceEncoding::Automatic},     {"shift_jis", SourceEncoding::ShiftJis},
    {"cp932", SourceEncoding::ShiftJis},     {"sjis", SourceEncoding::ShiftJis},
    {"utf-8", SourceEncoding::Utf8},         {"utf8", SourceEncoding::Utf8},
    {"utf-16", SourceEncoding::Utf16},       {"utf-16le", SourceEncoding::Utf16Le},
    {"utf-16be", SourceEncoding::Utf16Be},   {"euc-jp", SourceEncoding::EucJp},
    {"iso-2022-jp", SourceEncoding::Iso2022Jp},
};

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

// How a stretch of bytes reads in one encoding.
struct Reading {
    std::size_t characters = 0;
    std::size_t invalid = 0;
};

Reading ReadAs(SourceEncoding encoding, std::string_view bytes, bool complete)
{
    TextDecoder decoder(encoding);
    Reading reading;
    while (!bytes.empty()) {
        if (!complete && bytes.size() < TextDecoder::LongestCharacter)
            break;
        const DecodedCharacter character = decoder.Next(bytes);
        ++(character.valid ? reading.characters : reading.invalid);
        bytes.remove_prefix(character.length);
    }
    return reading;
}

} // namespace

std::string_view EncodingName(SourceEncoding encoding)
{
    for (const NamedEncoding& named : Names)
        if (named.encoding == encoding)
            return named.name;
    return "?";
}

std::optional<SourceEncoding> EncodingNamed(std::string_view name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    for (const NamedEncoding& named : Names)
        if (named.name == lower)
            return named.encoding;
    return std::nullopt;
}

std::string_view EncodingNames()
{
    return "auto, shift_jis (cp932, sjis), utf-8, utf-16, utf-16le, utf-16be, euc-jp, iso-2022-jp";
}

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
    return euc.characters < shiftJis.characters ? SourceEncoding::EucJp : SourceEncoding::ShiftJis;
}

TextDecoder::TextDecoder(SourceEncoding encoding) : encoding_(encoding)
{
    converter_ = iconv_open("UTF-32LE", IconvName(encoding));
    if (converter_ == iconv_t(-1)) {
        // iconv calls any module that will not load unsupported; when that is
        // for want of a descriptor to open it with, the system's reason is
        // the one to give.
        const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (probe < 0 && (errno == EMFILE || errno == ENFILE))
            throw SystemFailure(errno);
        if (probe >= 0)
            ::close(probe);
        throw Failure(Message::EncodingUnavailable, {IconvName(encoding)});
    }
}

TextDecoder::~TextDecoder()
{
    iconv_close(converter_);
}

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

DecodedCharacter TextDecoder::Next(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const auto first = static_cast<unsigned char>(bytes.front());
    if (first < 0x80 && IsAsciiCompatible(encoding_))
        return {1, char32_t(first), true, true};

    bytes = bytes.substr(0, LongestCharacter);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    unsigned char out[4];
    char* outAt = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof out;
    // Whatever iconv reports (a full output, a sequence that does not convert
    // or one cut off), what was taken and written tells what happened.
    iconv(converter_, &in, &inLeft, &outAt, &outLeft);
    const std::size_t taken = bytes.size() - inLeft;
    if (outLeft == 0) {
        const char32_t codePoint =
            char32_t(out[0]) | char32_t(out[1]) << 8 | char32_t(out[2]) << 16 | char32_t(out[3]) << 24;
        return {taken, codePoint, true, true};
    }
    // Only a shift, with whatever follows it still to come.
    if (taken > 0)
        return {taken, 0, false, true};
    return {InvalidLength(bytes), ReplacementCharacter, true, false};
}

} // namespace morvaleth
