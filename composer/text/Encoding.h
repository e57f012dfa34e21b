#pragma once

#include <optional>
#include <string_view>

namespace morvaleth {

// The encodings a source text can be read in. Automatic decides from the
// text itself; Utf16 takes the byte order from a byte-order mark, little-endian
// (as Windows writes it) without one.
enum class SourceEncoding { Automatic, ShiftJis, Utf8, Utf16, Utf16Le, Utf16Be, EucJp, Iso2022Jp };

// The name the driver accepts and shows for an encoding ("shift_jis",
// "utf-16le", ...), and the encoding a name stands for, aliases included.
std::string_view EncodingName(SourceEncoding encoding);
std::optional<SourceEncoding> EncodingNamed(std::string_view name);
// Every accepted name, for a usage message: "auto, shift_jis (cp932, sjis), ...".
std::string_view EncodingNames();

} // namespace morvaleth
