#include "composer/plan/StampPlan.h"

#include "composer/Messages.h"
#include "composer/faces/FaceName.h"
#include "composer/faces/GlyphSetting.h"
#include "composer/plan/Layout.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace morvaleth {
namespace {

std::size_t QuarterOfTheMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return SIZE_MAX;
    return std::size_t(pages) / 4 * std::size_t(pageSize);
}

// What one planned stamp takes at the least: itself and one code point.
constexpr std::size_t PlannedStampBytes = sizeof(Stamp) + sizeof(char32_t);

// The memory a list holds once it has taken one more stamp: its vectors'
// capacity, doubled when the stamp does not fit, as growing them doubles it.
std::size_t GrownBytes(const StampList& list)
{
    const auto grown = [](std::size_t size, std::size_t capacity, std::size_t more, std::size_t element) {
        return (size + more > capacity ? std::max(2 * capacity, size + more) : capacity) * element;
    };
    return grown(list.stamps.size(), list.stamps.capacity(), 1, sizeof(Stamp)) +
           grown(list.codePoints.size(), list.codePoints.capacity(), MaxStampCodePoints, sizeof(char32_t));
}

} // namespace

Error StampPlan::TooManyStamps() const
{
    return Failure(Message::TooManyColumnStamps,
                   {std::to_string(width_), std::to_string(height_), std::to_string(style_.size)});
}

double StampPlan::Progress() const
{
    if (done_)
        return 1.0;
    double passed = layout_->Passed();
    if (const std::optional<std::uint64_t> length = source_.KnownLength(); length && *length > 0)
        passed = std::max(passed, double(source_.BytesRead()) / double(*length));
    return std::min(passed, 1.0);
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
        if (stamp.bottom <= row)
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
      layout_(MakeLayout(style.writing, style.size, width, height,
                         LowestStampReach(style.size) + LookReach(style.look, style.size))),
      order_(source, *layout_),
      mostStampBytes_(style.mostStampBytes > 0 ? style.mostStampBytes : QuarterOfTheMemory()),
      width_(width),
      height_(height)
{
    style_.faceName = std::string(FaceNameThatFits(style.faceName));
    done_ = !layout_->HasRoom();
    // A layout that settles no row holds every stamp until the plan ends:
    // tiny characters on a huge picture, from a text that may be as long as
    // the picture holds, are refused before anything is read.
    if (!layout_->SettlesRows()) {
        std::uint64_t stamps = std::uint64_t(layout_->MostCells());
        if (const std::optional<std::uint64_t> length = source.KnownLength())
            stamps = std::min(stamps, *length);
        if (stamps > mostStampBytes_ / PlannedStampBytes)
            throw TooManyStamps();
    }
    if (style.faces.mix != FaceMix::One) {
        FaceSet set = ResolveFaceSet(style_.faceName, style.faces);
        faceSet_ = std::move(set.faces);
        skippedFaces_ = std::move(set.skipped);
        // Seeded before the run's first draw.
        faceDraws_.emplace(random, faceSet_.size(), style.faces.syntheticBold);
    }
    if (style.look != Look{}) {
        lookDraws_.emplace(random, style.look);
        lookReach_ = LookReach(style.look, style.size);
    }
}

StampPlan::~StampPlan() = default;

std::int64_t StampPlan::LongestReach() const
{
    return std::max(upwardReach_, LowestStampReach(style_.size) + lookReach_);
}

std::int64_t StampPlan::SettledRows() const
{
    if (done_)
        return INT64_MAX;
    // Before the first unit the face, and so the stamps' reach, is unknown.
    const std::int64_t settled = layout_->SettledRow();
    if (!faceResolved_ || settled == INT64_MIN)
        return INT64_MIN;
    return settled - upwardReach_;
}

bool StampPlan::SettlesRows() const
{
    return layout_->SettlesRows();
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
            throw Cancellation();
        const SourceReader::Token token = order_.Next(unit);
        if (token == SourceReader::Token::TextEnd) {
            done_ = true;
        } else if (token == SourceReader::Token::Unit) {
            // The list would outgrow the memory allowed (a text longer than
            // its length said, a pipe): refused before it grows.
            if (!layout_->SettlesRows() && GrownBytes(list) > mostStampBytes_)
                throw TooManyStamps();
            PlanUnit(unit, list);
            done_ = !layout_->AfterUnit();
        } else {
            done_ = !layout_->AfterLineEnd();
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
    const FontScale tallest = ScaleForCell(measures, TallestCellHeight(style_.size), 0);
    upwardReach_ = std::max<std::int64_t>(upwardReach_, std::int64_t(std::ceil(ShapedReach(measures, tallest, MaxStampCodePoints))) +
                                                            std::int64_t(MaxStampCodePoints) + 8 + lookReach_);
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

    const CellPlace place = layout_->Place();
    const StampDraws draws = DrawStamp(random_, style_.size, style_.realMode);
    Stamp stamp;
    stamp.x = int(place.x);
    stamp.y = int(place.y);
    stamp.scheme = draws.scheme;
    stamp.cellHeight = draws.cellHeight;
    stamp.tilt = draws.tilt;
    stamp.scrap = style_.realMode;
    stamp.dx = draws.dx;
    stamp.dy = draws.dy;
    stamp.flow = layout_->UnitFlow();
    FaceChainId chain = chain_;
    if (faceDraws_) {
        const FaceDraw draw = faceDraws_->Next();
        chain = setChains_[draw.face];
        stamp.bold = draw.bold;
    }
    if (lookDraws_) {
        const LookDraw draw = lookDraws_->Next();
        stamp.palette = style_.look.palette;
        stamp.pair = draw.pair;
        stamp.tear = draw.tear;
        stamp.shadow = style_.look.shadow;
    }
    // A control character takes its cell, its draws and its scrap like a
    // space, and draws no glyph.
    const bool drawsGlyph = !IsControlUnit(unit);
    stamp.face = faces_.FaceFor(chain, drawsGlyph ? unit : std::u32string_view());
    ReachFace(stamp.face);

    const std::size_t count = drawsGlyph ? std::min(unit.size(), MaxStampCodePoints) : 0;
    stamp.firstCodePoint = std::uint32_t(list.codePoints.size());
    stamp.codePointCount = std::uint32_t(count);
    list.codePoints.append(unit.substr(0, count));

    std::int64_t top = INT64_MAX;
    std::int64_t bottom = INT64_MIN;
    if (count > 0) {
        const FaceMeasures& measures = faces_.Measures(stamp.face);
        const FontScale scale = ScaleForCell(measures, stamp.cellHeight, stamp.tilt);
        if (stamp.Shaped()) {
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
        const auto reach = [&](const TPoint corner) {
            top = std::min<std::int64_t>(top, corner.y);
            bottom = std::max<std::int64_t>(bottom, std::int64_t(corner.y) + 1);
        };
        if (stamp.tear != 0)
            std::ranges::for_each(TornCorners(stamp.Corners(), stamp.cellHeight, stamp.tear), reach);
        else
            std::ranges::for_each(stamp.Corners(), reach);
    }
    // The shadow's farthest layer lies one pixel beyond its offset.
    if (stamp.shadow && top < bottom)
        bottom += ShadowOffset(stamp.cellHeight) + 1;
    if (top < bottom) {
        stamp.top = top;
        stamp.bottom = bottom;
        list.stamps.push_back(stamp);
    }
}

} // namespace morvaleth
