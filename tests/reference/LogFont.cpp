#include "reference/LogFont.h"

#include <algorithm>
#include <cstring>

namespace morvaleth {

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
