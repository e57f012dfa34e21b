#pragma once

#include "composer/faces/FaceChain.h"
#include "composer/faces/FontScale.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace morvaleth {

// The number of a face in a run's face table.
using FaceId = std::uint16_t;
// The number of a face name's chain in a run's face table.
using FaceChainId = std::uint16_t;

// The faces of one run: one chain per face name, and the faces its units are
// drawn in, each known by its file and index and opened once to be measured;
// the stamps carry their number. Render threads open their own handles of the
// same files. Location, Measures and Name may be asked from any thread while
// one thread adds faces; what they return stays valid as faces are added.
class FaceTable {
public:
    FaceTable();
    FaceTable(const FaceTable&) = delete;
    FaceTable& operator=(const FaceTable&) = delete;
    ~FaceTable();

    // The chain of a face name, added on its first request. Fails with
    // "ﾌｫﾝﾄ '%s' を開けません" when no installed face can stand for the name.
    FaceChainId ChainFor(std::string_view faceName);
    // The chain of a face already found (one of a mixed set): that face, then
    // its family name's fallbacks. Fails as above when the face itself cannot
    // be opened.
    FaceChainId ChainFor(const FaceLocation& face);
    // The face of the chain that draws the unit (the chosen face for an empty
    // one). Allocates only when the unit needs a face not yet used.
    FaceId FaceFor(FaceChainId chain, std::u32string_view unit);

    // How many faces the table holds; their numbers are 0 up to it.
    std::size_t Size() const;
    const FaceLocation& Location(FaceId face) const;
    // The name the face was asked for by.
    std::string_view Name(FaceId face) const;
    const FaceMeasures& Measures(FaceId face) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace morvaleth
