// The composition run against the limit it cannot beat: the same glyphs, at
// the same cell heights and tilts and from the same seed, rendered by bare
// FreeType into a plain buffer with a plain blit.
//
//   morvaleth-bench-compose [Google Benchmark options]
//   morvaleth-bench-compose --write-text=FILE   writes the benchmarks' text

#include "bench/BenchText.h"
#include "support/AllocationCount.h"

#include "composer/Composition.h"
#include "composer/Error.h"
#include "composer/faces/FaceTable.h"
#include "composer/faces/OpenFace.h"
#include "composer/render/GlyphPainter.h"
#include "composer/text/SourceReader.h"
#include "composer/text/TextDecoder.h"
#include "reference/BitmapCanvas.h"
#include "reference/ComposeText.h"
#include "reference/LogFont.h"
#include "reference/SubTextOut.h"

#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <string_view>
#include <vector>

namespace morvaleth::bench {
namespace {

constexpr int PictureSide = 4000;
constexpr int FontSize = 20;
constexpr std::uint32_t Seed = 20240601;
const std::string FaceName = CompositionSettings{}.faceName;

// A folder of the benchmarks' own, with its text files.
class BenchFolder {
public:
    BenchFolder()
    {
        std::string name = (std::filesystem::temp_directory_path() / "morvaleth-bench-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr)
            throw Error("cannot make a temporary folder");
        path_ = name;
    }
    ~BenchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

CompositionSettings SettingsFor(const std::string& path, bool realMode, int width = PictureSide,
                                int height = PictureSide)
{
    CompositionSettings settings;
    settings.sourcePath = path;
    settings.widthText = std::to_string(width);
    settings.heightText = std::to_string(height);
    settings.size = FontSize;
    settings.realMode = realMode;
    settings.encoding = SourceEncoding::ShiftJis;
    settings.seed = Seed;
    // One render thread: Google Benchmark's CPU time is the calling thread's,
    // and the bare FreeType baseline renders on one thread too.
    settings.render.threads = 1;
    return settings;
}

// ---- The glyph sequence of a run ----------------------------------------

struct Glyph {
    int x;
    int y;
    char32_t code;
    int cellHeight;
    int tilt; // tenths of a degree
    TColor color;
};

// A picture that draws nothing and notes every text the run stamps.
class GlyphRecorder final : public TPicture {
public:
    explicit GlyphRecorder(int side) : side_(side) {}
    int Width() const override { return side_; }
    int Height() const override { return side_; }
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    TCanvas& Canvas() override { return canvas_; }
    const std::vector<Glyph>& Glyphs() const { return canvas_.glyphs; }

private:
    struct Recorder final : TCanvas {
        std::vector<Glyph> glyphs;
        void Polygon(std::span<const TPoint>) override {}
        void TextOut(int x, int y, std::u32string_view text) override
        {
            for (char32_t code : text)
                glyphs.push_back({x, y, code, Font.Handle.lfHeight, Font.Handle.lfEscapement, Font.Color});
        }
    };
    int side_;
    Recorder canvas_;
};

std::vector<Glyph> GlyphsOfRun(const CompositionSettings& settings)
{
    GlyphRecorder recorder(PictureSide);
    SourceReader source(settings.sourcePath, settings.encoding);
    RandomSource random(*settings.seed);
    ComposeText(recorder, source, settings, random);
    return recorder.Glyphs();
}

// ---- The bare FreeType baseline -----------------------------------------

struct FtLibrary {
    FT_Library handle = nullptr;
    FtLibrary()
    {
        if (FT_Init_FreeType(&handle) != 0)
            throw Error("FreeType does not start");
    }
    ~FtLibrary() { FT_Done_FreeType(handle); }
    FtLibrary(const FtLibrary&) = delete;
    FtLibrary& operator=(const FtLibrary&) = delete;
};

struct FtFace {
    FT_Face handle = nullptr;
    FtFace(FT_Library library, const FaceLocation& location)
    {
        if (FT_New_Face(library, location.file.c_str(), location.index, &handle) != 0)
            throw Error("cannot open " + location.file);
    }
    ~FtFace() { FT_Done_Face(handle); }
    FtFace(const FtFace&) = delete;
    FtFace& operator=(const FtFace&) = delete;
};

// Renders the glyphs one by one as FreeType's own rotated-text example does -
// size, transform, load and render, blit the bitmap - into a buffer of 24-bit
// pixels, first filled white, blending each glyph's coverage in its colour.
// The buffer is the caller's, its memory already touched: the baseline pays
// for no page faults, while the run it stands beside makes a fresh picture.
void RenderBare(const std::vector<Glyph>& glyphs, const FaceLocation& location, int width, int height,
                std::vector<std::uint8_t>& pixels)
{
    FtLibrary library;
    FtFace face(library.handle, location);
    const std::size_t stride = std::size_t(width) * 3;
    pixels.resize(stride * std::size_t(height));
    std::memset(pixels.data(), 0xFF, pixels.size());

    // The cell height is the face's Windows ascent plus descent.
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.handle, FT_SFNT_OS2));
    if (os2 == nullptr)
        throw Error("the face has no OS/2 table");
    const double ascentUnits = os2->usWinAscent;
    const double cellUnits = double(os2->usWinAscent) + os2->usWinDescent;
    const double unitsPerEm = face.handle->units_per_EM;

