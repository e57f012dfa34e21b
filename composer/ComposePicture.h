#pragma once

#include "composer/BandRenderer.h"
#include "composer/Bitmap.h"
#include "composer/FaceSet.h"
#include "composer/Canvas.h"
#include "composer/RandomSource.h"
#include "composer/RunControl.h"
#include "composer/SourceReader.h"
#include "composer/StampPlan.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace morvaleth {

// The inputs of one composition run.
struct CompositionSettings {
    std::string sourcePath;
    // The text itself when it is held in memory (typed in the window, given
    // on the command line): read instead of the file at sourcePath, as a file
    // of these bytes would be read.
    std::optional<std::string> sourceText;
    std::string widthText = "640";
    std::string heightText = "480";
    std::string faceName = "ＭＳ Ｐゴシック";
    // The composition font's size in points, used as a pixel count: margin,
    // character pitch and line pitch at once.
    std::int32_t size = 20;
    bool realMode = false;
    // Columns from right to left instead of rows from top to bottom.
    bool vertical = false;
    // The faces the stamps take; by default all take the one above.
    FaceChoice faces;
    SourceEncoding encoding = SourceEncoding::Automatic;
    // Fixes the picture; without it the run seeds from the clock.
    std::optional<std::uint32_t> seed;
    // How the rendering is split; the picture is the same for any split.
    RenderOptions render;
};

inline constexpr std::int32_t SmallestCompositionSize = 1;
inline constexpr std::int32_t LargestCompositionSize = 65535;

// The reader of the run's text: the text in memory when there is one, else
// the file at the source path (failing as opening it fails). The reader reads
// from `settings`, which must outlive it.
std::unique_ptr<SourceReader> OpenSourceReader(const CompositionSettings& settings);

// Composes the source text into a new picture of the requested size. Returns
// no picture when there is neither a text in memory nor a source path (the
// caller tells the user).
// Fails with the message of whatever went wrong: a size text that is not an
// integer, a picture that cannot be made, a source that cannot be read; and
// with an Error of kind Cancelled when `control` asks it to stop.
std::unique_ptr<TBitmap> ComposePicture(const CompositionSettings& settings,
                                        const RunControl& control = {});

// One run taken step by step, for a caller that streams the picture out and
// wants every failure of the run's own before it touches the output: the
// constructor checks the size and reads the size texts (height first);
// OpenSource opens the text and plans its first stamp, which opens its face;
// Render begins the sink (which checks that it can take the size), opens the
// source if that has not been done, plans and renders the rest, hands every
// row to the sink and finishes it.
class CompositionRun {
public:
    explicit CompositionRun(const CompositionSettings& settings);
    CompositionRun(const CompositionRun&) = delete;
    CompositionRun& operator=(const CompositionRun&) = delete;
    ~CompositionRun();

    int Width() const { return width_; }
    int Height() const { return height_; }

    void OpenSource();
    void Render(RowSink& sink, const RunControl& control = {});

private:
    CompositionSettings settings_;
    RandomSource random_;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<SourceReader> source_;
    std::unique_ptr<FaceTable> faces_;
    std::unique_ptr<StampPlan> plan_;
    StampList stamps_;
};

// The run on a canvas, one stamp after the other through the drawing
// interface: reads the source and stamps every character unit where the grid
// puts it (in columns from the right with `vertical`), with the faces of
// a mixed set drawn from their own source. Lets tests see every drawing call of a run.
void ComposeText(TPicture& picture, SourceReader& source, const CompositionSettings& settings,
                 RandomSource& random, const RunControl& control = {});

} // namespace morvaleth
