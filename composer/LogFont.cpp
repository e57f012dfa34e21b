#include "composer/LogFont.h"

#include <algorithm>
#include <cstring>

namespace morvaleth {

std::string_view FaceNameThatFits(std::string_view faceName)
{
    std::size_t length = std::min(faceName.size(), LF_FACESIZE - 1);
    // Never end inside a UTF-8 sequence: back off over continuation bytes.
    if (length < faceName.size())
        while (length > 0 && (static_cast<unsigned char>(faceName[length]) & 0xC0) == 0x80)
            --length;
    return faceName.substr(0, length);
}

void SetFaceName(LOGFONT& font, std::string_view faceName)
{
    const std::string_view fits = FaceNameThatFits(faceName);
    std::memset(font.lfFaceName, 0, LF_FACESIZE);
    std::memcpy(font.lfFaceName, fits.data(), fits.size());
}

std::string_view FaceNameOf(const LOGFONT& font)
{
    return std::string_view(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE));
}

} // namespace morvaleth
