#include "composer/vector/PdfDevice.h"

#include "composer/Messages.h"
#include "composer/PhysicalSize.h"
#include "composer/faces/OpenFace.h"
#include "composer/vector/Deflate_p.h"
#include "composer/vector/PdfFile_p.h"
#include "composer/vector/PdfFont_p.h"
#include "composer/vector/VectorText_p.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace morvaleth {
namespace {

// Outlines wait in memory until this many bytes of them are ready to go
// between two parts of the page's drawing.
constexpr std::size_t PendingObjectBytes = std::size_t(1) << 20;
// The page's drawing is handed to the compressor in pieces of about this size.
constexpr std::size_t DrawingPiece = 32 * 1024;

// Decimals of a thousandth of a pixel, and of a matrix's entries.
constexpr int PixelDecimals = 3;
constexpr int MatrixDecimals = 5;


void AppendColor(std::string& out, TColor color, const char* op)
{
    for (const int channel : {RedOf(color), GreenOf(color), BlueOf(color)}) {
        AppendNumber(out, channel / 255.0, MatrixDecimals);
        out += ' ';
    }
    out += op;
    out += '\n';
}

// The four corners, each moved by `shift`, as a closed path.
void AppendPolygon(std::string& out, const std::array<TPoint, 4>& corners, double shift)
{
    for (std::size_t i = 0; i < corners.size(); ++i) {
        AppendNumber(out, corners[i].x + shift, 1);
        out += ' ';
        AppendNumber(out, corners[i].y + shift, 1);
        out += i == 0 ? " m " : " l ";
    }
    out += 'h';
}

// "a b c d e f ": the glyph's matrix from font units to picture pixels, its
// entries times `scale`, and its origin.
void AppendGlyphMatrix(std::string& out, const DeviceGlyph& glyph, double scale)
{
    for (const double entry : {glyph.xx, glyph.yx, glyph.xy, glyph.yy}) {
        AppendNumber(out, entry * scale, MatrixDecimals);
        out += ' ';
    }
    AppendNumber(out, glyph.x, PixelDecimals);
    out += ' ';
    AppendNumber(out, glyph.y, PixelDecimals);
    out += ' ';
}

class PdfPage final : public StampDevice, private PdfObjects {
public:
    PdfPage(ByteOutput& output, const OutputOptions& options) : file_(output), options_(options), library_(NewLibrary())
    {
        if (!library_)
            throw Failure(Message::OutOfResources);
    }

