#pragma once

#include "composer/text/Encoding.h"

#include <QSize>
#include <QString>

#include <string>

namespace morvaleth {

// How many characters of the source text a picture's description quotes.
inline constexpr int DescribedCharacters = 200;

// The beginning of a source text as a composition reads it: its first
// `characters` characters, line ends kept, control characters as spaces, and
// "…" when more follows. Empty for a source that is not a regular file (a pipe
// gives its text only once) or that cannot be read.
QString SourceExcerpt(const std::string& path, SourceEncoding encoding, int characters = DescribedCharacters);

// What a screen reader says of a composed picture: its size and the text it
// was composed from.
QString DescribePicture(QSize size, const QString& excerpt);

} // namespace morvaleth
