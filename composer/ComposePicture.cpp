#include "composer/ComposePicture.h"

#include "composer/Error.h"
#include "composer/GridLayout.h"
#include "composer/PictureFile.h"
#include "composer/PictureSinks.h"
#include "composer/SizeText.h"
#include "composer/StampPlan.h"
#include "composer/SubTextOut.h"

#include <algorithm>

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
    source_ = std::make_unique<SourceReader>(settings_.sourcePath, settings_.encoding);
    faces_ = std::make_unique<FaceTable>();
    const PlanStyle style{settings_.size, settings_.realMode, settings_.faceName};
    plan_ = std::make_unique<StampPlan>(style, *source_, random_, *faces_, width_, height_);
    plan_->PlanSome(1, stamps_, {});
}

void CompositionRun::Render(RowSink& sink, const RunControl& control)
{
    sink.Begin(width_, height_);
    OpenSource();
    RenderRun(*plan_, stamps_, *faces_, width_, height_, sink, control, settings_.render);
    source_->Close();
    // The plan has read all of the text it needs by now.
    if (control.encodingRead)
        control.encodingRead(source_->Encoding());
    sink.Finish();
}

std::unique_ptr<TBitmap> ComposePicture(const CompositionSettings& settings, const RunControl& control)
{
    if (settings.sourcePath.empty())
        return nullptr;
    CompositionRun run(settings);
    auto picture = std::make_unique<TBitmap>();
    BitmapSink sink(*picture);
    run.Render(sink, control);
    return picture;
}

void ComposeText(TPicture& picture, SourceReader& source, const CompositionSettings& settings,
                 RandomSource& random, const RunControl& control)
{
    const StampStyle style{settings.faceName, settings.realMode};
    GridLayout layout(settings.size, picture.Width(), picture.Height(), LowestStampReach(settings.size));
    TCanvas& canvas = picture.Canvas();
    std::u32string_view unit;
    for (;;) {
        if (control.Cancelled())
            throw Error("", ErrorKind::Cancelled);
        const SourceReader::Token token = source.Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        if (token == SourceReader::Token::Unit) {
            SubTextOut(int(layout.X()), int(layout.Y()), unit, settings.size, canvas, style, random);
            if (!layout.AfterUnit())
                break;
        } else if (!layout.AfterLineEnd()) {
            break;
        }
    }
}

} // namespace morvaleth
