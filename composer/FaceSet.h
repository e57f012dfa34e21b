#pragma once

#include "composer/FontEngine.h"
#include "composer/RandomSource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvaleth {

// Which faces the stamps of a run take theirs from.
enum class FaceMix {
    One,      // every stamp in the chosen face
    Japanese, // the chosen face and every installed Japanese face
    Listed,   // the faces named in a list, the chosen one only if listed
};

struct FaceChoice {
    FaceMix mix = FaceMix::One;
    std::vector<std::string> listed;
    // Some stamps get their outlines thickened, as a bold cutting would.
    bool syntheticBold = false;

    bool operator==(const FaceChoice&) const = default;
};

// The faces of a run, in the order a face draw counts them, and the ones left
// out because their files could not be loaded (for a warning).
struct FaceSet {
    std::vector<FaceLocation> faces;
    std::vector<std::string> skipped;
};

// Splits a comma-separated list of family names, blanks around each trimmed;
// empty entries are dropped.
std::vector<std::string> SplitFaceList(std::string_view list);

// The installed family a name stands for: the family itself (case and blanks
// do not matter), or the installed family an alias maps it to. Empty when
// there is none.
FaceLocation InstalledFamily(std::string_view name);

// Every installed scalable face that Fontconfig says covers Japanese, one per
// family, ordered by family name.
std::vector<FaceLocation> InstalledJapaneseFaces();

// The set for a run with `faceName` as the chosen face. A listed name that
// matches no installed family fails with an Error naming it; a face whose file
// cannot be loaded is skipped, and when none is left the run fails.
FaceSet ResolveFaceSet(std::string_view faceName, const FaceChoice& choice);

// The candidates whose files load, in their order; the others are named in
// `skipped`. Fails when none loads.
FaceSet KeepLoadableFaces(std::vector<FaceLocation> candidates);

// What a stamp takes from the face set.
struct FaceDraw {
    std::size_t face = 0;
    bool bold = false;

    bool operator==(const FaceDraw&) const = default;
};

// The per-stamp face draws of a run. They come from a random source of their
// own, seeded from the run's seed, so that the main source's draws (and with
// them every position, height, tilt and scrap) are the same with or without
// mixed faces, and the seed still fixes the whole picture.
class FaceDraws {
public:
    FaceDraws(std::uint32_t runSeed, std::size_t faceCount, bool syntheticBold);

    // Two draws per stamp, whatever the options, so that turning the bold on
    // or off leaves every stamp's face as it was.
    FaceDraw Next();

private:
    RandomSource random_;
    std::int32_t faceCount_;
    bool syntheticBold_;
};

} // namespace morvaleth
