#pragma once

// Pictures compared as a reader sees them, for the vector outputs: the same
// letter rasterized by another renderer differs from the picture only where
// anti-aliasing differs, along the edges of its shapes.

#include "composer/PixelPicture.h"

#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace morvaleth::testing {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // red, green, blue, row after row
    const std::uint8_t* At(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
};

inline RgbImage RgbOf(const PixelPicture& picture)
{
    RgbImage image{picture.Width(), picture.Height(), {}};
    image.rgb.reserve(std::size_t(image.width) * image.height * 3);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const TColor color = picture.Pixel(x, y);
            image.rgb.insert(image.rgb.end(), {std::uint8_t(RedOf(color)), std::uint8_t(GreenOf(color)),
                                               std::uint8_t(BlueOf(color))});
        }
    return image;
}

// A PNG file's pixels; empty when it cannot be read.
inline RgbImage ReadPng(const std::string& path)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0)
        return {};
    png.format = PNG_FORMAT_RGB;
    RgbImage image{int(png.width), int(png.height), std::vector<std::uint8_t>(PNG_IMAGE_SIZE(png))};
    if (png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) == 0)
        return {};
    return image;
}

// Runs a program of the system found on the path, its standard output into
// `output` when given; true when it exits with 0.
inline bool RunTool(const std::vector<std::string>& arguments, std::string* output = nullptr)
{
    char outName[] = "/tmp/morvaleth-tool-XXXXXX";
    const int out = ::mkstemp(outName);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = -1;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        ::waitpid(child, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out);
    if (output != nullptr) {
        std::ifstream in(outName, std::ios::binary);
        output->assign(std::istreambuf_iterator<char>(in), {});
    }
    ::unlink(outName);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The page of a PDF and an SVG drawn at exactly that many pixels, on white.
inline RgbImage RasterizedPdf(const std::string& path, int width, int height)
{
    const std::string stem = path + "-page";
    if (!RunTool({"pdftoppm", "-png", "-singlefile", "-scale-to-x", std::to_string(width), "-scale-to-y",
                  std::to_string(height), path, stem}))
        return {};
    return ReadPng(stem + ".png");
}

inline RgbImage RasterizedSvg(const std::string& path, int width, int height)
{
    const std::string png = path + "-drawn.png";
    if (!RunTool({"rsvg-convert", "-w", std::to_string(width), "-h", std::to_string(height), "-b", "white", "-o",
                  png, path}))
        return {};
    return ReadPng(png);
}

inline int GreyAt(const RgbImage& image, int x, int y)
{
    const std::uint8_t* pixel = image.At(x, y);
    return (pixel[0] + pixel[1] + pixel[2]) / 3;
}

inline bool InkedAt(const RgbImage& image, int x, int y)
{
    return GreyAt(image, x, y) < 224;
}

// The share of pixels of either image whose grey the other has nowhere
// within a pixel of them, by more than `tolerance` of 255, counted against
// the inked pixels of both: 0 for the same picture, a few thousandths for
// one whose edges another renderer smoothed (and placed its text's glyphs
// to its own fractions of a pixel). A stamp moved by two pixels, left out,
// thickened or not, or in another colour shows as most of its edge.
inline double StrayInk(const RgbImage& a, const RgbImage& b, int tolerance = 96)
{
    if (a.width != b.width || a.height != b.height || a.width == 0)
        return 1;
    long stray = 0;
    long inked = 0;
    const auto strays = [&](const RgbImage& from, const RgbImage& in) {
        for (int y = 0; y < from.height; ++y)
            for (int x = 0; x < from.width; ++x) {
                const int grey = GreyAt(from, x, y);
                inked += InkedAt(from, x, y);
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy)
                    for (int dx = -1; dx <= 1 && !near; ++dx) {
                        const int nx = x + dx, ny = y + dy;
                        near = nx >= 0 && ny >= 0 && nx < in.width && ny < in.height &&
                               std::abs(GreyAt(in, nx, ny) - grey) <= tolerance;
                    }
                stray += !near;
            }
    };
    strays(a, b);
    strays(b, a);
    return inked == 0 ? 0 : double(stray) / double(inked);
}

} // namespace morvaleth::testing
