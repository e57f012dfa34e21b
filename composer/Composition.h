#pragma once

#include "composer/Look.h"
#include "composer/PixelPicture.h"
#include "composer/RowSink.h"
#include "composer/RunControl.h"
#include "composer/Writing.h"
#include "composer/faces/FaceChoice.h"
#include "composer/render/RenderOptions.h"
#include "composer/text/Encoding.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace morvaleth {

class ByteOutput;
class StampDevice;
enum class PictureFormat;
struct OutputOptions;

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
    Writing writing = Writing::Rows;
    // The faces the stamps take; by default all take the one above.
    FaceChoice faces;
    SourceEncoding encoding = SourceEncoding::Automatic;
    // Fixes the picture; without it the run seeds from the clock.
    std::optional<std::uint32_t> seed;
    // The resolution the picture is made at, 0 for none (see PhysicalSize.h):
    // with one, files record it and `size` (in pixels) was asked for as
    // `points` on paper.
    int dotsPerInch = 0;
    std::int32_t points = 0;
    // Keeps the text the picture was made from with it (see Recipe.h);
    // without it a picture keeps how it was made, but not the text.
    bool embedText = false;
    // Colours, paper, torn edges and shadows; the default is the grey letter.
    Look look;
    // How the rendering is split; the picture is the same for any split.
    RenderOptions render;
};

inline constexpr std::int32_t SmallestCompositionSize = 1;
inline constexpr std::int32_t LargestCompositionSize = 65535;

// Composes the source text into a new picture of the requested size. Returns
// no picture when there is neither a text in memory nor a source path (the
// caller tells the user).
// Fails with the message of whatever went wrong: a size text that is not an
// integer, a picture that cannot be made, a source that cannot be read; and
// with an Error of kind Cancelled when `control` asks it to stop.
std::unique_ptr<PixelPicture> ComposePicture(const CompositionSettings& settings, const RunControl& control = {});

// The encoding a run of these settings reads its text in, reading no further
// than the run would (the picture's size and the composition size decide
// where reading stops, so an endless source ends too), without opening a
// face or drawing: Automatic when every byte it reads is ASCII. Fails as the
// run would on the size texts and the source.
SourceEncoding EncodingRead(const CompositionSettings& settings);

// One run taken step by step, for a caller that streams the picture out and
// wants every failure of the run's own before it touches the output: the
// constructor checks the size and reads the size texts (height first);
// OpenSource opens the text, refuses a run in columns whose stamps could not
// be held, and plans the first stamp, which opens its face;
// Render begins the sink (which checks that it can take the size), opens the
// source if that has not been done, plans and paints the rest, hands every
// row to the sink and finishes it. Trace hands the planned stamps to a vector
// device instead of painting them. Write does either, as the format asks.
// A run is rendered or traced once.
class CompositionRun {
public:
    explicit CompositionRun(const CompositionSettings& settings);
    CompositionRun(const CompositionRun&) = delete;
    CompositionRun& operator=(const CompositionRun&) = delete;
    ~CompositionRun();

    int Width() const;
    int Height() const;
    // The seed the run's draws start from.
    std::uint32_t Seed() const;

    void OpenSource(const RunControl& control = {});
    void Render(RowSink& sink, const RunControl& control = {});
    void Trace(StampDevice& device, const RunControl& control = {});
    // The picture in the format into the output: its rows through the
    // format's sink, or its stamps through the format's device.
    void Write(ByteOutput& output, PictureFormat format, const OutputOptions& options,
               const RunControl& control = {});

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace morvaleth
