#include "support/TestSupport.h"

#include "composer/Error.h"
#include "composer/plan/RandomSource.h"
#include "composer/render/Raster.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <atomic>
#include <climits>
#include <new>
#include <utility>
#include <set>

// Every array allocation of this test program goes through here, so a test can
// tell whether a refused size was allocated before it was refused.
namespace {
std::atomic<std::size_t> largestArrayRequest{0};
void NoteArrayRequest(std::size_t size)
{
    std::size_t seen = largestArrayRequest.load();
    while (size > seen && !largestArrayRequest.compare_exchange_weak(seen, size)) {
    }
}
} // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    NoteArrayRequest(size);
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size)
{
    NoteArrayRequest(size);
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace morvaleth {
namespace {

using testing::InkOf;
using testing::WhitePicture;

bool AllWhite(const PixelPicture& picture)
{
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x)
            if (picture.Pixel(x, y) != clWhite)
                return false;
    return true;
}

// ---- Size ----------------------------------------------------------------

struct ResizeCase {
    const char* name;
    std::vector<std::pair<char, int>> steps; // 'h' or 'w', value
    int width;
    int height;
    bool hasPixels;

    friend void PrintTo(const ResizeCase& x, std::ostream* out) { *out << x.name; }
};

class ResizeTest : public ::testing::TestWithParam<ResizeCase> {};

TEST_P(ResizeTest, EndsWithTheSizeAndPixelsExpected)
{
    PixelPicture picture;
    for (auto [dimension, value] : GetParam().steps) {
        if (dimension == 'h')
            picture.SetHeight(value);
        else
            picture.SetWidth(value);
    }
    EXPECT_EQ(picture.Width(), GetParam().width);
    EXPECT_EQ(picture.Height(), GetParam().height);
    EXPECT_EQ(picture.HasPixels(), GetParam().hasPixels);
    EXPECT_TRUE(AllWhite(picture));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ResizeTest,
    ::testing::Values(ResizeCase{"New", {}, 0, 0, false},
                      ResizeCase{"HeightThenWidth", {{'h', 480}, {'w', 640}}, 640, 480, true},
                      ResizeCase{"HeightOnly", {{'h', 480}}, 0, 480, false},
                      ResizeCase{"ZeroHeight", {{'h', 0}, {'w', 640}}, 640, 0, false},
                      ResizeCase{"BackToZero", {{'h', 10}, {'w', 10}, {'w', 0}}, 0, 10, false},
                      ResizeCase{"Grown", {{'h', 3}, {'w', 3}, {'w', 641}, {'h', 5}}, 641, 5, true},
                      ResizeCase{"Shrunk", {{'h', 30}, {'w', 30}, {'w', 7}, {'h', 1}}, 7, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Bitmap, RowsArePaddedWithZeroBytesToFourBytes)
{
    auto picture = WhitePicture(641, 3);
    ASSERT_EQ(picture->Stride(), 1924u);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(picture->ScanLine(y)[1923], 0) << "row " << y;
    EXPECT_EQ(picture->ScanLine(2)[1922], 0xFF);
}

TEST(Bitmap, ResizingKeepsTheTopLeftAndAddsWhite)
{
    auto picture = WhitePicture(4, 4);
    picture->Canvas().Pen.Color = clBlack;
    const TPoint square[] = {{0, 0}, {0, 3}, {3, 3}, {3, 0}};
    picture->Canvas().Polygon(square);

    picture->SetWidth(4); // the same value does nothing
    picture->SetWidth(9);
    picture->SetHeight(6);
    EXPECT_EQ(picture->Pixel(0, 0), clBlack);
    EXPECT_EQ(picture->Pixel(3, 3), clBlack);
    EXPECT_EQ(picture->Pixel(4, 3), clWhite);
    EXPECT_EQ(picture->Pixel(8, 5), clWhite);
    EXPECT_EQ(picture->Pixel(3, 4), clWhite);
}

struct RefusedSize {
    int width;
    int height;

    friend void PrintTo(const RefusedSize& x, std::ostream* out) { *out << x.width << " x " << x.height; }
};

class RefusedSizeTest : public ::testing::TestWithParam<RefusedSize> {};

TEST_P(RefusedSizeTest, FailsBeforeAllocating)
{
    PixelPicture picture;
    largestArrayRequest = 0;
    try {
        picture.SetHeight(GetParam().height);
        picture.SetWidth(GetParam().width);
        FAIL() << "the size was accepted";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "ｼｽﾃﾑ ﾘｿｰｽが足りません");
    }
    EXPECT_LT(largestArrayRequest.load(), std::size_t(1) << 20);
    EXPECT_FALSE(picture.HasPixels());
    EXPECT_EQ(picture.Width(), 0);
}

TEST(Bitmap, AFailedResizeLeavesThePictureAsItWas)
{
    auto picture = WhitePicture(10, 10);
    picture->Canvas().Pen.Color = clGray;
    const TPoint dot[] = {{9, 9}};
    picture->Canvas().Polygon(dot);
    EXPECT_THROW(picture->SetWidth(INT_MAX), Error);
    EXPECT_THROW(picture->SetHeight(-5), Error);
    EXPECT_EQ(picture->Width(), 10);
    EXPECT_EQ(picture->Height(), 10);
    EXPECT_EQ(picture->Pixel(9, 9), clGray);
}

// A row of 715827882 pixels takes 2^31 bytes, one more than a signed 32-bit
// count holds; rows of 715827881 fit, and a picture of them fails only for
// want of memory.
INSTANTIATE_TEST_SUITE_P(Sizes, RefusedSizeTest,
                         ::testing::Values(RefusedSize{-1, 10}, RefusedSize{10, -1}, RefusedSize{INT_MAX, 10},
                                           RefusedSize{715827882, 1}, RefusedSize{715827881, INT_MAX},
                                           RefusedSize{INT_MAX, INT_MAX}, RefusedSize{INT_MAX / 3, INT_MAX}));

TEST(Bitmap, ARowIsAddressedByASigned32BitCount)
{
    EXPECT_EQ(RowBytes(715827881), 2147483644);
    EXPECT_EQ(RowBytes(715827882), std::int64_t(INT_MAX) + 1);
    // Without pixels any width is kept, however long its rows would be.
    PixelPicture picture;
    picture.SetWidth(INT_MAX);
    EXPECT_EQ(picture.Width(), INT_MAX);
    EXPECT_FALSE(picture.HasPixels());
}

// ---- Polygons -------------------------------------------------------------

TEST(Polygon, OutlineInPenColourInsideInBrushColour)
{
    auto picture = WhitePicture(12, 12);
    TCanvas& canvas = picture->Canvas();
    canvas.Pen.Color = clBlack;
    canvas.Brush.Color = clGray;
    const TPoint square[] = {{2, 2}, {2, 8}, {8, 8}, {8, 2}};
    canvas.Polygon(square);

    for (TPoint corner : square)
        EXPECT_EQ(picture->Pixel(corner.x, corner.y), clBlack);
    EXPECT_EQ(picture->Pixel(5, 2), clBlack);
    EXPECT_EQ(picture->Pixel(2, 5), clBlack);
    EXPECT_EQ(picture->Pixel(3, 3), clGray);
    EXPECT_EQ(picture->Pixel(7, 7), clGray);
    EXPECT_EQ(picture->Pixel(1, 1), clWhite);
    EXPECT_EQ(picture->Pixel(9, 9), clWhite);
}

TEST(Polygon, ClearBrushLeavesTheInside)
{
    auto picture = WhitePicture(12, 12);
    TCanvas& canvas = picture->Canvas();
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Brush.Color = clGray;
    const TPoint square[] = {{2, 2}, {2, 8}, {8, 8}, {8, 2}};
    canvas.Polygon(square);
    EXPECT_EQ(picture->Pixel(2, 2), clBlack);
    EXPECT_EQ(picture->Pixel(5, 5), clWhite);
}

TEST(Polygon, SelfCrossingStarIsFilledByTheEvenOddRule)
{
    auto picture = WhitePicture(100, 100);
    TCanvas& canvas = picture->Canvas();
    canvas.Pen.Color = clSilver;
    canvas.Brush.Color = clBlack;
    // A five-pointed star drawn in one stroke: its centre pentagon is crossed
    // twice and so lies outside.
    const TPoint star[] = {{50, 5}, {78, 90}, {5, 36}, {95, 36}, {22, 90}};
    canvas.Polygon(star);
    EXPECT_EQ(picture->Pixel(50, 52), clWhite);
    EXPECT_EQ(picture->Pixel(50, 20), clBlack); // top arm
    EXPECT_EQ(picture->Pixel(20, 40), clBlack); // left arm
    EXPECT_EQ(picture->Pixel(50, 2), clWhite);
}

TEST(Polygon, OutlineIsAliasedOnePixelPerStep)
{
    auto picture = WhitePicture(20, 20);
    TCanvas& canvas = picture->Canvas();
    canvas.Brush.Style = TBrushStyle::bsClear;
    const TPoint line[] = {{0, 0}, {9, 3}};
    canvas.Polygon(line);

    std::set<TColor> colours;
    int inked = 0;
    for (int x = 0; x < 20; ++x) {
        int inColumn = 0;
        for (int y = 0; y < 20; ++y) {
            colours.insert(picture->Pixel(x, y));
            inColumn += picture->Pixel(x, y) == clBlack;
        }
        EXPECT_EQ(inColumn, x <= 9 ? 1 : 0) << "column " << x;
        inked += inColumn;
    }
    EXPECT_EQ(inked, 10);
    EXPECT_EQ(colours, (std::set<TColor>{clBlack, clWhite}));
    EXPECT_EQ(picture->Pixel(9, 3), clBlack);
}

struct ClipCase {
    const char* name;
    int dx;
    int dy;
    TPoint inside; // a pixel of the picture the square must still fill

    friend void PrintTo(const ClipCase& x, std::ostream* out) { *out << x.name; }
};

class PolygonClipTest : public ::testing::TestWithParam<ClipCase> {};

TEST_P(PolygonClipTest, DrawsWhatFallsOnThePictureAndNothingElse)
{
    auto picture = WhitePicture(20, 10);
    TCanvas& canvas = picture->Canvas();
    canvas.Brush.Color = clGray;
    const ClipCase& clip = GetParam();
    const TPoint square[] = {{clip.dx, clip.dy}, {clip.dx, clip.dy + 12}, {clip.dx + 12, clip.dy + 12},
                             {clip.dx + 12, clip.dy}};
    canvas.Polygon(square);
    if (clip.inside.x >= 0)
        EXPECT_NE(picture->Pixel(clip.inside.x, clip.inside.y), clWhite);
    else
        EXPECT_TRUE(InkOf(*picture).Empty());
}

INSTANTIATE_TEST_SUITE_P(
    Edges, PolygonClipTest,
    ::testing::Values(ClipCase{"Left", -6, -1, {2, 5}}, ClipCase{"Top", 4, -6, {8, 2}},
                      ClipCase{"Right", 14, -1, {18, 5}}, ClipCase{"Bottom", 4, 5, {8, 8}},
                      ClipCase{"AllAround", -1, -1, {0, 0}}, ClipCase{"FarLeft", -1000000000, 0, {-1, -1}},
                      ClipCase{"FarBelow", 0, 2000000000, {-1, -1}}, ClipCase{"JustOff", 20, 10, {-1, -1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Polygon, LinesFromFarAwayCrossTheRightPixels)
{
    auto picture = WhitePicture(10, 10);
    TCanvas& canvas = picture->Canvas();
    canvas.Brush.Style = TBrushStyle::bsClear;
    const TPoint line[] = {{INT_MIN, 5}, {INT_MAX, 5}};
    canvas.Polygon(line);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(picture->Pixel(x, 5), clBlack);
    EXPECT_EQ(InkOf(*picture).top, 5);
    EXPECT_EQ(InkOf(*picture).bottom, 5);
}

// Where a line puts its pixel at each step of its longer axis: the shorter
// axis's coordinate rounded from the exact position, halves rounding up.
std::set<std::pair<std::int64_t, std::int64_t>> ExactLine(TPoint from, TPoint to, int width, int height)
{
    const bool steep = std::abs(std::int64_t(to.y) - from.y) > std::abs(std::int64_t(to.x) - from.x);
    std::int64_t major0 = steep ? from.y : from.x, minor0 = steep ? from.x : from.y;
    std::int64_t major1 = steep ? to.y : to.x, minor1 = steep ? to.x : to.y;
    if (major0 > major1) {
        std::swap(major0, major1);
        std::swap(minor0, minor1);
    }
    std::set<std::pair<std::int64_t, std::int64_t>> pixels;
    const std::int64_t limit = steep ? height : width;
    for (std::int64_t major = std::max<std::int64_t>(major0, 0); major <= std::min(major1, limit - 1); ++major) {
        std::int64_t minor = minor0;
        if (major1 != major0) {
            const __int128 numerator = __int128(2) * (minor1 - minor0) * (major - major0) + (major1 - major0);
            const __int128 denominator = __int128(2) * (major1 - major0);
            __int128 quotient = numerator / denominator;
            if (numerator % denominator != 0 && numerator < 0)
                --quotient;
            minor += std::int64_t(quotient);
        }
        const std::int64_t x = steep ? minor : major, y = steep ? major : minor;
        if (x >= 0 && y >= 0 && x < width && y < height)
            pixels.insert({x, y});
    }
    return pixels;
}

TEST(Polygon, EveryStepOfALineIsTheExactPositionRounded)
{
    RandomSource random(3);
    const auto coordinate = [&random](int i) {
        // Near the picture mostly; every fourth line from far away.
        return i % 4 == 3 ? random.Draw(2000000000) * (random.Draw(2) ? 1 : -1) : random.Draw(120) - 40;
    };
    for (int i = 0; i < 400; ++i) {
        auto picture = WhitePicture(37, 29);
        const TPoint from{coordinate(i), coordinate(i)};
        const TPoint to{coordinate(i), coordinate(i)};
        const PixelSurface surface = picture->Bitmap().Surface();
        DrawLine(surface, from, to, clBlack);

        std::set<std::pair<std::int64_t, std::int64_t>> drawn;
        for (int y = 0; y < picture->Height(); ++y)
            for (int x = 0; x < picture->Width(); ++x)
                if (picture->Pixel(x, y) == clBlack)
                    drawn.insert({x, y});
        ASSERT_EQ(drawn, ExactLine(from, to, picture->Width(), picture->Height()))
            << "from (" << from.x << ", " << from.y << ") to (" << to.x << ", " << to.y << ")";
    }
}

TEST(Polygon, NothingHappensWithoutPixels)
{
    testing::DrawnPicture picture;
    picture.SetWidth(640);
    const TPoint square[] = {{0, 0}, {0, 9}, {9, 9}};
    picture.Canvas().Polygon(square);
    picture.Canvas().TextOut(0, 0, U"A");
    EXPECT_FALSE(picture.HasPixels());
}

} // namespace
} // namespace morvaleth
