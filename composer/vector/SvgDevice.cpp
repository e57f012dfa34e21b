#include "composer/vector/SvgDevice.h"

#include "composer/PhysicalSize.h"
#include "composer/vector/Deflate_p.h"
#include "composer/vector/VectorText_p.h"

#include <array>
#include <set>
#include <string>
#include <tuple>

namespace morvaleth {
namespace {

// The file is handed to its output in pieces of about this size.
constexpr std::size_t WritePiece = 64 * 1024;

constexpr int UnitDecimals = 2;
constexpr int PixelDecimals = 3;
constexpr int MatrixDecimals = 7;
constexpr double MillimetresPerInch = 25.4;

void AppendColor(std::string& out, TColor color)
{
    static constexpr char Digits[] = "0123456789abcdef";
    out += '#';
    for (const int channel : {RedOf(color), GreenOf(color), BlueOf(color)}) {
        out += Digits[channel >> 4];
        out += Digits[channel & 0xF];
    }
}

// UTF-8 text as XML character data or an attribute's value: the markup
// characters escaped, control characters XML cannot hold left out.
void AppendXmlText(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
}

// The same for code points, leaving out those XML cannot hold at all.
void AppendXmlText(std::string& out, std::u32string_view text)
{
    std::u32string kept;
    for (const char32_t c : text)
        if ((c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF) || c == 0x9 || c == 0xA ||
            c == 0xD)
            kept += c;
    AppendXmlText(out, Utf8Of(kept));
}

void AppendPoints(std::string& out, const std::array<TPoint, 4>& corners, double shift)
{
    for (std::size_t i = 0; i < corners.size(); ++i) {
        AppendNumber(out, corners[i].x + shift, 1);
        out += ',';
        AppendNumber(out, corners[i].y + shift, 1);
        if (i + 1 < corners.size())
            out += ' ';
    }
}

void AppendPathData(std::string& out, const GlyphPath& path)
{
    std::size_t next = 0;
    const auto point = [&] {
        const GlyphPath::Point& p = path.points[next++];
        AppendNumber(out, p.x, UnitDecimals);
        out += ' ';
        AppendNumber(out, p.y, UnitDecimals);
    };
    bool open = false;
    for (const GlyphPath::Verb verb : path.verbs) {
        switch (verb) {
        case GlyphPath::Verb::Move:
            out += open ? "ZM" : "M";
            open = true;
            point();
            break;
        case GlyphPath::Verb::Line:
            out += 'L';
            point();
            break;
        case GlyphPath::Verb::Quadratic:
            out += 'Q';
            point();
            out += ' ';
            point();
            break;
        case GlyphPath::Verb::Cubic:
            out += 'C';
            point();
            out += ' ';
            point();
            out += ' ';
            point();
            break;
        }
    }
    if (open)
        out += 'Z';
}

void AppendMatrix(std::string& out, double a, double b, double c, double d, double e, double f)
{
    out += "matrix(";
    for (const double entry : {a, b, c, d}) {
        AppendNumber(out, entry, MatrixDecimals);
        out += ' ';
    }
    AppendNumber(out, e, PixelDecimals);
    out += ' ';
    AppendNumber(out, f, PixelDecimals);
    out += ')';
}

class SvgPicture final : public StampDevice {
public:
    SvgPicture(ByteOutput& output, const OutputOptions& options, bool compressed) : options_(options)
    {
        if (compressed) {
            gzip_ = std::make_unique<DeflateOutput>(output, DeflateOutput::Wrapping::Gzip);
            output_ = gzip_.get();
        } else {
            output_ = &output;
        }
    }

    void Begin(int width, int height) override
    {
        out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
               "version=\"1.1\" width=\"";
        // A resolution gives the picture its size on paper; without one
        // the size is in pixels, which a reader takes at 96 to the inch.
        if (options_.dotsPerInch > 0) {
            AppendNumber(out_, width * MillimetresPerInch / options_.dotsPerInch, 3);
            out_ += "mm\" height=\"";
            AppendNumber(out_, height * MillimetresPerInch / options_.dotsPerInch, 3);
            out_ += "mm";
        } else {
            out_ += std::to_string(width) + "\" height=\"" + std::to_string(height);
        }
        out_ += "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) + "\">\n";
        out_ += "<rect width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) +
                "\" fill=\"#ffffff\"/>\n";
    }

