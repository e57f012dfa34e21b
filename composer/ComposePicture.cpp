#include "composer/ComposePicture.h"

#include "composer/Error.h"
#include "composer/Layout.h"
#include "composer/SizeText.h"
#include "composer/SubTextOut.h"

#include <algorithm>
#include <optional>

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
    return picture;
}

namespace {

// Reads the source unit by unit and stamps each at the place the layout gives
// it, until the text ends or the layout stops reading.
template <typename Layout>
void StampText(Layout& layout, TPicture& picture, SourceReader& source, const CompositionSettings& settings,
               RandomSource& random, const RunControl& control, const FaceSet* faces)
{
    const StampStyle style{settings.faceName, settings.realMode, source.Encoding(), settings.vertical};
    const std::int64_t height = picture.Height();
    // The faces of a mixed run come from a source of their own, seeded from
    // the run's seed before the run's first draw.
    std::optional<FaceDraws> faceDraws;
    if (faces != nullptr)
        faceDraws.emplace(random.Seed(), faces->faces.size(), settings.faces.syntheticBold);

    TCanvas& canvas = picture.Canvas();
    std::string_view unit;
    std::int64_t rowsReported = 0;
    const auto reportRows = [&](std::int64_t rowsDone) {
        rowsDone = std::clamp<std::int64_t>(rowsDone, 0, height);
        if (control.progress && rowsDone > rowsReported) {
            rowsReported = rowsDone;
            control.progress(rowsDone, height);
        }
    };
    if (layout.HasRoom()) {
        for (;;) {
            if (control.Cancelled())
                throw Error("", ErrorKind::Cancelled);
            const SourceReader::Token token = source.Next(unit);
            if (token == SourceReader::Token::TextEnd)
                break;
            bool reading = true;
            if (token == SourceReader::Token::Unit) {
                StampFace face;
                if (faceDraws) {
                    const FaceDraw draw = faceDraws->Next();
                    face = {&faces->faces[draw.face], draw.bold};
                }
                const CellPlace place = layout.Place();
                SubTextOut(int(place.x), int(place.y), unit, settings.size, canvas, style, random, face);
                reading = layout.AfterUnit();
            } else {
                reading = layout.AfterLineEnd();
            }
            reportRows(layout.RowsDone());
            if (!reading)
                break;
        }
    }
    if (control.Cancelled())
        throw Error("", ErrorKind::Cancelled);
    reportRows(height);
}

} // namespace

void ComposeText(TPicture& picture, SourceReader& source, const CompositionSettings& settings,
                 RandomSource& random, const RunControl& control)
{
    std::optional<FaceSet> faces;
    if (settings.faces.mix != FaceMix::One) {
        faces = ResolveFaceSet(settings.faceName, settings.faces);
        if (control.warning)
            for (const std::string& skipped : faces->skipped)
                control.warning(skipped);
    }

    // A line without line ends (a FIFO, /dev/zero, an LF-only file) would keep
    // wrapping past the picture forever. Once the cursor is this far past the
    // bottom edge (or, in columns, the left edge), no stamp of the line can
    // reach the picture any more - not the tallest cell turned by the steepest
    // tilt, nor its scrap - and the line's end would stop the run anyway:
    // stopping now changes nothing.
    const std::int64_t tallest = CharacterHeight(settings.size, std::max(settings.size / 2 - 1, 0));
    const std::int64_t reach = 2 * tallest + 8;
    const FaceSet* mixed = faces ? &*faces : nullptr;
    if (settings.vertical) {
        VerticalLayout layout(settings.size, picture.Width(), picture.Height(), reach);
        StampText(layout, picture, source, settings, random, control, mixed);
    } else {
        GridLayout layout(settings.size, picture.Width(), picture.Height(), reach);
        StampText(layout, picture, source, settings, random, control, mixed);
    }
}

} // namespace morvaleth
