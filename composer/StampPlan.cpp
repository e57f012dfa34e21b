#include "composer/StampPlan.h"

#include "composer/Error.h"
#include "composer/LogFont.h"
#include "composer/Shaping.h"
#include "composer/SourceReader.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace morvaleth {
namespace {

// Corners far beyond any picture saturate rather than overflow; they stay
// off the picture either way.
int Offset(int base, std::int64_t by)
{
    return int(std::clamp<std::int64_t>(base + by, INT_MIN, INT_MAX));
}

// How far from its cell's corner a shaped stamp can draw: its glyphs lie
// anywhere in the cell, and thickening moves their points out by up to a
// 48th of the em.
double ShapedReach(const FaceMeasures& measures, const FontScale& scale, std::size_t characters)
{
    return scale.Reach(measures, characters) + scale.ascent + double(scale.emSize) / 64 / 24 + 1;
}

std::size_t QuarterOfTheMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return SIZE_MAX;
    return std::size_t(pages) / 4 * std::size_t(pageSize);
}

} // namespace

bool IsShaped(const Stamp& stamp)
{
    return NeedsShaping(stamp.vertical, stamp.bold);
}

ScrapColors ScrapColorsFor(int r)
{
    if (r <= 4)
        return {clSilver, clGray, clBlack};
    if (r <= 7)
        return {clGray, clSilver, clBlack};
    return {clSilver, clBlack, clSilver};
}

int TallestCellHeight(int size)
{
    return StampCellHeight(size, std::max(size / 2 - 1, 0));
}

std::int64_t LowestStampReach(int size)
{
    return 2 * std::int64_t(TallestCellHeight(size)) + 8;
}

void StampList::CarryOver(const StampList& from, std::int64_t row)
{
    stamps.clear();
    codePoints.clear();
    for (const Stamp& stamp : from.stamps) {
        if (stamp.rows.bottom <= row)
            continue;
        Stamp carried = stamp;
        carried.firstCodePoint = std::uint32_t(codePoints.size());
        codePoints.append(from.CodePointsOf(stamp));
        stamps.push_back(carried);
    }
}

StampPlan::StampPlan(const PlanStyle& style, SourceReader& source, RandomSource& random, FaceTable& faces,
                     std::int64_t width, std::int64_t height)
    : style_(style),
      source_(source),
      random_(random),
      faces_(faces),
      layout_(GridLayout(style.size, width, height, LowestStampReach(style.size))),
      mostStampBytes_(style.mostStampBytes > 0 ? style.mostStampBytes : QuarterOfTheMemory())
{
    style_.faceName = std::string(FaceNameThatFits(style.faceName));
    if (style.vertical) {
        layout_ = VerticalLayout(style.size, width, height, LowestStampReach(style.size));
        done_ = !std::get<VerticalLayout>(layout_).HasRoom();
    }
    if (style.faces.mix != FaceMix::One) {
        FaceSet set = ResolveFaceSet(style_.faceName, style.faces);
        faceSet_ = std::move(set.faces);
        skippedFaces_ = std::move(set.skipped);
        // Seeded before the run's first draw.
        faceDraws_.emplace(random.Seed(), faceSet_.size(), style.faces.syntheticBold);
    }
}

std::int64_t StampPlan::SettledRows() const
{
    if (done_)
        return INT64_MAX;
    // Before the first unit the face, and so the stamps' reach, is unknown.
    if (!faceResolved_)
        return INT64_MIN;
    // Every column spans the picture's height.
    if (style_.vertical)
        return INT64_MIN;
    return std::get<GridLayout>(layout_).Y() - upwardReach_;
}

void StampPlan::PlanThrough(std::int64_t row, StampList& list, const RunControl& control)
{
    PlanWhile(list, control, [&] { return SettledRows() >= row; });
}

void StampPlan::PlanSome(std::size_t count, StampList& list, const RunControl& control)
{
    PlanWhile(list, control, [&] { return list.stamps.size() >= count; });
}

