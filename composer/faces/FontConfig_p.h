#pragma once

#include "composer/Owned.h"
#include "composer/faces/FaceChain.h"

#include <fontconfig/fontconfig.h>

#include <optional>

namespace morvaleth {

using FcConfigPtr = Owned<FcConfig, FcConfigDestroy>;
using FcPatternPtr = Owned<FcPattern, FcPatternDestroy>;
using FcFontSetPtr = Owned<FcFontSet, FcFontSetDestroy>;
using FcObjectSetPtr = Owned<FcObjectSet, FcObjectSetDestroy>;

// The system's font configuration with the engine's aliases, loaded once for
// the program; null when no font could be found at all.
FcConfig* EngineFontConfig();

// Where a font of a list or match lies, when it is scalable: outlines, or
// the bitmaps of a colour face, which are scaled to the cell.
std::optional<FaceLocation> LocationOf(FcPattern* font);

} // namespace morvaleth
