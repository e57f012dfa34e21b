#include "composer/plan/LineOrder.h"

#include "composer/plan/Layout.h"

#include <fribidi.h>

#include <algorithm>
#include <numeric>
#include <type_traits>

namespace morvaleth {
namespace {

static_assert(std::is_same_v<FriBidiCharType, std::uint32_t> && std::is_same_v<FriBidiBracketType, std::uint32_t> &&
              std::is_same_v<FriBidiLevel, std::int8_t> && std::is_same_v<FriBidiStrIndex, int>);

constexpr char32_t ZeroWidthJoiner = 0x200D;
constexpr char32_t ZeroWidthNonJoiner = 0x200C;

// Whether a character can change the order of a row: a right-to-left letter,
// an Arabic digit, or a control that opens right-to-left text.
bool Reorders(FriBidiCharType type)
{
    return FRIBIDI_IS_RTL(type) || type == FRIBIDI_TYPE_AN || type == FRIBIDI_TYPE_RLE ||
           type == FRIBIDI_TYPE_RLO || type == FRIBIDI_TYPE_RLI || type == FRIBIDI_TYPE_FSI;
}

} // namespace

LineOrder::LineOrder(SourceReader& source, const Layout& layout) : source_(source), layout_(layout) {}

LineOrder::~LineOrder() = default;

SourceReader::Token LineOrder::Next(std::u32string_view& unit)
{
    for (;;) {
        if (handedOn_ < order_.size()) {
            unit = HandOut(held_[order_[handedOn_++]]);
            return SourceReader::Token::Unit;
        }
        if (after_) {
            const SourceReader::Token token = *after_;
            after_.reset();
            return token;
        }
        Fill();
    }
}

void LineOrder::Fill()
{
    codePoints_.clear();
    held_.clear();
    order_.clear();
    handedOn_ = 0;
    visibleHeld_ = 0;
    needsReordering_ = false;
    const std::size_t room =
        std::size_t(std::clamp<std::int64_t>(layout_.CellsLeftInRow(), 1, std::int64_t(MostHeldUnits)));
    std::u32string_view unit;
    for (;;) {
        const SourceReader::Token token = source_.Next(unit);
        if (token != SourceReader::Token::Unit) {
            after_ = token;
            Settle();
            direction_ = Direction::Unknown;
            return;
        }
        HeldUnit held;
        held.first = std::uint32_t(codePoints_.size());
        held.length = std::uint32_t(unit.size());
        held.visible = !IsInvisibleUnit(unit);
        codePoints_.append(unit);
        held_.push_back(held);
        visibleHeld_ += held.visible;

        const FriBidiCharType type = fribidi_get_bidi_type(unit.front());
        needsReordering_ = needsReordering_ || Reorders(type);
        if (direction_ == Direction::Unknown && FRIBIDI_IS_LETTER(type))
            direction_ = FRIBIDI_IS_RTL(type) ? Direction::RightToLeft : Direction::LeftToRight;
        // Left-to-right text goes on as it is read; right-to-left text waits
        // for the row to fill.
        if ((direction_ == Direction::LeftToRight && !needsReordering_) || visibleHeld_ >= room) {
            Settle();
            return;
        }
    }
}

void LineOrder::Settle()
{
    if (needsReordering_ || direction_ == Direction::RightToLeft) {
        PutInVisualOrder();
        return;
    }
    for (std::uint32_t i = 0; i < held_.size(); ++i)
        if (held_[i].visible)
            order_.push_back(i);
}

void LineOrder::PutInVisualOrder()
{
    const std::size_t count = held_.size();
    types_.resize(count);
    brackets_.resize(count);
    levels_.resize(count);
    map_.resize(count);
    bases_.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        bases_[i] = codePoints_[held_[i].first];
    fribidi_get_bidi_types(bases_.data(), int(count), types_.data());
    fribidi_get_bracket_types(bases_.data(), int(count), types_.data(), brackets_.data());
    FriBidiParType base = direction_ == Direction::RightToLeft ? FRIBIDI_PAR_RTL
                          : direction_ == Direction::LeftToRight ? FRIBIDI_PAR_LTR
                                                                 : FRIBIDI_PAR_ON;
    std::iota(map_.begin(), map_.end(), 0);
    if (fribidi_get_par_embedding_levels_ex(types_.data(), brackets_.data(), int(count), &base, levels_.data()) == 0)
        std::fill(levels_.begin(), levels_.end(), FriBidiLevel(0));
    if (direction_ == Direction::Unknown)
        direction_ = base == FRIBIDI_PAR_RTL ? Direction::RightToLeft : Direction::LeftToRight;

    // Mirror images at right-to-left levels, and the joins of letters that
    // stand side by side at one level, invisible units aside.
    std::optional<std::size_t> previous;
    for (std::size_t i = 0; i < count; ++i) {
        HeldUnit& held = held_[i];
        FriBidiChar mirror = 0;
        held.mirrored = FRIBIDI_LEVEL_IS_RTL(levels_[i]) && fribidi_get_mirror_char(bases_[i], &mirror);
        if (!held.visible)
            continue;
        if (previous && levels_[*previous] == levels_[i]) {
            const FriBidiJoiningType before = fribidi_get_joining_type(bases_[*previous]);
            const FriBidiJoiningType after = fribidi_get_joining_type(bases_[i]);
            const std::u32string_view previousUnit =
                std::u32string_view(codePoints_).substr(held_[*previous].first, held_[*previous].length);
            if ((before & FRIBIDI_JOINS_FOLLOWING_MASK(levels_[i])) &&
                (after & FRIBIDI_JOINS_PRECEDING_MASK(levels_[i])) &&
                previousUnit.find(ZeroWidthNonJoiner) == std::u32string_view::npos) {
                held_[*previous].joinsAfter = true;
                held.joinsBefore = true;
            }
        }
        previous = i;
    }

    if (fribidi_reorder_line(FRIBIDI_FLAGS_DEFAULT, types_.data(), int(count), 0, base, levels_.data(), nullptr,
                             map_.data()) == 0)
        std::iota(map_.begin(), map_.end(), 0);
    for (const int logical : map_)
        if (held_[std::size_t(logical)].visible)
            order_.push_back(std::uint32_t(logical));
}

std::u32string_view LineOrder::HandOut(const HeldUnit& held)
{
    const std::u32string_view unit = std::u32string_view(codePoints_).substr(held.first, held.length);
    if (!held.mirrored && !held.joinsBefore && !held.joinsAfter)
        return unit;
    joined_.clear();
    if (held.joinsBefore)
        joined_ += ZeroWidthJoiner;
    joined_ += unit;
    if (held.mirrored) {
        FriBidiChar mirror = 0;
        fribidi_get_mirror_char(unit.front(), &mirror);
        joined_[held.joinsBefore ? 1 : 0] = char32_t(mirror);
    }
    if (held.joinsAfter)
        joined_ += ZeroWidthJoiner;
    return joined_;
}

} // namespace morvaleth
