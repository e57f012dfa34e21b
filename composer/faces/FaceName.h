#pragma once

#include <cstddef>
#include <string_view>

namespace morvaleth {

// The longest face name a run looks up, in bytes: what a Windows font
// description holds, 32 bytes with the terminating NUL.
inline constexpr std::size_t LongestFaceNameBytes = 31;

// How much of a UTF-8 face name is looked up: at most LongestFaceNameBytes,
// cut at the last whole character that fits.
constexpr std::string_view FaceNameThatFits(std::string_view faceName)
{
    std::size_t length = faceName.size() < LongestFaceNameBytes ? faceName.size() : LongestFaceNameBytes;
    // Never end inside a UTF-8 sequence: back off over continuation bytes.
    if (length < faceName.size())
        while (length > 0 && (static_cast<unsigned char>(faceName[length]) & 0xC0) == 0x80)
            --length;
    return faceName.substr(0, length);
}

} // namespace morvaleth
