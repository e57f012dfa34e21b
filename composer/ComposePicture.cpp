#include "composer/ComposePicture.h"

#include "composer/Error.h"
#include "composer/GridLayout.h"
#include "composer/PictureFile.h"
#include "composer/PictureSinks.h"
#include "composer/SizeText.h"
#include "composer/StampPlan.h"
#include "composer/SubTextOut.h"

#include <algorithm>
#include <optional>

namespace morvaleth {
CompositionRun::CompositionRun(const CompositionSettings& settings) : settings_(settings)
{
    if (settings.size < SmallestCompositionSize || settings.size > LargestCompositionSize)
        throw Error("ﾌｫﾝﾄ ｻｲｽﾞ " + std::to_string(settings.size) + " は使えません (1 から " +
                    std::to_string(LargestCompositionSize) + " まで)",
                    ErrorKind::Usage);
    if (settings.seed)
        random_.SetSeed(*settings.seed);
    else
        random_.Reseed();
    // A negative height fails before the width text is read, as a picture
    // that cannot be made.
    const Error unmakeable("ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources);
    height_ = StrToInt(settings.heightText);
    if (height_ < 0)
        throw unmakeable;
    width_ = StrToInt(settings.widthText);
    if (width_ < 0)
        throw unmakeable;
}

CompositionRun::~CompositionRun() = default;

void CompositionRun::OpenSource()
{
    if (source_)
        return;
    source_ = OpenSourceReader(settings_);
    faces_ = std::make_unique<FaceTable>();
    const PlanStyle style{settings_.size,     settings_.realMode, settings_.faceName,
                          settings_.vertical, settings_.faces,    settings_.render.mostStampBytes};
    plan_ = std::make_unique<StampPlan>(style, *source_, random_, *faces_, width_, height_);
    plan_->PlanSome(1, stamps_, {});
}

void CompositionRun::Render(RowSink& sink, const RunControl& control)
{
    sink.Begin(width_, height_);
    OpenSource();
    if (control.warning)
        for (const std::string& skipped : plan_->SkippedFaces())
            control.warning(skipped);
    RenderRun(*plan_, stamps_, *faces_, width_, height_, sink, control, settings_.render);
    source_->Close();
    // The plan has read all of the text it needs by now.
    if (control.encodingRead)
        control.encodingRead(source_->Encoding());
    sink.Finish();
}

std::unique_ptr<SourceReader> OpenSourceReader(const CompositionSettings& settings)
{
    if (settings.sourceText)
        return std::make_unique<SourceReader>(TextInMemory{*settings.sourceText}, settings.encoding);
    return std::make_unique<SourceReader>(settings.sourcePath, settings.encoding);
}

std::unique_ptr<TBitmap> ComposePicture(const CompositionSettings& settings, const RunControl& control)
{
    if (settings.sourcePath.empty() && !settings.sourceText)
        return nullptr;
    CompositionRun run(settings);
    auto picture = std::make_unique<TBitmap>();
    BitmapSink sink(*picture);
    run.Render(sink, control);
    return picture;
}

namespace {

// Reads the source unit by unit and stamps each at the place the layout gives
// it, until the text ends or the layout stops reading.
template <typename Layout>
void StampText(Layout& layout, TPicture& picture, SourceReader& source, const CompositionSettings& settings,
               RandomSource& random, const RunControl& control, const FaceSet* faces)
{
    const StampStyle style{settings.faceName, settings.realMode, settings.vertical};
    // The faces of a mixed run come from a source of their own, seeded from
    // the run's seed before the run's first draw.
    std::optional<FaceDraws> faceDraws;
    if (faces != nullptr)
        faceDraws.emplace(random.Seed(), faces->faces.size(), settings.faces.syntheticBold);
    TCanvas& canvas = picture.Canvas();
    std::u32string_view unit;
    if (!layout.HasRoom())
        return;
    for (;;) {
        if (control.Cancelled())
            throw Error("", ErrorKind::Cancelled);
        const SourceReader::Token token = source.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        if (token == SourceReader::Token::Unit) {
            StampFace face;
            if (faceDraws) {
                const FaceDraw draw = faceDraws->Next();
                face = {&faces->faces[draw.face], draw.bold};
            }
            const CellPlace place = layout.Place();
            SubTextOut(int(place.x), int(place.y), unit, settings.size, canvas, style, random, face);
            if (!layout.AfterUnit())
                break;
        } else if (!layout.AfterLineEnd()) {
            break;
        }
    }
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
    const FaceSet* mixed = faces ? &*faces : nullptr;
    const std::int64_t reach = LowestStampReach(settings.size);
    if (settings.vertical) {
        VerticalLayout layout(settings.size, picture.Width(), picture.Height(), reach);
        StampText(layout, picture, source, settings, random, control, mixed);
    } else {
        GridLayout layout(settings.size, picture.Width(), picture.Height(), reach);
        StampText(layout, picture, source, settings, random, control, mixed);
    }
}

} // namespace morvaleth
