#pragma once

#include <QString>

#include <cstddef>

class QTextDocument;

namespace morvaleth {

// The most characters the text pane takes from a file: a letter is far
// shorter, and an endless device must not fill the memory.
inline constexpr std::size_t LongestPaneText = 1 << 20;

// The text of the file at `path` as a composition reads it: the encoding
// detected, lines ending where the file's lines end (CR LF, a lone CR or a
// lone LF), the text ending at 0x1A, each character in NFC and each byte that
// does not convert a U+FFFD. Every line, the last included, ends with LF, so
// that composing the result gives the file's picture. Fails as reading the
// file fails, and with "ﾃｷｽﾄが長すぎます" beyond LongestPaneText characters.
QString TextAsRead(const QString& path);

// What the pane holds, as a composition and a save take it: lines joined with
// LF, every other character as typed, no-break spaces included.
QString PlainTextOf(const QTextDocument& document);

} // namespace morvaleth