    void Begin(int width, int height) override
    {
        file_.Put("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
        catalog_ = file_.Reserve();
        pages_ = file_.Reserve();
        page_ = file_.Reserve();
        resources_ = file_.Reserve();
        info_ = file_.Reserve();
        const int dotsPerInch = options_.dotsPerInch > 0 ? options_.dotsPerInch : ScreenDotsPerInch;
        pageWidth_ = PointsOfPixels(width, dotsPerInch);
        pageHeight_ = PointsOfPixels(height, dotsPerInch);
        // From here on a unit is a pixel of the picture, y downwards, and
        // lines are one pixel wide.
        const double scale = PointsOfPixels(1, dotsPerInch);
        drawing_ = "q\n";
        AppendNumber(drawing_, scale, 6);
        drawing_ += " 0 0 ";
        AppendNumber(drawing_, -scale, 6);
        drawing_ += " 0 ";
        AppendNumber(drawing_, pageHeight_, 4);
        drawing_ += " cm\n1 w\n";
        BeginDrawingPart();
    }

    void Face(const DeviceFace& face) override
    {
        if (face.id >= faces_.size())
            faces_.resize(std::size_t(face.id) + 1);
        faces_[face.id] = std::make_unique<PdfFace>(library_.get(), face);
        if (faces_[face.id]->Way() == FaceWay::Outlines && options_.warning)
            options_.warning(MessageText(Message::EmbeddingForbidden, {face.family.empty() ? face.file : face.family}));
    }

    void Stamp(const DeviceStamp& stamp, GlyphOutlines& outlines) override
    {
        if (stamp.scrap) {
            SetColor(stamp.fill, fill_, "rg");
            AppendPolygon(drawing_, stamp.corners, 0);
            drawing_ += " f*\n";
            // The outline runs through the pixels' centres.
            SetColor(stamp.outline, stroke_, "RG");
            AppendPolygon(drawing_, stamp.corners, 0.5);
            drawing_ += " S\n";
        }
        if (!stamp.glyphs.empty()) {
            SetColor(stamp.character, fill_, "rg");
            PdfFace& face = *faces_[stamp.face];
            if (face.Way() == FaceWay::Outlines)
                DrawOutlines(face, stamp, outlines);
            else
                ShowText(face, stamp, outlines);
        }
        if (drawing_.size() >= DrawingPiece)
            HandOnDrawing();
    }

    void Finish() override
    {
        drawing_ += "Q\n";
        EndDrawingPart();
        PutPending();

        std::string fonts;
        for (const auto& face : faces_)
            if (face)
                face->Embed(file_, fonts);
        std::string forms;
        for (const auto& [key, drawn] : drawnOutlines_)
            forms += "/" + drawn.name + " " + std::to_string(drawn.object) + " 0 R ";
        file_.PutObject(resources_, "<< /Font << " + fonts + ">> /XObject << " + forms + ">> >>");

        std::string page = "<< /Type /Page /Parent " + std::to_string(pages_) + " 0 R /MediaBox [0 0 ";
        AppendNumber(page, pageWidth_, 4);
        page += ' ';
        AppendNumber(page, pageHeight_, 4);
        page += "] /Resources " + std::to_string(resources_) + " 0 R /Contents [";
        for (const int part : drawingParts_)
            page += std::to_string(part) + " 0 R ";
        file_.PutObject(page_, page + "] >>");
        file_.PutObject(pages_, "<< /Type /Pages /Kids [" + std::to_string(page_) + " 0 R] /Count 1 >>");
        file_.PutObject(catalog_, "<< /Type /Catalog /Pages " + std::to_string(pages_) + " 0 R >>");
        file_.PutObject(info_, "<< /Producer (Morvaleth " MORVALETH_VERSION ") >>");
        file_.Finish(catalog_, info_);
    }

private:
    // A glyph of a face that may not be embedded: its outline written once,
    // as a form, and placed by a matrix wherever it is used.
    struct DrawnOutline {
        int object = 0;
        std::string name;
    };

    int Reserve() override { return file_.Reserve(); }
    std::string NewFontName() override { return "F" + std::to_string(++fontNames_); }

    void Pend(int object, std::string_view dictionary, std::string_view body) override
    {
        deflater_.Compress(body, compressed_);
        const std::size_t start = pending_.size();
        pending_ += "<< ";
        pending_ += dictionary;
        pending_ += "/Length " + std::to_string(compressed_.size()) + " /Filter /FlateDecode >>\nstream\n";
        pending_ += compressed_;
        pending_ += "\nendstream";
        pendingObjects_.push_back({object, start, pending_.size()});
        if (pending_.size() >= PendingObjectBytes) {
            EndDrawingPart();
            PutPending();
            BeginDrawingPart();
        }
    }

    int BlankGlyph() override
    {
        if (blankGlyph_ == 0) {
            blankGlyph_ = file_.Reserve();
            Pend(blankGlyph_, {}, "500 0 0 0 0 0 d1\n");
        }
        return blankGlyph_;
    }

    void SetColor(TColor color, std::optional<TColor>& current, const char* op)
    {
        if (current == color)
            return;
        current = color;
        AppendColor(drawing_, color, op);
    }

    void DrawOutlines(const PdfFace& face, const DeviceStamp& stamp, GlyphOutlines& outlines)
    {
        for (const DeviceGlyph& glyph : stamp.glyphs) {
            const auto key = std::make_tuple(stamp.face, glyph.glyph, stamp.bold);
            auto drawn = drawnOutlines_.find(key);
            if (drawn == drawnOutlines_.end()) {
                DrawnOutline outline{file_.Reserve(), "G" + std::to_string(drawnOutlines_.size() + 1)};
                const GlyphPath& path = outlines.Outline(stamp.face, glyph.glyph, stamp.bold);
                // In thousandths of the em, as the outlines of a font.
                const double scale = 1000.0 / face.Info().unitsPerEm;
                std::string dictionary = "/Type /XObject /Subtype /Form /Matrix [0.001 0 0 0.001 0 0] /BBox [";
                AppendBox(dictionary, path, scale);
                Pend(outline.object, dictionary + "] ", OutlineOperators(path, scale));
                drawn = drawnOutlines_.emplace(key, std::move(outline)).first;
            }
            drawing_ += "q ";
            AppendGlyphMatrix(drawing_, glyph, face.Info().unitsPerEm);
            drawing_ += "cm /" + drawn->second.name + " Do Q\n";
        }
    }

    void ShowText(PdfFace& face, const DeviceStamp& stamp, GlyphOutlines& outlines)
    {
        shown_.clear();
        for (const DeviceGlyph& glyph : stamp.glyphs)
            shown_.push_back(face.Place(glyph.glyph, stamp.bold, outlines, *this));
        // A glyph alone that stands for the characters it was first seen
        // with reads through its font's map; anything else carries its
        // characters with it.
        const bool mapped = shown_.size() == 1 && shown_.front().font->MapsTo(shown_.front().code, stamp.codePoints);
        if (!mapped)
            drawing_ += "/Span << /ActualText " + PdfTextString(stamp.codePoints) + " >> BDC\n";
        drawing_ += "BT\n";
        for (std::size_t i = 0; i < shown_.size(); ++i) {
            const FontGlyph& glyph = shown_[i];
            // The font stays set from one text to the next.
            if (font_ != glyph.font) {
                font_ = glyph.font;
                drawing_ += "/" + font_->Resource() + " 1 Tf\n";
            }
            AppendGlyphMatrix(drawing_, stamp.glyphs[i], face.Info().unitsPerEm);
            drawing_ += "Tm ";
            font_->AppendCode(drawing_, glyph.code);
            drawing_ += " Tj\n";
        }
        drawing_ += "ET\n";
        if (!mapped)
            drawing_ += "EMC\n";
    }

    void HandOnDrawing()
    {
        file_.Stream().Write(reinterpret_cast<const std::uint8_t*>(drawing_.data()), drawing_.size());
        drawing_.clear();
    }

    // The page's drawing is a list of streams, one after the other: waiting
    // outlines are written between two of them.
    void BeginDrawingPart()
    {
        drawingParts_.push_back(file_.Reserve());
        file_.BeginStream(drawingParts_.back());
    }

    void EndDrawingPart()
    {
        HandOnDrawing();
        file_.EndStream();
    }

    void PutPending()
    {
        for (const PendingObject& object : pendingObjects_)
            file_.PutObject(object.number, std::string_view(pending_).substr(object.begin, object.end - object.begin));
        pending_.clear();
        pendingObjects_.clear();
    }

    struct PendingObject {
        int number;
        std::size_t begin, end;
    };

    PdfFile file_;
    OutputOptions options_;
    FtLibraryPtr library_;
    int catalog_ = 0, pages_ = 0, page_ = 0, resources_ = 0, info_ = 0;
    double pageWidth_ = 0, pageHeight_ = 0;
    std::vector<int> drawingParts_;
    std::string drawing_;
    std::optional<TColor> fill_, stroke_;
    const PdfTextFont* font_ = nullptr;
    int fontNames_ = 0;
    int blankGlyph_ = 0;
    std::vector<std::unique_ptr<PdfFace>> faces_;
    std::vector<FontGlyph> shown_;
    std::map<std::tuple<std::uint16_t, std::uint32_t, bool>, DrawnOutline> drawnOutlines_;
    std::string pending_;
    std::vector<PendingObject> pendingObjects_;
    Deflater deflater_;
    std::string compressed_;
};

} // namespace

std::unique_ptr<StampDevice> PdfDevice(ByteOutput& output, const OutputOptions& options)
{
    return std::make_unique<PdfPage>(output, options);
}

} // namespace morvaleth
