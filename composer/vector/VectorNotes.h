#pragma once

#include "composer/PictureNotes.h"

#include <string>

namespace morvaleth {

// The notes a PDF or SVG (or SVGZ) picture of this program keeps of how it
// was made. Fail with the system's message when the file cannot be read,
// and with Message::NoRecipe when it is not such a picture.
PictureNotes ReadPdfNotes(const std::string& path);
PictureNotes ReadSvgNotes(const std::string& path);

} // namespace morvaleth
