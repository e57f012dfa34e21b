#pragma once

#include "composer/faces/FaceChain.h"
#include "composer/faces/FaceChoice.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvaleth {

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

} // namespace morvaleth
