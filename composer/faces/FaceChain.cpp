#include "composer/faces/FaceChain.h"

#include "composer/faces/DataFiles.h"
#include "composer/faces/FontConfig_p.h"

#include "composer/Messages.h"

#include <sys/mman.h>

#include <utf8proc.h>

#include <algorithm>
#include <mutex>
#include <optional>

namespace morvaleth {
namespace {

struct EngineFonts {
    FcConfigPtr config;
    std::string aliasFile;
};

bool HasFonts(FcConfig* config)
{
    const FcFontSet* fonts = FcConfigGetFonts(config, FcSetSystem);
    return fonts != nullptr && fonts->nfont > 0;
}

// Whether the process has room to load the font configuration. Fontconfig
// scans a font folder that has no cache yet and writes down what it found, in
// a cache every program of the machine reads: scanned under a memory limit
// (RLIMIT_AS) it would find no fonts there and keep that. A process without
// this much address space to spare fails before it scans.
bool RoomToScanFonts()
{
    // More than the largest font file it maps whole, and the sets it builds.
    constexpr std::size_t ScanRoom = std::size_t(64) << 20;
    void* room = ::mmap(nullptr, ScanRoom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED)
        return false;
    ::munmap(room, ScanRoom);
    return true;
}

// The system's font configuration with the engine's aliases added, loaded
// once for the whole program. A configuration that came up without any fonts
// (the system refused to open its files, say) is not kept: the next run loads
// it afresh rather than draw nothing for the rest of the program's life. The
// runs of a window may load it at once (one that was stopped still ending);
// it is loaded by one of them. It goes when the program ends: a window that
// ends while a stopped run goes on ends without destroying anything.
const EngineFonts& LoadedFonts()
{
    static std::mutex loading;
    static EngineFonts fonts;
    const std::lock_guard lock(loading);
    if (!fonts.config) {
        if (!RoomToScanFonts())
            throw Failure(Message::OutOfResources);
        EngineFonts loaded{FcConfigPtr(FcInitLoadConfigAndFonts()), FindDataFile("morvaleth-fonts.conf")};
        if (loaded.config && HasFonts(loaded.config.get())) {
            if (!loaded.aliasFile.empty() &&
                !FcConfigParseAndLoad(loaded.config.get(),
                                      reinterpret_cast<const FcChar8*>(loaded.aliasFile.c_str()), FcFalse))
                loaded.aliasFile.clear();
            fonts = std::move(loaded);
        }
    }
    return fonts;
}

bool HasJapaneseGlyphs(const FcCharSet* characters)
{
    // Hiragana, katakana and a kanji: a face with all three can set Japanese.
    return characters != nullptr && FcCharSetHasChar(characters, 0x3042) &&
           FcCharSetHasChar(characters, 0x30A2) && FcCharSetHasChar(characters, 0x6F22);
}

} // namespace

std::optional<FaceLocation> LocationOf(FcPattern* font)
{
    FcChar8* file = nullptr;
    FcBool scalable = FcFalse;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
        FcPatternGetBool(font, FC_SCALABLE, 0, &scalable) != FcResultMatch || !scalable)
        return std::nullopt;
    FaceLocation location;
    location.file = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(font, FC_INDEX, 0, &location.index);
    FcChar8* family = nullptr;
    if (FcPatternGetString(font, FC_FAMILY, 0, &family) == FcResultMatch)
        location.family = reinterpret_cast<const char*>(family);
    return location;
}

FcConfig* EngineFontConfig()
{
    return LoadedFonts().config.get();
}

namespace {

FcCharSet* CharactersOf(FcPattern* font)
{
    FcCharSet* characters = nullptr;
    FcPatternGetCharSet(font, FC_CHARSET, 0, &characters);
    return characters;
}

// Whether a face of that family name is installed, as opposed to a name that
// only an alias, or nothing, stands for.
bool IsInstalledFamily(FcConfig* config, const std::string& name)
{
    if (name.empty())
        return false;
    FcPatternPtr pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcObjectSetPtr objects(FcObjectSetBuild(FC_FAMILY, nullptr));
    FcFontSetPtr fonts(FcFontList(config, pattern.get(), objects.get()));
    return fonts && fonts->nfont > 0;
}

// Joiners, variation selectors and the like draw nothing themselves: a face
// need not have them to draw a cluster.
bool DrawsItself(char32_t codePoint)
{
    return !utf8proc_get_property(utf8proc_int32_t(codePoint))->ignorable;
}

} // namespace

