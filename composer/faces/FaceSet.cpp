#include "composer/faces/FaceSet.h"

#include "composer/Messages.h"
#include "composer/faces/OpenFace.h"
#include "composer/faces/FontConfig_p.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <map>
#include <tuple>
#include <type_traits>

namespace morvaleth {
namespace {

const FcChar8* FcText(const std::string& text)
{
    return reinterpret_cast<const FcChar8*>(text.c_str());
}

// Family names compare as Fontconfig compares them: blanks and case do not count.
bool SameFamily(const FcChar8* a, const FcChar8* b)
{
    const auto withoutBlanks = [](const FcChar8* name) {
        std::string text(reinterpret_cast<const char*>(name));
        std::erase(text, ' ');
        return text;
    };
    return FcStrCmpIgnoreCase(FcText(withoutBlanks(a)), FcText(withoutBlanks(b))) == 0;
}

bool SameFace(const FaceLocation& a, const FaceLocation& b)
{
    return (a.file == b.file && a.index == b.index) || (!a.family.empty() && a.family == b.family);
}

void AddFace(std::vector<FaceLocation>& faces, FaceLocation face)
{
    if (std::none_of(faces.begin(), faces.end(), [&](const FaceLocation& known) { return SameFace(known, face); }))
        faces.push_back(std::move(face));
}

std::string CannotOpen(const FaceLocation& face)
{
    return MessageText(Message::CannotOpenFont, {face.family.empty() ? face.file : face.family});
}

} // namespace

std::vector<std::string> SplitFaceList(std::string_view list)
{
    std::vector<std::string> names;
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        std::string_view name = list.substr(0, comma);
        list.remove_prefix(std::min(comma + 1, list.size()));
        const std::size_t first = name.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            continue;
        name = name.substr(first, name.find_last_not_of(" \t") - first + 1);
        names.emplace_back(name);
    }
    return names;
}

FaceLocation InstalledFamily(std::string_view name)
{
    FcConfig* config = EngineFontConfig();
    const std::string family(name);
    if (config == nullptr || family.empty())
        return {};
    FcPatternPtr pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FAMILY, FcText(family));
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());

    // The name itself and the families an alias puts in front of it count as
    // a match; the generic families the configuration adds after it do not.
    std::vector<const FcChar8*> accepted;
    FcChar8* listed = nullptr;
    for (int i = 0; FcPatternGetString(pattern.get(), FC_FAMILY, i, &listed) == FcResultMatch; ++i) {
        accepted.push_back(listed);
        if (SameFamily(listed, FcText(family)))
            break;
    }

    FcResult result;
    FcPatternPtr match(FcFontMatch(config, pattern.get(), &result));
    if (!match)
        return {};
    FcChar8* matched = nullptr;
    for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &matched) == FcResultMatch; ++i) {
        for (const FcChar8* wanted : accepted)
            if (SameFamily(matched, wanted))
                return LocationOf(match.get()).value_or(FaceLocation{});
    }
    return {};
}

std::vector<FaceLocation> InstalledJapaneseFaces()
{
    FcConfig* config = EngineFontConfig();
    if (config == nullptr)
        return {};
    FcPatternPtr pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    FcObjectSetPtr objects(
        FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, FC_SCALABLE, FC_WEIGHT, FC_SLANT, nullptr));
    FcFontSetPtr fonts(FcFontList(config, pattern.get(), objects.get()));
    if (!fonts)
        return {};

    // One face per family: its regular upright style where it has one, and
    // the same file whatever order Fontconfig lists them in.
    using Preference = std::tuple<int, int, std::string, int>;
    std::map<std::string, std::pair<Preference, FaceLocation>> byFamily;
    for (int i = 0; i < fonts->nfont; ++i) {
        std::optional<FaceLocation> location = LocationOf(fonts->fonts[i]);
        if (!location || location->family.empty())
            continue;
        int weight = FC_WEIGHT_REGULAR;
        int slant = FC_SLANT_ROMAN;
        FcPatternGetInteger(fonts->fonts[i], FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(fonts->fonts[i], FC_SLANT, 0, &slant);
        Preference preference{std::abs(weight - FC_WEIGHT_REGULAR), slant, location->file, location->index};
        auto [known, added] = byFamily.try_emplace(location->family, preference, *location);
        if (!added && preference < known->second.first)
            known->second = {std::move(preference), std::move(*location)};
    }
    std::vector<FaceLocation> faces;
    for (auto& [family, choice] : byFamily)
        faces.push_back(std::move(choice.second));
    return faces;
}

FaceSet ResolveFaceSet(std::string_view faceName, const FaceChoice& choice)
{
    std::vector<FaceLocation> candidates;
    if (choice.mix == FaceMix::Listed) {
        for (const std::string& name : choice.listed) {
            FaceLocation face = InstalledFamily(name);
            if (face.file.empty())
                throw Failure(Message::FontNotInstalled, {name});
            AddFace(candidates, std::move(face));
        }
    } else {
        FaceLocation chosen = FindFace(faceName);
        if (!chosen.file.empty())
            AddFace(candidates, std::move(chosen));
        if (choice.mix == FaceMix::Japanese)
            for (FaceLocation& face : InstalledJapaneseFaces())
                AddFace(candidates, std::move(face));
    }

    return KeepLoadableFaces(std::move(candidates));
}

FaceSet KeepLoadableFaces(std::vector<FaceLocation> candidates)
{
    FaceSet set;
    const FtLibraryPtr ownedLibrary = NewLibrary();
    for (FaceLocation& face : candidates) {
        FT_Face opened = nullptr;
        const bool loads =
            ownedLibrary && FT_New_Face(ownedLibrary.get(), face.file.c_str(), face.index, &opened) == 0;
        FtFacePtr ownedFace(opened);
        if (loads)
            set.faces.push_back(std::move(face));
        else
            set.skipped.push_back(CannotOpen(face));
    }
    if (set.faces.empty())
        throw set.skipped.empty() ? Failure(Message::NoFonts) : Error(set.skipped.front(), ErrorKind::Font);
    return set;
}

} // namespace morvaleth
