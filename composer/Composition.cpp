#include "composer/Composition.h"

#include "composer/Messages.h"
#include "composer/Recipe.h"
#include "composer/encode/Formats.h"
#include "composer/encode/PictureSink.h"
#include "composer/faces/FaceTable.h"
#include "composer/plan/Layout.h"
#include "composer/plan/StampPlan.h"
#include "composer/render/BandRenderer.h"
#include "composer/text/SizeText.h"
#include "composer/text/SourceReader.h"
#include "composer/vector/Device.h"
#include "composer/vector/VectorRun.h"

namespace morvaleth {

struct CompositionRun::State {
    CompositionSettings settings;
    RandomSource random;
    std::uint32_t seed = 0;
    int width = 0;
    int height = 0;
    std::unique_ptr<SourceReader> source;
    std::unique_ptr<FaceTable> faces;
    std::unique_ptr<StampPlan> plan;
    StampList stamps;
    PictureNotes notes;
    std::u32string keptText;

    // Once the plan has read all of the text it needs.
    PictureNotes Notes() const
    {
        return RecipeNotes(settings, seed, source->Encoding(), settings.embedText ? &keptText : nullptr);
    }
};

CompositionRun::CompositionRun(const CompositionSettings& settings) : state_(std::make_unique<State>())
{
    State& run = *state_;
    run.settings = settings;
    if (settings.size < SmallestCompositionSize || settings.size > LargestCompositionSize)
        throw Failure(Message::UnusableFontSize,
                      {std::to_string(settings.size), std::to_string(LargestCompositionSize)});
    if (settings.seed)
        run.random.SetSeed(*settings.seed);
    else
        run.random.Reseed();
    run.seed = run.random.Seed();
    // A negative height fails before the width text is read, as a picture
    // that cannot be made: said as such, not as memory that ran short.
    run.height = StrToInt(settings.heightText);
    if (run.height < 0)
        throw Failure(Message::NegativeSize, {std::to_string(run.height)});
    run.width = StrToInt(settings.widthText);
    if (run.width < 0)
        throw Failure(Message::NegativeSize, {std::to_string(run.width)});
}

CompositionRun::~CompositionRun() = default;

int CompositionRun::Width() const
{
    return state_->width;
}

int CompositionRun::Height() const
{
    return state_->height;
}

std::uint32_t CompositionRun::Seed() const
{
    return state_->seed;
}

void CompositionRun::OpenSource(const RunControl& control)
{
    State& run = *state_;
    if (run.source)
        return;
    const CompositionSettings& settings = run.settings;
    run.source = OpenSourceReader(settings.sourcePath, settings.sourceText, settings.encoding, control.cancel);
    if (settings.embedText)
        run.source->KeepText(&run.keptText);
    run.faces = std::make_unique<FaceTable>();
    const PlanStyle style{settings.size,    settings.realMode, settings.faceName,           settings.writing,
                          settings.faces,   settings.render.mostStampBytes, settings.look};
    run.plan = std::make_unique<StampPlan>(style, *run.source, run.random, *run.faces, run.width, run.height);
    run.plan->PlanSome(1, run.stamps, control);
}

namespace {

void WarnOfSkippedFaces(const StampPlan& plan, const RunControl& control)
{
    if (control.warning)
        for (const std::string& skipped : plan.SkippedFaces())
            control.warning(skipped);
}

} // namespace

void CompositionRun::Render(RowSink& sink, const RunControl& control)
{
    State& run = *state_;
    // The run's share done is known from the start: none of its rows.
    if (control.progress && run.height > 0)
        control.progress(0, run.height);
    // Every pixel the engine paints is grey unless the look brings colour;
    // the notes are made once the text has been read, before the sink reads
    // them at its end.
    const Look& look = run.settings.look;
    sink.Begin({run.width, run.height, !look.Coloured() && !look.background.transparent, &run.notes,
                look.background.transparent});
    OpenSource(control);
    WarnOfSkippedFaces(*run.plan, control);
    RenderRun(*run.plan, run.stamps, *run.faces, run.width, run.height, sink, control, run.settings.render,
              look.background);
    run.source->Close();
    // The plan has read all of the text it needs by now.
    if (control.encodingRead)
        control.encodingRead(run.source->Encoding());
    run.notes = run.Notes();
    sink.Finish();
}

void CompositionRun::Trace(StampDevice& device, const RunControl& control)
{
    State& run = *state_;
    device.Begin(run.width, run.height, run.settings.look.background);
    OpenSource(control);
    WarnOfSkippedFaces(*run.plan, control);
    TraceRun(*run.plan, run.stamps, *run.faces, run.height, device, control);
    run.source->Close();
    if (control.encodingRead)
        control.encodingRead(run.source->Encoding());
    run.notes = run.Notes();
    device.Finish(run.notes);
}

SourceEncoding EncodingRead(const CompositionSettings& settings)
{
    const CompositionRun run(settings);
    const std::unique_ptr<SourceReader> reader =
        OpenSourceReader(settings.sourcePath, settings.sourceText, settings.encoding);
    // The plan's reading, without its stamps: each unit and line end moves
    // the layout on until it says reading stops.
    const std::unique_ptr<Layout> layout =
        MakeLayout(settings.writing, settings.size, run.Width(), run.Height(), LowestStampReach(settings.size));
    bool reading = layout->HasRoom();
    std::u32string_view unit;
    while (reading && reader->Encoding() == SourceEncoding::Automatic) {
        const SourceReader::Token token = reader->Next(unit);
        if (token == SourceReader::Token::TextEnd)
            break;
        reading = token == SourceReader::Token::Unit ? layout->AfterUnit() : layout->AfterLineEnd();
    }
    const SourceEncoding encoding = reader->Encoding();
    reader->Close();
    return encoding;
}

void CompositionRun::Write(ByteOutput& output, PictureFormat format, const OutputOptions& options,
                           const RunControl& control)
{
    if (FormatEntry(format).Vector())
        Trace(*FileDeviceFor(format, output, options), control);
    else
        Render(*FileSinkFor(format, output, options), control);
}

std::unique_ptr<PixelPicture> ComposePicture(const CompositionSettings& settings, const RunControl& control)
{
    if (settings.sourcePath.empty() && !settings.sourceText)
        return nullptr;
    CompositionRun run(settings);
    auto picture = std::make_unique<PixelPicture>();
    PictureSink sink(*picture);
    run.Render(sink, control);
    return picture;
}

} // namespace morvaleth
