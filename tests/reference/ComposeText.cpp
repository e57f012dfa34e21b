#include "reference/ComposeText.h"

#include "composer/Messages.h"
#include "composer/faces/FaceSet.h"
#include "composer/plan/Layout.h"
#include "composer/plan/LineOrder.h"
#include "composer/plan/Stamp.h"
#include "composer/plan/StampPlan.h"
#include "reference/SubTextOut.h"

#include <optional>

namespace morvaleth {

void ComposeText(TPicture& picture, SourceReader& source, const CompositionSettings& settings, RandomSource& random,
                 const RunControl& control)
{
    std::optional<FaceSet> faces;
    std::optional<FaceDraws> faceDraws;
    if (settings.faces.mix != FaceMix::One) {
        faces = ResolveFaceSet(settings.faceName, settings.faces);
        if (control.warning)
            for (const std::string& skipped : faces->skipped)
                control.warning(skipped);
        faceDraws.emplace(random, faces->faces.size(), settings.faces.syntheticBold);
    }
    const std::unique_ptr<Layout> layout = MakeLayout(settings.writing, settings.size, picture.Width(),
                                                      picture.Height(), LowestStampReach(settings.size));
    const StampStyle style{settings.faceName, settings.realMode, layout->UnitFlow()};
    TCanvas& canvas = picture.Canvas();
    if (!layout->HasRoom())
        return;
    LineOrder order(source, *layout);
    std::u32string_view unit;
    for (;;) {
        if (control.Cancelled())
            throw Cancellation();
        const SourceReader::Token token = order.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        if (token == SourceReader::Token::Unit) {
            StampFace face;
            if (faceDraws) {
                const FaceDraw draw = faceDraws->Next();
                face = {&faces->faces[draw.face], draw.bold};
            }
            const CellPlace place = layout->Place();
            SubTextOut(int(place.x), int(place.y), unit, settings.size, canvas, style, random, face);
            if (!layout->AfterUnit())
                break;
        } else if (!layout->AfterLineEnd()) {
            break;
        }
    }
}

} // namespace morvaleth
