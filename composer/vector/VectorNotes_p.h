#pragma once

#include "composer/PictureNotes.h"

#include <string>

namespace morvaleth {

// The PDF's document information dictionary: the program as its Producer,
// every other note under a name of its own, all as UTF-16 text strings.
std::string PdfInfo(const PictureNotes& notes);

// The notes as an SVG metadata element, one element a note in a namespace
// of this program's, its keyword an attribute.
void AppendSvgNotes(std::string& out, const PictureNotes& notes);

} // namespace morvaleth
