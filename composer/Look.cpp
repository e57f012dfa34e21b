#include "composer/Look.h"

#include "composer/text/HexDigit.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace morvaleth {
namespace {

constexpr std::array<std::string_view, 4> Palettes{"grey", "magazine", "newsprint", "pastel"};

struct NamedColor {
    std::string_view name;
    TColor color;
};

// A few of the common colour names, with their usual values.
constexpr NamedColor ColorNames[] = {
    {"white", MakeColor(0xFF, 0xFF, 0xFF)},     {"black", MakeColor(0x00, 0x00, 0x00)},
    {"ivory", MakeColor(0xFF, 0xFF, 0xF0)},     {"beige", MakeColor(0xF5, 0xF5, 0xDC)},
    {"linen", MakeColor(0xFA, 0xF0, 0xE6)},     {"silver", MakeColor(0xC0, 0xC0, 0xC0)},
    {"gray", MakeColor(0x80, 0x80, 0x80)},      {"grey", MakeColor(0x80, 0x80, 0x80)},
    {"red", MakeColor(0xFF, 0x00, 0x00)},       {"maroon", MakeColor(0x80, 0x00, 0x00)},
    {"yellow", MakeColor(0xFF, 0xFF, 0x00)},    {"green", MakeColor(0x00, 0x80, 0x00)},
    {"navy", MakeColor(0x00, 0x00, 0x80)},      {"blue", MakeColor(0x00, 0x00, 0xFF)},
    {"pink", MakeColor(0xFF, 0xC0, 0xCB)},      {"wheat", MakeColor(0xF5, 0xDE, 0xB3)},
    {"lightblue", MakeColor(0xAD, 0xD8, 0xE6)}, {"darkslategray", MakeColor(0x2F, 0x4F, 0x4F)},
};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Lower(x) == Lower(y);
           });
}

bool IsGrey(TColor color)
{
    return RedOf(color) == GreenOf(color) && GreenOf(color) == BlueOf(color);
}

} // namespace

bool Look::Coloured() const
{
    return palette != PaletteId::Grey || (!background.transparent && !IsGrey(background.color));
}

std::span<const std::string_view> PaletteNames()
{
    return Palettes;
}

std::string_view PaletteName(PaletteId palette)
{
    return Palettes[std::size_t(palette)];
}

std::optional<PaletteId> PaletteNamed(std::string_view name)
{
    for (std::size_t i = 0; i < Palettes.size(); ++i)
        if (SameIgnoringCase(name, Palettes[i]))
            return PaletteId(i);
    return std::nullopt;
}

std::optional<Background> BackgroundNamed(std::string_view text)
{
    if (SameIgnoringCase(text, "transparent"))
        return Background{true, clWhite};
    if (text.size() == 7 && text[0] == '#') {
        std::uint8_t channels[3];
        for (int i = 0; i < 3; ++i) {
            const int high = HexDigitValue(text[1 + 2 * i]);
            const int low = HexDigitValue(text[2 + 2 * i]);
            if (high < 0 || low < 0)
                return std::nullopt;
            channels[i] = std::uint8_t(high * 16 + low);
        }
        return Background{false, MakeColor(channels[0], channels[1], channels[2])};
    }
    for (const NamedColor& named : ColorNames)
        if (SameIgnoringCase(text, named.name))
            return Background{false, named.color};
    return std::nullopt;
}

std::string BackgroundText(const Background& background)
{
    if (background.transparent)
        return "transparent";
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", RedOf(background.color), GreenOf(background.color),
                  BlueOf(background.color));
    return text;
}

std::string ColorNameList()
{
    std::string list;
    for (const NamedColor& named : ColorNames)
        list.append(list.empty() ? "" : ", ").append(named.name);
    return list;
}

} // namespace morvaleth