    void Face(const DeviceFace& face) override
    {
        if (face.id >= faces_.size())
            faces_.resize(std::size_t(face.id) + 1);
        faces_[face.id] = face;
    }

    void Stamp(const DeviceStamp& stamp, GlyphOutlines& outlines) override
    {
        if (stamp.scrap) {
            out_ += "<polygon points=\"";
            AppendPoints(out_, stamp.corners, 0);
            out_ += "\" fill=\"";
            AppendColor(out_, stamp.fill);
            out_ += "\" fill-rule=\"evenodd\"/>\n<polygon points=\"";
            // The outline runs through the pixels' centres, one pixel wide.
            AppendPoints(out_, stamp.corners, 0.5);
            out_ += "\" fill=\"none\" stroke=\"";
            AppendColor(out_, stamp.outline);
            out_ += "\"/>\n";
        }
        if (!stamp.glyphs.empty()) {
            for (const DeviceGlyph& glyph : stamp.glyphs) {
                const std::string id = OutlineId(stamp, glyph.glyph);
                if (written_.insert(std::make_tuple(stamp.face, glyph.glyph, stamp.bold)).second) {
                    out_ += "<defs><path id=\"" + id + "\" d=\"";
                    AppendPathData(out_, outlines.Outline(stamp.face, glyph.glyph, stamp.bold));
                    out_ += "\"/></defs>\n";
                }
                out_ += "<use xlink:href=\"#" + id + "\" transform=\"";
                AppendMatrix(out_, glyph.xx, glyph.yx, glyph.xy, glyph.yy, glyph.x, glyph.y);
                out_ += "\" fill=\"";
                AppendColor(out_, stamp.character);
                out_ += "\"/>\n";
            }
            AppendText(stamp);
        }
        if (out_.size() >= WritePiece)
            HandOn();
    }

    void Finish() override
    {
        out_ += "</svg>\n";
        HandOn();
        if (gzip_)
            gzip_->Finish();
    }

private:
    static std::string OutlineId(const DeviceStamp& stamp, std::uint32_t glyph)
    {
        return "g" + std::to_string(stamp.face) + "-" + std::to_string(glyph) + (stamp.bold ? "b" : "");
    }

    // The characters over the first glyph, in its face at its size and turn:
    // one text unit a font unit, y turned downwards as text runs.
    void AppendText(const DeviceStamp& stamp)
    {
        const DeviceGlyph& glyph = stamp.glyphs.front();
        const DeviceFace& face = faces_[stamp.face];
        out_ += "<text transform=\"";
        AppendMatrix(out_, glyph.xx, glyph.yx, -glyph.xy, -glyph.yy, glyph.x, glyph.y);
        out_ += "\" font-family=\"";
        AppendXmlText(out_, std::string_view(face.family));
        out_ += "\" font-size=\"" + std::to_string(face.unitsPerEm) + "\" fill-opacity=\"0\">";
        AppendXmlText(out_, stamp.codePoints);
        out_ += "</text>\n";
    }

    void HandOn()
    {
        output_->Write(reinterpret_cast<const std::uint8_t*>(out_.data()), out_.size());
        out_.clear();
    }

    OutputOptions options_;
    std::unique_ptr<DeflateOutput> gzip_;
    ByteOutput* output_ = nullptr;
    std::string out_;
    std::vector<DeviceFace> faces_;
    std::set<std::tuple<std::uint16_t, std::uint32_t, bool>> written_;
};

} // namespace

std::unique_ptr<StampDevice> SvgDevice(ByteOutput& output, const OutputOptions& options)
{
    return std::make_unique<SvgPicture>(output, options, false);
}

std::unique_ptr<StampDevice> CompressedSvgDevice(ByteOutput& output, const OutputOptions& options)
{
    return std::make_unique<SvgPicture>(output, options, true);
}

} // namespace morvaleth
