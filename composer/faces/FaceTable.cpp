#include "composer/faces/FaceTable.h"

#include "composer/Messages.h"
#include "composer/faces/OpenFace.h"

#include <deque>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

namespace morvaleth {

struct FaceTable::Impl {
    struct Entry {
        std::string name;
        FaceLocation location;
        FaceMeasures measures;
    };
    // The faces of a chain by their place in it, resolved when a unit first
    // needs them.
    struct Chain {
        std::string name;
        FaceChain chain;
        std::vector<std::optional<FaceId>> ids;
        // The face a chain of a face already found starts with.
        std::optional<FaceLocation> exactFace;
    };
    // Render threads look faces up while the plan adds more: the entries
    // stay where they are, and the list of them changes under the lock.
    std::deque<Entry> entries;
    mutable std::shared_mutex entriesLock;
    std::vector<Chain> chains;
    FtLibraryPtr library;

    std::optional<FaceId> FaceAt(const std::string& name, const FaceLocation& location);
    FaceChainId AddChain(std::string name, FaceChain chain, std::optional<FaceLocation> exactFace);
};

// Each face is measured once per run, whichever chains lead to it.
std::optional<FaceId> FaceTable::Impl::FaceAt(const std::string& name, const FaceLocation& location)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].location.file == location.file && entries[i].location.index == location.index)
            return FaceId(i);
    if (!library)
        library = NewLibrary();
    const std::optional<OpenFace> face = OpenFaceAt(library.get(), location);
    if (!face)
        return std::nullopt;
    std::lock_guard lock(entriesLock);
    entries.push_back({name, location, face->Measures()});
    return FaceId(entries.size() - 1);
}

FaceTable::FaceTable() : impl_(std::make_unique<Impl>()) {}

FaceTable::~FaceTable() = default;

FaceChainId FaceTable::Impl::AddChain(std::string name, FaceChain chain, std::optional<FaceLocation> exactFace)
{
    if (chain.Faces().empty())
        throw Failure(Message::CannotOpenFont, {name});
    const std::size_t faces = chain.Faces().size();
    chains.push_back({std::move(name), std::move(chain), {}, std::move(exactFace)});
    chains.back().ids.resize(faces);
    return FaceChainId(chains.size() - 1);
}

FaceChainId FaceTable::ChainFor(std::string_view faceName)
{
    for (std::size_t i = 0; i < impl_->chains.size(); ++i)
        if (!impl_->chains[i].exactFace && impl_->chains[i].name == faceName)
            return FaceChainId(i);
    const FaceChainId id = impl_->AddChain(std::string(faceName), FaceChain(faceName), std::nullopt);
    // The chosen face itself must open; a fallback face that does not is
    // passed over.
    FaceFor(id, {});
    return id;
}

FaceChainId FaceTable::ChainFor(const FaceLocation& face)
{
    for (std::size_t i = 0; i < impl_->chains.size(); ++i) {
        const std::optional<FaceLocation>& known = impl_->chains[i].exactFace;
        if (known && known->file == face.file && known->index == face.index)
            return FaceChainId(i);
    }
    const FaceChainId id = impl_->AddChain(face.family, FaceChain(face), face);
    FaceFor(id, {});
    return id;
}

FaceId FaceTable::FaceFor(FaceChainId chainId, std::u32string_view unit)
{
    Impl::Chain& chain = impl_->chains.at(chainId);
    const std::size_t index = unit.empty() ? 0 : chain.chain.FaceFor(unit);
    std::optional<FaceId>& id = chain.ids.at(index);
    if (!id) {
        id = impl_->FaceAt(chain.name, chain.chain.Faces()[index]);
        if (!id && index == 0)
            throw Failure(Message::CannotOpenFont, {chain.name});
        if (!id)
            id = FaceFor(chainId, {});
    }
    return *id;
}

std::size_t FaceTable::Size() const
{
    std::shared_lock lock(impl_->entriesLock);
    return impl_->entries.size();
}

const FaceLocation& FaceTable::Location(FaceId face) const
{
    std::shared_lock lock(impl_->entriesLock);
    return impl_->entries.at(face).location;
}

const FaceMeasures& FaceTable::Measures(FaceId face) const
{
    std::shared_lock lock(impl_->entriesLock);
    return impl_->entries.at(face).measures;
}

std::string_view FaceTable::Name(FaceId face) const
{
    std::shared_lock lock(impl_->entriesLock);
    return impl_->entries.at(face).name;
}

} // namespace morvaleth
