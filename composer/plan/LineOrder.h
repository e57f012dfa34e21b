#pragma once

#include "composer/text/SourceReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvaleth {

class Layout;

// The units of a source in the order they take their places on the grid:
// the order they are read in, except that
// - a unit that draws nothing and takes no place of its own (IsInvisibleUnit:
//   a zero-width space, a byte-order mark inside the text, a bidirectional
//   control, ...) is left out, once the bidirectional algorithm has seen it;
// - right-to-left text (Hebrew, Arabic, ...) stands in the order its reader
//   reads it within each row: a line runs in the direction of its first
//   letter, and a row that holds right-to-left text is put in visual order as
//   a whole by the Unicode bidirectional algorithm (FriBidi), brackets and
//   the like at a right-to-left level taking their mirror images;
// - an Arabic letter comes with the joiners (U+200D) that make shaping give
//   it the form it takes in its word, joined to the letters beside it in the
//   same row (a word cut by the end of a row takes a word's end and start
//   forms there).
// A line without right-to-left text is handed on a unit at a time as it is
// read (only blanks, digits and signs before its first letter wait for it).
// A row with right-to-left text is held until it is complete, at most
// MostHeldUnits units, beyond which it is put in order in pieces of that
// many: memory stays flat whatever the length of a line.
class LineOrder {
public:
    static constexpr std::size_t MostHeldUnits = 4096;
    // The longest unit handed on: one the reader gives, and a joiner on
    // either side.
    static constexpr std::size_t LongestUnit = SourceReader::LongestUnit + 2;

    // The layout tells how many units the current row still takes; it must
    // have been moved past every unit and line end handed on before the next
    // call.
    LineOrder(SourceReader& source, const Layout& layout);
    LineOrder(const LineOrder&) = delete;
    LineOrder& operator=(const LineOrder&) = delete;
    ~LineOrder();

    // The next token. For a unit, `unit` holds its code points until the next
    // call.
    SourceReader::Token Next(std::u32string_view& unit);

private:
    enum class Direction { Unknown, LeftToRight, RightToLeft };

    struct HeldUnit {
        std::uint32_t first = 0;
        std::uint32_t length = 0;
        bool visible = true;
        bool mirrored = false;
        bool joinsBefore = false;
        bool joinsAfter = false;
    };

    void Fill();
    void Settle();
    void PutInVisualOrder();
    std::u32string_view HandOut(const HeldUnit& held);

    SourceReader& source_;
    const Layout& layout_;
    Direction direction_ = Direction::Unknown;
    // The units read and not yet handed on, in reading order, and whether
    // one of them asks for reordering.
    std::u32string codePoints_;
    std::vector<HeldUnit> held_;
    std::size_t visibleHeld_ = 0;
    bool needsReordering_ = false;
    // The order they are handed on in, and how far that has come.
    std::vector<std::uint32_t> order_;
    std::size_t handedOn_ = 0;
    // The line end or text end that came after them.
    std::optional<SourceReader::Token> after_;
    std::u32string joined_;
    // The bidirectional algorithm's working arrays: each held unit's first
    // code point, its type, its bracket type, its level, and the units in
    // visual order.
    std::vector<std::uint32_t> bases_;
    std::vector<std::uint32_t> types_;
    std::vector<std::uint32_t> brackets_;
    std::vector<std::int8_t> levels_;
    std::vector<int> map_;
};

} // namespace morvaleth
