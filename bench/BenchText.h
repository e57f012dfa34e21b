#pragma once

#include <string>

namespace morvaleth::bench {

// The long Japanese text the composition benchmarks run on: the example
// letter's Shift-JIS characters over and over, in paragraphs of 1000 units
// ending in CR LF, 30 paragraphs and 30,000 units in all. On a 4000 × 4000
// picture at size 20 a row holds 180 units, a paragraph takes six rows, and
// the 180 rows of the picture hold the whole text.
std::string LongJapaneseText(int paragraphs = 30, int unitsPerParagraph = 1000);

// Writes the bytes to a new file, failing with a message when it cannot.
void WriteFile(const std::string& path, const std::string& bytes);

} // namespace morvaleth::bench
