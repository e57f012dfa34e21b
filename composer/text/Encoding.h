#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morvaleth {

// The encodings a source text can be read in. Automatic decides from the
// text itself; Utf16 takes the byte order from a byte-order mark, little-endian
// (as Windows writes it) without one.
enum class SourceEncoding { Automatic, ShiftJis, Utf8, Utf16, Utf16Le, Utf16Be, EucJp, Iso2022Jp };

// An encoding with the name the driver shows for it, the other names it is
// known by (as iconv, browsers and mail programs call it), and what reading
// in it means.
struct EncodingEntry {
    SourceEncoding encoding;
    std::string_view name;
    std::span<const std::string_view> aliases;
    std::string_view description;
};

// Every encoding, Automatic first, in the order a usage message lists them.
std::span<const EncodingEntry> Encodings();

// The name the driver shows for an encoding ("shift_jis", "utf-16le", ...).
std::string_view EncodingName(SourceEncoding encoding);

// The encoding a name or alias stands for, whatever its case and whatever
// stands between its letters and digits: "Shift-JIS", "shift_jis" and
// "SHIFTJIS" are one name.
std::optional<SourceEncoding> EncodingNamed(std::string_view name);

// The names the driver shows, for a usage message: "auto, shift_jis, utf-8,
// ...".
std::string EncodingNames();

} // namespace morvaleth
