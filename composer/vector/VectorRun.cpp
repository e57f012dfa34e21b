#include "composer/vector/VectorRun.h"

#include "composer/Messages.h"
#include "composer/faces/GlyphSetting.h"
#include "composer/faces/OpenFace.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

namespace morvaleth {
namespace {

// Stamps are planned and handed on in lots this large.
constexpr std::size_t StampLot = 4096;

// Where each glyph of a stamp goes: its origin as the rasterizer takes it
// (the pixel and the pen's place in it) and the turn of its outline, scaled
// from font units.
class GlyphPlaces final : public GlyphSink {
public:
    GlyphPlaces(std::vector<DeviceGlyph>& glyphs, double pixelsPerUnit) : glyphs_(glyphs), scale_(pixelsPerUnit / 0x10000)
    {
    }

    void Glyph(const PlacedGlyph& placed) override
    {
        DeviceGlyph glyph;
        glyph.glyph = placed.glyph;
        glyph.x = placed.originX + placed.offset.x / 64.0;
        glyph.y = placed.originY - placed.offset.y / 64.0;
        // FreeType's y runs up, the picture's down.
        glyph.xx = placed.turn.xx * scale_;
        glyph.xy = placed.turn.xy * scale_;
        glyph.yx = -placed.turn.yx * scale_;
        glyph.yy = -placed.turn.yy * scale_;
        glyphs_.push_back(glyph);
    }

private:
    std::vector<DeviceGlyph>& glyphs_;
    double scale_;
};

// Every outline asked for, loaded once.
class OutlineStore final : public GlyphOutlines {
public:
    OutlineStore(FaceHandles& handles, const FaceTable& faces) : handles_(handles), faces_(faces) {}

    const GlyphPath& Outline(std::uint16_t face, std::uint32_t glyph, bool bold) override
    {
        const auto key = std::make_tuple(face, glyph, bold);
        auto known = outlines_.find(key);
        if (known == outlines_.end())
            known = outlines_.emplace(key, UnscaledOutline(handles_.Open(faces_, face), glyph, bold)).first;
        return known->second;
    }

private:
    FaceHandles& handles_;
    const FaceTable& faces_;
    std::map<std::tuple<std::uint16_t, std::uint32_t, bool>, GlyphPath> outlines_;
};

} // namespace

void TraceRun(StampPlan& plan, StampList& list, const FaceTable& faces, std::int64_t height, StampDevice& device,
              const RunControl& control)
{
    FaceHandles handles;
    OutlineStore outlines(handles, faces);
    std::vector<bool> faceHanded;
    std::vector<DeviceGlyph> glyphs;
    for (;;) {
        for (const Stamp& stamp : list.stamps) {
            if (stamp.bottom <= 0 || stamp.top >= height)
                continue;
            if (stamp.face >= faceHanded.size())
                faceHanded.resize(std::size_t(stamp.face) + 1, false);
            if (!faceHanded[stamp.face]) {
                const FaceLocation& location = faces.Location(stamp.face);
                const FaceMeasures& measures = faces.Measures(stamp.face);
                device.Face({stamp.face, location.file, location.index, location.family, measures.unitsPerEm,
                             measures.ascent, measures.descent});
                faceHanded[stamp.face] = true;
            }
            const std::u32string_view codePoints = list.CodePointsOf(stamp);
            glyphs.clear();
            if (!codePoints.empty()) {
                OpenFace& face = handles.Open(faces, stamp.face);
                const FontScale scale = ScaleForCell(face.Measures(), stamp.cellHeight, stamp.tilt);
                GlyphPlaces places(glyphs, scale.emSize / 64.0 / face.Measures().unitsPerEm);
                if (stamp.Shaped())
                    SetShaped(face, scale, stamp.x, stamp.y, codePoints, OrientationIn(stamp.flow, codePoints),
                              stamp.bold, places);
                else
                    SetCodePoints(face, scale, stamp.x, stamp.y, codePoints, places);
            }
            const ScrapColors colors = stamp.Colors();
            DeviceStamp handed;
            handed.x = stamp.x;
            handed.y = stamp.y;
            handed.cellHeight = stamp.cellHeight;
            handed.tilt = stamp.tilt;
            handed.scheme = stamp.scheme;
            handed.scrap = stamp.scrap;
            handed.corners = stamp.Corners();
            handed.outline = colors.outline;
            handed.fill = colors.fill;
            handed.character = colors.character;
            handed.face = stamp.face;
            handed.bold = stamp.bold;
            handed.codePoints = codePoints;
            handed.glyphs = glyphs;
            device.Stamp(handed, outlines);
        }
        list.stamps.clear();
        list.codePoints.clear();
        if (control.Cancelled())
            throw Cancellation();
        if (plan.Done())
            return;
        plan.PlanSome(StampLot, list, control);
    }
}

} // namespace morvaleth
