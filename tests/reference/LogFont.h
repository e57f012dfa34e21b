#pragma once

#include "composer/faces/FaceName.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvaleth {

inline constexpr std::uint8_t DEFAULT_CHARSET = 1;
inline constexpr std::int32_t FW_NORMAL = 400;
inline constexpr std::int32_t FW_BOLD = 700;
inline constexpr std::size_t LF_FACESIZE = LongestFaceNameBytes + 1;

// The Win32 font description, field for field.
struct LOGFONT {
    std::int32_t lfHeight = 0; // positive: cell height in pixels, internal leading included
    std::int32_t lfWidth = 0;
    std::int32_t lfEscapement = 0; // tenths of a degree, counter-clockwise
    std::int32_t lfOrientation = 0;
    std::int32_t lfWeight = FW_NORMAL;
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = DEFAULT_CHARSET;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    char lfFaceName[LF_FACESIZE] = {};
};

static_assert(sizeof(LOGFONT) == 60);
static_assert(offsetof(LOGFONT, lfEscapement) == 8);
static_assert(offsetof(LOGFONT, lfItalic) == 20);
static_assert(offsetof(LOGFONT, lfPitchAndFamily) == 27);
static_assert(offsetof(LOGFONT, lfFaceName) == 28);

// Copies a UTF-8 face name into lfFaceName, NUL-terminated. A name longer than
// the field holds is cut at the last whole character that fits.
void SetFaceName(LOGFONT& font, std::string_view faceName);

// The face name held in lfFaceName, up to its NUL.
std::string_view FaceNameOf(const LOGFONT& font);

} // namespace morvaleth
