#pragma once

#include "composer/Canvas.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvaleth {

// How the bytes of a source text are cut into character units. Automatic
// takes UTF-8 when the start of the text is valid UTF-8 with at least one
// multi-byte sequence in it, and Shift-JIS otherwise.
enum class SourceEncoding { Automatic, ShiftJis, Utf8 };

// True for the bytes that start a two-byte Shift-JIS character.
constexpr bool IsLeadByte(std::uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The length of the well-formed UTF-8 sequence at the start of `bytes`; 0 when
// it is not well-formed, and -1 when `bytes` ends before the sequence does.
int Utf8SequenceLength(std::string_view bytes);

// Whether the text decides for UTF-8: valid UTF-8 with at least one multi-byte
// sequence. `complete` says whether the text ends here or was cut off, in
// which case a sequence cut at its end does not count against it.
bool LooksLikeUtf8(std::string_view text, bool complete);

// A source text read as a stream of character units and line ends. A line
// ends at CR LF or a lone CR (a lone LF is an ordinary byte of the line); the
// byte 0x1A ends the text; a line end at the very end gives no extra line.
// Memory stays the same whatever the length of a line or of the file.
class SourceReader {
public:
    enum class Token { Unit, LineEnd, TextEnd };

    // Opens the file for reading, failing with the message for the system's
    // error, and decides the encoding.
    SourceReader(const std::string& path, SourceEncoding encoding);
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;
    ~SourceReader();

    // The encoding the units are cut by.
    TextEncoding Encoding() const { return encoding_; }

    // The next token. For a unit, `unit` holds its bytes until the next call.
    Token Next(std::string_view& unit);

    // Closes the file, failing when the system reports an error.
    void Close();

private:
    // Makes at least `count` unread bytes available, unless the file ends
    // first; returns how many there are.
    std::size_t Fill(std::size_t count);
    std::size_t UnitLength();
    Token EndOfText();

    std::string path_;
    int descriptor_ = -1;
    TextEncoding encoding_ = TextEncoding::ShiftJis;
    std::vector<char> buffer_;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
    bool fileEnded_ = false;
    bool textEnded_ = false;
    bool atLineStart_ = true;
};

} // namespace morvaleth
