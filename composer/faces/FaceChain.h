#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace morvaleth {

// Where an installed face lives.
struct FaceLocation {
    std::string file;
    int index = 0;
    std::string family;
};

// The faces that draw the text of a chosen face, best first. The first is
// the chosen face itself when a face of that name is installed; a name that
// only the engine's alias file knows (the Windows Japanese names map to the
// IPA fonts) or that nothing knows stands for the first face of Fontconfig's
// list for it that has Japanese glyphs. After it come the rest of that list,
// which Fontconfig orders by the name and then by Japanese, so that a Latin
// face's missing kana and kanji come from a Japanese face first.
class FaceChain {
public:
    explicit FaceChain(std::string_view faceName);
    // The chain of a face already found (one of a mixed set): that very face
    // first, then the rest of its family name's list.
    explicit FaceChain(const FaceLocation& face);
    FaceChain(FaceChain&&) noexcept;
    FaceChain& operator=(FaceChain&&) noexcept;
    ~FaceChain();

    // Empty when no usable face is installed at all.
    const std::vector<FaceLocation>& Faces() const { return faces_; }

    // Which face of the list draws the unit: the first that has every one of
    // its code points (those that draw nothing of their own, such as joiners
    // and variation selectors, aside). The first face when none has them all,
    // and for U+FFFD, so that bytes that did not convert draw that face's
    // missing-glyph shape.
    std::size_t FaceFor(std::u32string_view unit) const;

private:
    struct Coverage;
    FaceChain(std::string_view faceName, const FaceLocation* exactFace);
    bool Covers(std::size_t face, std::u32string_view unit) const;

    std::vector<FaceLocation> faces_;
    std::unique_ptr<Coverage> coverage_;
    // Where single characters the first face lacks were found, if anywhere:
    // on a desktop with thousands of faces, a text of characters no face has
    // would otherwise search them all for every unit.
    mutable std::unordered_map<char32_t, std::size_t> foundElsewhere_;
};

// The face that stands for a face name: the first of its chain; empty when no
// usable face is installed at all.
FaceLocation FindFace(std::string_view faceName);

// The alias file the engine loaded, or empty when it found none.
std::string FontAliasFile();

} // namespace morvaleth
