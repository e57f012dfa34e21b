#include "composer/LogFont.h"

#include <algorithm>
#include <cstring>

namespace morvaleth {

void SetFaceName(LOGFONT& font, std::string_view faceName)
{
    std::size_t length = std::min(faceName.size(), LF_FACESIZE - 1);
    // Never end inside a UTF-8 sequence: back off over continuation bytes.
    if (length < faceName.size())
        while (length > 0 && (static_cast<unsigned char>(faceName[length]) & 0xC0) == 0x80)
            --length;
    std::memset(font.lfFaceName, 0, LF_FACESIZE);
    std::memcpy(font.lfFaceName, faceName.data(), length);
}

std::string_view FaceNameOf(const LOGFONT& font)
{
    return std::string_view(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE));
}

} // namespace morvaleth