template <typename Enough>
void StampPlan::PlanWhile(StampList& list, const RunControl& control, Enough enough)
{
    std::u32string_view unit;
    while (!done_ && !enough()) {
        if (control.Cancelled())
            throw Error("", ErrorKind::Cancelled);
        const SourceReader::Token token = source_.Next(unit);
        if (token == SourceReader::Token::TextEnd) {
            done_ = true;
        } else if (token == SourceReader::Token::Unit) {
            PlanUnit(unit, list);
            // Columns hold every stamp until the plan ends: tiny characters on
            // a huge picture would take more memory than the machine has, and
            // are refused before they do.
            if (list.stamps.size() * sizeof(Stamp) + list.codePoints.size() * sizeof(char32_t) > mostStampBytes_)
                throw Error("ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources);
            done_ = !std::visit([](auto& layout) { return layout.AfterUnit(); }, layout_);
        } else {
            done_ = !std::visit([](auto& layout) { return layout.AfterLineEnd(); }, layout_);
        }
    }
}

void StampPlan::ReachFace(FaceId face)
{
    if (face >= faceReached_.size())
        faceReached_.resize(std::size_t(face) + 1, false);
    if (faceReached_[face])
        return;
    faceReached_[face] = true;
    // A stamp reaches up no farther than its text's reach from the cell's
    // corner (shaped, as in a column or in bold) and the margin of its rows,
    // or its scrap's skew. Rows above the reach may already be painted when a
    // fallback face first turns up, so the reach allows for faces with glyphs
    // and advances of up to two em as well.
    FaceMeasures measures = faces_.Measures(face);
    const double room = 2.0 * measures.unitsPerEm;
    measures.reach = std::max(measures.reach, room);
    measures.maxAdvance = std::max(measures.maxAdvance, room);
    const FontScale tallest = ScaleFor(measures, TallestCellHeight(style_.size), 0);
    upwardReach_ = std::max<std::int64_t>(upwardReach_, std::int64_t(std::ceil(ShapedReach(measures, tallest, MaxStampCodePoints))) +
                                                            std::int64_t(MaxStampCodePoints) + 8);
}

void StampPlan::PlanUnit(std::u32string_view unit, StampList& list)
{
    if (!faceResolved_) {
        // A mixed run draws from its set alone, each face with its own
        // fallbacks; all of them count for the reach from the start.
        if (faceSet_.empty())
            chain_ = faces_.ChainFor(style_.faceName);
        for (const FaceLocation& face : faceSet_)
            setChains_.push_back(faces_.ChainFor(face));
        for (const FaceChainId chain : setChains_)
            ReachFace(faces_.FaceFor(chain, {}));
        faceResolved_ = true;
    }

    const int size = style_.size;
    Stamp stamp;
    const CellPlace place = std::visit([](const auto& layout) { return layout.Place(); }, layout_);
    stamp.x = int(place.x);
    stamp.y = int(place.y);
    stamp.scheme = random_.Draw(10);
    stamp.cellHeight = StampCellHeight(size, random_.Draw(size / 2));
    stamp.tilt = random_.Draw(300) - 150;
    stamp.vertical = style_.vertical;
    FaceChainId chain = chain_;
    if (faceDraws_) {
        const FaceDraw draw = faceDraws_->Next();
        chain = setChains_[draw.face];
        stamp.bold = draw.bold;
    }
    // A control character takes its cell, its draws and its scrap like a
    // space, and draws no glyph.
    const bool drawsGlyph = !IsControlUnit(unit);
    stamp.face = faces_.FaceFor(chain, drawsGlyph ? unit : std::u32string_view());
    ReachFace(stamp.face);
    if (style_.realMode) {
        stamp.scrap = true;
        stamp.dx = random_.Draw(7) - 3;
        stamp.dy = random_.Draw(7) - 3;
    }

    const std::size_t count = drawsGlyph ? std::min(unit.size(), MaxStampCodePoints) : 0;
    stamp.firstCodePoint = std::uint32_t(list.codePoints.size());
    stamp.codePointCount = std::uint32_t(count);
    list.codePoints.append(unit.substr(0, count));

    std::int64_t top = INT64_MAX;
    std::int64_t bottom = INT64_MIN;
    if (count > 0) {
        const FaceMeasures& measures = faces_.Measures(stamp.face);
        const FontScale scale = ScaleFor(measures, stamp.cellHeight, stamp.tilt);
        if (IsShaped(stamp)) {
            // Shaped glyphs lie anywhere in the cell: bound them by the
            // farthest any can reach from the corner.
            const double reach = ShapedReach(measures, scale, count);
            top = std::int64_t(std::floor(stamp.y - reach)) - 2;
            bottom = std::int64_t(std::ceil(stamp.y + reach)) + 3;
        } else {
            scale.TextRows(measures, stamp.y, count, top, bottom);
        }
    }
    if (stamp.scrap) {
        for (const int cornerY : {stamp.y, Offset(stamp.y, stamp.cellHeight),
                                  Offset(stamp.y, std::int64_t(stamp.cellHeight) + stamp.dy), Offset(stamp.y, stamp.dy)}) {
            top = std::min<std::int64_t>(top, cornerY);
            bottom = std::max<std::int64_t>(bottom, std::int64_t(cornerY) + 1);
        }
    }
    if (top < bottom) {
        stamp.rows = {top, bottom};
        list.stamps.push_back(stamp);
    }
}

} // namespace morvaleth