struct FaceChain::Coverage {
    // The sorted fonts own the character sets below.
    FcFontSetPtr sorted;
    std::vector<const FcCharSet*> characters;
};

FaceChain::FaceChain(std::string_view faceName) : FaceChain(faceName, nullptr) {}

FaceChain::FaceChain(const FaceLocation& face) : FaceChain(face.family, &face) {}

FaceChain::FaceChain(std::string_view faceName, const FaceLocation* exactFace)
    : coverage_(std::make_unique<Coverage>())
{
    FcConfig* config = LoadedFonts().config.get();
    if (config == nullptr)
        return;
    const std::string name(faceName);
    FcPatternPtr pattern(FcPatternCreate());
    if (!name.empty())
        FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result;
    coverage_->sorted.reset(FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
    if (!coverage_->sorted)
        return;

    const FcFontSet& sorted = *coverage_->sorted;
    const bool installed = IsInstalledFamily(config, name);
    int first = -1;
    int firstUsable = -1;
    if (exactFace != nullptr)
        for (int i = 0; i < sorted.nfont && first < 0; ++i) {
            const std::optional<FaceLocation> location = LocationOf(sorted.fonts[i]);
            if (location && location->file == exactFace->file && location->index == exactFace->index)
                first = i;
        }
    for (int i = 0; i < sorted.nfont && first < 0; ++i) {
        if (!LocationOf(sorted.fonts[i]))
            continue;
        if (installed || HasJapaneseGlyphs(CharactersOf(sorted.fonts[i])))
            first = i;
        else if (firstUsable < 0)
            firstUsable = i;
    }
    if (first < 0)
        first = firstUsable;
    if (first < 0)
        return;
    faces_.push_back(*LocationOf(sorted.fonts[first]));
    coverage_->characters.push_back(CharactersOf(sorted.fonts[first]));
    // One face per family: the list's first of a family is its best match
    // for the chosen face's style, and the family's other styles add nothing.
    for (int i = 0; i < sorted.nfont; ++i) {
        std::optional<FaceLocation> location = LocationOf(sorted.fonts[i]);
        if (!location || std::any_of(faces_.begin(), faces_.end(), [&](const FaceLocation& face) {
                return face.family == location->family;
            }))
            continue;
        faces_.push_back(std::move(*location));
        coverage_->characters.push_back(CharactersOf(sorted.fonts[i]));
    }
}

FaceChain::FaceChain(FaceChain&&) noexcept = default;
FaceChain& FaceChain::operator=(FaceChain&&) noexcept = default;
FaceChain::~FaceChain() = default;

bool FaceChain::Covers(std::size_t face, std::u32string_view unit) const
{
    const FcCharSet* characters = coverage_->characters[face];
    return characters != nullptr && std::all_of(unit.begin(), unit.end(), [&](char32_t c) {
               return !DrawsItself(c) || FcCharSetHasChar(characters, FcChar32(c));
           });
}

std::size_t FaceChain::FaceFor(std::u32string_view unit) const
{
    // Enough for the characters of a long text that the first face lacks.
    constexpr std::size_t RememberedCharacters = 4096;
    if (faces_.empty() || unit == U"\uFFFD" || Covers(0, unit))
        return 0;
    if (unit.size() == 1)
        if (const auto found = foundElsewhere_.find(unit[0]); found != foundElsewhere_.end())
            return found->second;
    std::size_t face = 1;
    while (face < faces_.size() && !Covers(face, unit))
        ++face;
    if (face == faces_.size())
        face = 0;
    if (unit.size() == 1) {
        if (foundElsewhere_.size() >= RememberedCharacters)
            foundElsewhere_.clear();
        foundElsewhere_.emplace(unit[0], face);
    }
    return face;
}

FaceLocation FindFace(std::string_view faceName)
{
    FaceChain chain(faceName);
    return chain.Faces().empty() ? FaceLocation{} : chain.Faces().front();
}

std::string FontAliasFile()
{
    return LoadedFonts().aliasFile;
}

} // namespace morvaleth
