#pragma once

#include "composer/text/TextDecoder.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvaleth {

// True for a unit that takes its cell but draws no glyph: a control
// character (C0 or DEL) that neither ends a line nor the text.
bool IsControlUnit(std::u32string_view unit);

// The bytes of a text held in memory (typed, or given on a command line),
// which a reader reads as it would read a file holding them.
struct TextInMemory {
    std::string_view bytes;
};

// True for a unit made only of default-ignorable code points (variation
// selectors, joiners, zero-width space, a byte-order mark inside the text,
// bidirectional controls, tags, the soft hyphen, ...): it draws nothing and
// takes no place of its own.
bool IsInvisibleUnit(std::u32string_view unit);

// The CJK compatibility ideographs (U+F900 to U+FAFF, U+2F800 to U+2FA1F):
// forms used in names, such as U+FA10 塚 with its dot, which normalisation
// would turn into their unified ideographs.
bool IsCompatibilityIdeograph(char32_t c);

// A source text read as a stream of character units and line ends.
//
// A line ends at CR LF, a lone CR or a lone LF; the character 0x1A ends the
// text; a line end at the very end gives no extra line. The encoding is the
// one asked for, or with Automatic, in this order: a byte-order mark (UTF-8,
// UTF-16LE, UTF-16BE; the mark is no character), UTF-16 told by its zero
// bytes in the first 64 KiB (Utf16ByZeroBytes), ISO-2022-JP when an escape
// sequence of it comes before any byte above 0x7F, and otherwise the evidence
// of the bytes from the first one above 0x7F on (EncodingByEvidence). Pure
// ASCII reads the same in all of them, so nothing is decided before that.
//
// A unit is one character in Shift-JIS, EUC-JP and ISO-2022-JP; in UTF-8 and
// UTF-16 it is an extended grapheme cluster (a base with its combining marks,
// an emoji with its modifiers and joiners, a flag pair) in NFC, except that
// CJK compatibility ideographs keep their form, as they do in the other
// encodings. A cluster longer than LongestUnit code points keeps its first
// LongestUnit and the rest of it is dropped. Bytes that do not convert are
// units of their own, U+FFFD. Memory stays the same whatever the length of a
// line, of a cluster or of the file.

class SourceReader {
public:
    enum class Token { Unit, LineEnd, TextEnd };

    // Clusters longer than this are cut, so that no run of combining marks
    // makes memory grow or fills a row of cells.
    static constexpr std::size_t LongestUnit = 32;

    // Opens the file for reading, failing with the message for the system's
    // error. A source that is not a regular file (a FIFO, a terminal, a
    // device) is opened without waiting for a writer, and read as soon as it
    // has bytes, as a blocking read would; while it has none, the reader
    // fails with an Error of kind Cancelled once `cancel` is set.
    SourceReader(const std::string& path, SourceEncoding encoding, const std::atomic<bool>* cancel = nullptr);
    // Reads the bytes, which must outlive the reader, by the same rules and
    // through the same buffer as a file; reading them never fails.
    SourceReader(TextInMemory text, SourceEncoding encoding);
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;
    ~SourceReader();

    // The encoding the text is read in; Automatic while nothing has told the
    // candidates apart (a text that is ASCII so far).
    SourceEncoding Encoding() const { return encoding_; }

    // How many bytes the text has from where reading began, when that is
    // known: a regular file's or a text in memory's. A pipe or a device may
    // give any number.
    std::optional<std::uint64_t> KnownLength() const { return knownLength_; }
    // How many bytes of the text the units and line ends given so far took,
    // give or take a character read ahead.
    std::uint64_t BytesRead() const { return bytesRead_ - (end_ - position_); }

    // The next token. For a unit, `unit` holds its code points until the
    // next call.
    Token Next(std::u32string_view& unit);

    // Appends every unit read from now on to `text`, and LF for every line
    // end: the text as it was read.
    void KeepText(std::u32string* text) { kept_ = text; }

    // Closes the file, failing when the system reports an error.
    void Close();

private:
    struct Character {
        char32_t codePoint = 0;
        bool valid = true;
    };

    // Makes at least `count` unread bytes available, unless the file ends
    // first; returns how many there are.
    std::size_t Fill(std::size_t count);
    Token ReadToken(std::u32string_view& unit);
    // Reads what comes next into `room` bytes at `into`: how many it read, 0
    // at the end of the text.
    std::size_t ReadSome(char* into, std::size_t room);
    // Waits until a source that is not a regular file has bytes to read or
    // has ended, hearing the cancel in between.
    void WaitForBytes();
    void Decide(SourceEncoding encoding);
    void DecideAtStart(SourceEncoding requested);
    bool DecideOnTheseBytes();
    // The next character, kept until Take(); false at the end of the file.
    bool Peek();
    Character Take();
    bool ReadCharacter(Character& character);
    void Normalize();
    void NormalizeInto(std::u32string_view piece, std::u32string& normalized);
    Token EndOfText();

    std::string path_;
    int descriptor_ = -1;
    // Set for a source whose reads can wait: its reads wait in poll first.
    bool waits_ = false;
    const std::atomic<bool>* cancel_ = nullptr;
    std::optional<std::uint64_t> knownLength_;
    std::uint64_t bytesRead_ = 0;
    std::u32string* kept_ = nullptr;
    // The text when it is held in memory, and how much of it is read.
    std::optional<std::string_view> memory_;
    std::size_t memoryRead_ = 0;
    SourceEncoding encoding_ = SourceEncoding::Automatic;
    bool clusters_ = false;
    std::unique_ptr<TextDecoder> decoder_;
    std::vector<char> buffer_;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
    bool fileEnded_ = false;
    bool textEnded_ = false;
    bool atLineStart_ = true;
    bool havePeeked_ = false;
    Character peeked_;
    std::u32string unit_;
    std::u32string normalized_;
    std::vector<std::int32_t> scratch_;
};

// The reader of a text: the text in memory when there is one (which must
// outlive the reader), else the file at the path, failing as opening it fails.
std::unique_ptr<SourceReader> OpenSourceReader(const std::string& path, const std::optional<std::string>& text,
                                               SourceEncoding encoding, const std::atomic<bool>* cancel = nullptr);

} // namespace morvaleth
