#include "composer/ComposePicture.h"

#include "composer/Error.h"
#include "composer/SizeText.h"
#include "composer/SubTextOut.h"

#include <algorithm>

namespace morvaleth {

std::unique_ptr<TBitmap> ComposePicture(const CompositionSettings& settings, const RunControl& control)
{
    if (settings.sourcePath.empty())
        return nullptr;
    if (settings.size < SmallestCompositionSize || settings.size > LargestCompositionSize)
        throw Error("ﾌｫﾝﾄ ｻｲｽﾞ " + std::to_string(settings.size) + " は使えません (1 から " +
                    std::to_string(LargestCompositionSize) + " まで)",
                    ErrorKind::Usage);

    RandomSource random;
    if (settings.seed)
        random.SetSeed(*settings.seed);
    else
        random.Reseed();

    auto picture = std::make_unique<TBitmap>();
    picture->SetHeight(StrToInt(settings.heightText));
    picture->SetWidth(StrToInt(settings.widthText));

    SourceReader source(settings.sourcePath, settings.encoding);
    ComposeText(*picture, source, settings, random, control);
    source.Close();
    if (control.encodingRead)
        control.encodingRead(source.Encoding());
    return picture;
}

void ComposeText(TPicture& picture, SourceReader& source, const CompositionSettings& settings,
                 RandomSource& random, const RunControl& control)
{
    const StampStyle style{settings.faceName, settings.realMode};
    const std::int64_t size = settings.size;
    const std::int64_t gap = size / 10;
    const std::int64_t pitch = size + gap;
    const std::int64_t width = picture.Width();
    const std::int64_t height = picture.Height();

    // A line without line ends (a FIFO, /dev/zero, an LF-only file) would keep
    // wrapping below the picture forever. Once the cursor is this far below
    // the bottom edge, no stamp of the line can reach the picture any more -
    // not the tallest cell turned by the steepest tilt, nor its scrap - and
    // the line's end would stop the run anyway: stopping now changes nothing.
    const std::int64_t tallest = CharacterHeight(settings.size, std::max(settings.size / 2 - 1, 0));
    const std::int64_t reach = 2 * tallest + 8;

    TCanvas& canvas = picture.Canvas();
    std::int64_t x = size;
    std::int64_t y = size;
    std::u32string_view unit;
    // Rows above the cursor's row less the tallest stamp's reach are final.
    std::int64_t rowsReported = 0;
    const auto reportRows = [&](std::int64_t rowsDone) {
        rowsDone = std::clamp<std::int64_t>(rowsDone, 0, height);
        if (control.progress && rowsDone > rowsReported) {
            rowsReported = rowsDone;
            control.progress(rowsDone, height);
        }
    };
    for (;;) {
        if (control.Cancelled())
            throw Error("", ErrorKind::Cancelled);
        const SourceReader::Token token = source.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        if (token == SourceReader::Token::Unit) {
            SubTextOut(int(x), int(y), unit, settings.size, canvas, style, random);
            x += pitch;
            if (width < x + pitch) {
                x = size;
                y += pitch;
                reportRows(y - reach);
                if (y - reach >= height)
                    break;
            }
            continue;
        }
        x = size;
        y += pitch;
        reportRows(y - reach);
        if (height < y + pitch)
            break;
    }
    if (control.Cancelled())
        throw Error("", ErrorKind::Cancelled);
    reportRows(height);
}

} // namespace morvaleth