    FT_F26Dot6 currentSize = 0;
    for (const Glyph& glyph : glyphs) {
        const FT_F26Dot6 emSize = std::max<FT_F26Dot6>(std::lround(glyph.cellHeight * unitsPerEm / cellUnits * 64), 1);
        if (emSize != currentSize) {
            FT_Set_Char_Size(face.handle, 0, emSize, 72, 72);
            currentSize = emSize;
        }
        const double angle = glyph.tilt / 10.0 * std::numbers::pi / 180.0;
        const double cosine = std::cos(angle);
        const double sine = std::sin(angle);
        FT_Matrix matrix{FT_Fixed(std::lround(cosine * 0x10000)), FT_Fixed(std::lround(-sine * 0x10000)),
                         FT_Fixed(std::lround(sine * 0x10000)), FT_Fixed(std::lround(cosine * 0x10000))};
        const double ascent = ascentUnits * (emSize / 64.0) / unitsPerEm;
        const double penX = glyph.x + ascent * sine;
        const double penY = glyph.y + ascent * cosine;
        const double originX = std::floor(penX);
        const double originY = std::floor(penY);
        FT_Vector delta{FT_Pos(std::lround((penX - originX) * 64)), FT_Pos(-std::lround((penY - originY) * 64))};
        FT_Set_Transform(face.handle, &matrix, &delta);
        if (FT_Load_Char(face.handle, glyph.code, FT_LOAD_RENDER | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
            continue;

        const FT_GlyphSlot slot = face.handle->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        const int left = int(originX) + slot->bitmap_left;
        const int top = int(originY) - slot->bitmap_top;
        const unsigned blue = BlueOf(glyph.color);
        const unsigned green = GreenOf(glyph.color);
        const unsigned red = RedOf(glyph.color);
        for (int row = 0; row < int(bitmap.rows); ++row) {
            const int y = top + row;
            if (y < 0 || y >= height)
                continue;
            const std::uint8_t* coverage = bitmap.buffer + std::ptrdiff_t(row) * bitmap.pitch;
            for (int column = 0; column < int(bitmap.width); ++column) {
                const int x = left + column;
                const unsigned alpha = coverage[column];
                if (x < 0 || x >= width || alpha == 0)
                    continue;
                std::uint8_t* pixel = pixels.data() + std::size_t(y) * stride + std::size_t(x) * 3;
                pixel[0] = std::uint8_t((pixel[0] * (255 - alpha) + blue * alpha + 127) / 255);
                pixel[1] = std::uint8_t((pixel[1] * (255 - alpha) + green * alpha + 127) / 255);
                pixel[2] = std::uint8_t((pixel[2] * (255 - alpha) + red * alpha + 127) / 255);
            }
        }
    }
    FT_Set_Transform(face.handle, nullptr, nullptr);
    benchmark::DoNotOptimize(pixels.data());
}

// ---- The benchmarks -----------------------------------------------------

void BareFreeType(benchmark::State& state, const CompositionSettings& settings)
{
    const std::vector<Glyph> glyphs = GlyphsOfRun(settings);
    const FaceLocation location = FindFace(settings.faceName);
    if (location.file.empty()) {
        state.SkipWithError("no face installed");
        return;
    }
    std::vector<std::uint8_t> pixels;
    for (auto _ : state)
        RenderBare(glyphs, location, PictureSide, PictureSide, pixels);
    state.counters["glyphs"] = double(glyphs.size());

    // Without scraps the run draws just these glyphs: how many bytes of its
    // picture differ from the baseline's says whether both did the same work.
    if (!settings.realMode) {
        const auto picture = ComposePicture(settings);
        std::size_t differing = 0;
        for (int y = 0; y < PictureSide; ++y) {
            const std::uint8_t* ours = picture->ScanLine(y);
            const std::uint8_t* bare = pixels.data() + std::size_t(y) * PictureSide * 3;
            for (int i = 0; i < PictureSide * 3; ++i)
                differing += ours[i] != bare[i];
        }
        state.counters["differing_bytes"] = double(differing);
    }
}

void Compose(benchmark::State& state, const CompositionSettings& settings)
{
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        const std::uint64_t before = testing::AllocationCount();
        const auto picture = ComposePicture(settings);
        allocations += testing::AllocationCount() - before;
        benchmark::DoNotOptimize(picture->ScanLine(0));
    }
    state.counters["allocations"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}

// The run's glyphs drawn by the engine's text drawing, with a font engine of
// its own as a run's render thread has, loading outlines either way: what the
// outline cache saves.
void DrawGlyphs(benchmark::State& state, const CompositionSettings& settings, GlyphLoading loading)
{
    const std::vector<Glyph> glyphs = GlyphsOfRun(settings);
    std::vector<std::uint8_t> pixels(std::size_t(PictureSide) * PictureSide * 3, 0xFF);
    const PixelSurface surface{pixels.data(), PictureSide, PictureSide, std::size_t(PictureSide) * 3, 0};
    const FaceLocation location = FindFace(settings.faceName);
    for (auto _ : state) {
        FaceHandles faces(loading);
        OpenFace& face = *faces.Open(location);
        for (const Glyph& glyph : glyphs)
            PaintGlyphs(surface, faces.Library(), face, ScaleForCell(face.Measures(), glyph.cellHeight, glyph.tilt),
                        glyph.x, glyph.y, std::u32string_view(&glyph.code, 1), glyph.color, false,
                        UnitOrientation::Horizontal, false);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["glyphs"] = double(glyphs.size());
}

// A long line on the default picture: it wraps below the bottom edge until
// no stamp can reach the picture any more; the stamps of the last rows are
// the ones off-picture culling skips. The picture is made once, so that the
// time is the stamps' own.
void ComposeLongLine(benchmark::State& state, const CompositionSettings& settings, bool culling)
{
    TBitmap picture;
    picture.SetHeight(480);
    picture.SetWidth(640);
    picture.Canvas().SetOffPictureCulling(culling);
    for (auto _ : state) {
        SourceReader source(settings.sourcePath, settings.encoding);
        RandomSource random(*settings.seed);
        ComposeText(picture, source, settings, random);
        benchmark::DoNotOptimize(picture.Pixels().ScanLine(0));
    }
}

// Stamps placed wholly below the picture, beyond the reach of any tilt.
void OffPictureStamps(benchmark::State& state, bool culling)
{
    TBitmap picture;
    picture.SetHeight(480);
    picture.SetWidth(640);
    picture.Canvas().SetOffPictureCulling(culling);
    const StampStyle style{FaceName, false};
    const std::string bytes = LongJapaneseText(1, 1000);
    std::u32string text;
    TextDecoder decoder(SourceEncoding::ShiftJis);
    for (std::string_view rest = bytes; !rest.empty();) {
        const DecodedCharacter character = decoder.Next(rest);
        text.push_back(character.codePoint);
        rest.remove_prefix(character.length);
    }
    RandomSource random(Seed);
    for (auto _ : state) {
        for (std::size_t i = 0; i < text.size(); ++i)
            SubTextOut(20 + int(i * 2 % 600), 480 + 100, std::u32string_view(text).substr(i, 1), FontSize,
                       picture.Canvas(), style, random);
        benchmark::DoNotOptimize(picture.Pixels().ScanLine(0));
    }
    state.counters["stamps"] = 1000;
}

int Run(int argc, char** argv)
{
    constexpr std::string_view WriteText = "--write-text=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(WriteText)) {
        WriteFile(std::string(std::string_view(argv[1]).substr(WriteText.size())), LongJapaneseText());
        return 0;
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;

    BenchFolder folder;
    const std::string longText = folder / "long.txt";
    const std::string shortText = folder / "short.txt";
    const std::string longLine = folder / "line.txt";
    WriteFile(longText, LongJapaneseText());
    WriteFile(shortText, LongJapaneseText(3));
    std::string line = LongJapaneseText(1, 30000);
    line.resize(line.size() - 2);
    WriteFile(longLine, line);

    for (bool realMode : {false, true}) {
        const std::string mode = realMode ? "real" : "plain";
        const CompositionSettings settings = SettingsFor(longText, realMode);
        benchmark::RegisterBenchmark(("bare_freetype/" + mode).c_str(), BareFreeType, settings)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("compose/" + mode).c_str(), Compose, settings)
            ->Unit(benchmark::kMillisecond);
    }
    for (const GlyphLoading loading : {GlyphLoading::Cached, GlyphLoading::EachUse})
        benchmark::RegisterBenchmark(loading == GlyphLoading::Cached ? "glyphs/cached" : "glyphs/each_use", DrawGlyphs,
                                     SettingsFor(longText, false), loading)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("compose/plain/3000_units", Compose, SettingsFor(shortText, false))
        ->Unit(benchmark::kMillisecond);
    for (bool culling : {true, false}) {
        const std::string name = culling ? "culling" : "no_culling";
        benchmark::RegisterBenchmark(("long_line/" + name).c_str(), ComposeLongLine,
                                     SettingsFor(longLine, false, 640, 480), culling)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("off_picture_stamps/" + name).c_str(), OffPictureStamps, culling)
            ->Unit(benchmark::kMillisecond);
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace
} // namespace morvaleth::bench

int main(int argc, char** argv)
{
    try {
        return morvaleth::bench::Run(argc, argv);
    } catch (const morvaleth::Error& error) {
        std::cerr << "morvaleth-bench-compose: " << error.what() << "\n";
        return 1;
    }
}
