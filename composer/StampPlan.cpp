#include "composer/StampPlan.h"

#include "composer/Error.h"
#include "composer/LogFont.h"
#include "composer/Shaping.h"

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

} // namespace

bool IsShaped(const Stamp& stamp, std::u32string_view codePoints)
{
    return NeedsShaping(codePoints, stamp.vertical, stamp.bold);
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

void StampList::DropAbove(std::int64_t row)
{
    std::size_t kept = 0;
    std::uint32_t keptCodePoints = 0;
    for (const Stamp& stamp : stamps) {
        if (stamp.rows.bottom <= row)
            continue;
        Stamp moved = stamp;
        // Kept code points only ever move towards the front.
        std::copy_n(codePoints.begin() + stamp.firstCodePoint, stamp.codePointCount,
                    codePoints.begin() + keptCodePoints);
        moved.firstCodePoint = keptCodePoints;
        keptCodePoints += stamp.codePointCount;
        stamps[kept++] = moved;
    }
    stamps.resize(kept);
    codePoints.resize(keptCodePoints);
}

StampPlan::StampPlan(const PlanStyle& style, SourceReader& source, RandomSource& random, FaceTable& faces,
                     std::int64_t width, std::int64_t height)
    : style_(style),
      source_(source),
      random_(random),
      faces_(faces),
      layout_(GridLayout(style.size, width, height, LowestStampReach(style.size)))
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
    if (style_.vertical)
        return 0;
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
    std::string_view unit;
    while (!done_ && !enough()) {
        if (control.Cancelled())
            throw Error("", ErrorKind::Cancelled);
        const SourceReader::Token token = source_.Next(unit);
        if (token == SourceReader::Token::TextEnd) {
            done_ = true;
        } else if (token == SourceReader::Token::Unit) {
            PlanUnit(unit, list);
            done_ = !std::visit([](auto& layout) { return layout.AfterUnit(); }, layout_);
        } else {
            done_ = !std::visit([](auto& layout) { return layout.AfterLineEnd(); }, layout_);
        }
    }
}

void StampPlan::PlanUnit(std::string_view unit, StampList& list)
{
    if (!faceResolved_) {
        if (faceSet_.empty()) {
            face_ = faces_.Resolve(style_.faceName);
            faceSetIds_.push_back(face_);
        }
        for (const FaceLocation& location : faceSet_)
            faceSetIds_.push_back(faces_.Add(location));
        faceResolved_ = true;
        // A stamp reaches up no farther than its text's reach from the
        // cell's corner and the margin of its rows, or its scrap's skew; a
        // shaped one (bold, or of several characters) also by a cell ascent
        // and its thickening.
        for (const FaceId id : faceSetIds_) {
            const FaceMeasures& measures = faces_.Measures(id);
            const FontScale tallest = ScaleFor(measures, TallestCellHeight(style_.size), 0);
            const double reach =
                tallest.Reach(measures, MaxStampCodePoints) + tallest.ascent + double(tallest.emSize) / 64 / 24 + 1;
            upwardReach_ = std::max(upwardReach_, std::int64_t(std::ceil(reach)) + std::int64_t(MaxStampCodePoints) + 8);
        }
    }

    const int size = style_.size;
    Stamp stamp;
    const CellPlace place = std::visit([](const auto& layout) { return layout.Place(); }, layout_);
    stamp.x = int(place.x);
    stamp.y = int(place.y);
    stamp.scheme = random_.Draw(10);
    stamp.cellHeight = StampCellHeight(size, random_.Draw(size / 2));
    stamp.tilt = random_.Draw(300) - 150;
    stamp.face = face_;
    stamp.vertical = style_.vertical;
    if (faceDraws_) {
        const FaceDraw draw = faceDraws_->Next();
        stamp.face = faceSetIds_[draw.face];
        stamp.bold = draw.bold;
    }
    if (style_.realMode) {
        stamp.scrap = true;
        stamp.dx = random_.Draw(7) - 3;
        stamp.dy = random_.Draw(7) - 3;
    }

    decoder_.Decode(unit, style_.encoding, decoded_);
    const std::size_t count = std::min(decoded_.size(), MaxStampCodePoints);
    stamp.firstCodePoint = std::uint32_t(list.codePoints.size());
    stamp.codePointCount = std::uint32_t(count);
    list.codePoints.append(decoded_, 0, count);

    std::int64_t top = INT64_MAX;
    std::int64_t bottom = INT64_MIN;
    if (count > 0) {
        const FaceMeasures& measures = faces_.Measures(stamp.face);
        const FontScale scale = ScaleFor(measures, stamp.cellHeight, stamp.tilt);
        if (IsShaped(stamp, list.CodePointsOf(stamp))) {
            // Shaped glyphs lie anywhere in the cell: bound them by the
            // farthest any can reach from the corner.
            const double reach = scale.Reach(measures, count) + scale.ascent + double(scale.emSize) / 64 / 24 + 1;
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
