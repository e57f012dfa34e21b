#include "composer/vector/PdfFont_p.h"

#include "composer/Messages.h"
#include "composer/Owned.h"
#include "composer/vector/VectorText_p.h"

#include <hb-subset.h>
#include <hb.h>

#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include FT_ADVANCES_H

#include <algorithm>
#include <cmath>

namespace morvaleth {
namespace {

using HbBlobPtr = Owned<hb_blob_t, hb_blob_destroy>;
using HbFacePtr = Owned<hb_face_t, hb_face_destroy>;
using HbSubsetInputPtr = Owned<hb_subset_input_t, hb_subset_input_destroy>;

constexpr int UnitDecimals = 2;
// A Type 3 font holds as many glyphs as one byte has codes.
constexpr std::size_t Type3Codes = 256;
// Half an em, in thousandths.
constexpr double BlankWidth = 500;

bool HasTable(FT_Face face, FT_ULong tag)
{
    FT_ULong length = 0;
    return FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) == 0 && length > 0;
}

// The licence's embedding bits (OS/2 fsType) allow no outlines of it in a
// document that this writer can make: restricted licence, bitmaps only, or
// the whole face and never a subset of it. Where several of the low bits are
// set the least restrictive holds.
bool EmbeddingForbidden(FT_Face face)
{
    const FT_UShort type = FT_Get_FSType_Flags(face);
    return (type & 0x000F) == FT_FSTYPE_RESTRICTED_LICENSE_EMBEDDING ||
           (type & (FT_FSTYPE_BITMAP_EMBEDDING_ONLY | FT_FSTYPE_NO_SUBSETTING)) != 0;
}

// A name fit for /FontName: the face's PostScript name, else its family,
// with only letters, digits and a few marks kept.
std::string FontNameOf(FT_Face face, const DeviceFace& info)
{
    const char* postscript = FT_Get_Postscript_Name(face);
    const std::string source = postscript != nullptr ? postscript : info.family;
    std::string name;
    for (const char c : source)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
            name += c;
    return name.empty() ? "Face" + std::to_string(info.id) : name;
}

// Six capitals that tell this subset of the face from others: a hash of the
// glyphs it holds.
std::string SubsetTag(const std::vector<std::uint32_t>& glyphs)
{
    std::uint64_t hash = 1469598103934665603ull;
    for (const std::uint32_t glyph : glyphs)
        hash = (hash ^ glyph) * 1099511628211ull;
    std::string tag;
    for (int i = 0; i < 6; ++i, hash /= 26)
        tag += char('A' + hash % 26);
    return tag + "+";
}

void AppendHexCode(std::string& out, std::uint32_t code, int digits)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    out += '<';
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += Digits[(code >> shift) & 0xF];
    out += '>';
}

void PutStreamBytes(PdfFile& file, const std::string& bytes)
{
    file.Stream().Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string Reference(int object)
{
    return std::to_string(object) + " 0 R";
}

} // namespace

bool PdfTextFont::MapsTo(std::uint32_t code, std::u32string_view text)
{
    const auto [known, added] = texts_.emplace(code, std::u32string(text));
    return added || known->second == text;
}

std::vector<CodeText> PdfTextFont::MappedCodes() const
{
    std::vector<CodeText> codes;
    for (const auto& [code, text] : texts_)
        if (!text.empty())
            codes.push_back({code, text});
    return codes;
}

// The face itself, cut down to the glyphs the page shows: a CID font whose
// codes are the glyph ids.
class PdfFace::SubsetFont final : public PdfTextFont {
public:
    SubsetFont(std::string resource, int object) : PdfTextFont(std::move(resource), object) {}

    void AppendCode(std::string& out, std::uint32_t code) const override { AppendHexCode(out, code, 4); }

    void Use(std::uint32_t glyph)
    {
        if (glyph >= used_.size())
            used_.resize(std::size_t(glyph) + 1, false);
        used_[glyph] = true;
    }

    // The glyphs shown, in order.
    std::vector<std::uint32_t> UsedGlyphs() const
    {
        std::vector<std::uint32_t> glyphs;
        for (std::size_t glyph = 0; glyph < used_.size(); ++glyph)
            if (used_[glyph])
                glyphs.push_back(std::uint32_t(glyph));
        return glyphs;
    }

    std::vector<CodeText> Codes() const { return MappedCodes(); }

private:
    std::vector<bool> used_; // by glyph id

};

// Up to 256 glyphs of the face as outlines, thickened or not: what the page
// shows of a bold cutting, or of a face that cannot be subset.
class PdfFace::OutlineFont final : public PdfTextFont {
public:
    // Readers that cannot tell a Type 3 font's size from its matrix guess it
    // from the width of its first glyph, taking that for half an em
    // (poppler's text layer): the first code is a blank of that width, so that
    // the guess comes out right and the glyphs line up with their neighbours.
    OutlineFont(std::string resource, int object, double scale, int blank)
        : PdfTextFont(std::move(resource), object), scale_(scale)
    {
        glyphs_.push_back({blank, BlankWidth});
    }

    void AppendCode(std::string& out, std::uint32_t code) const override { AppendHexCode(out, code, 2); }

    bool Full() const { return glyphs_.size() == Type3Codes; }

    std::uint32_t Add(int procedure, double width, const GlyphPath& path)
    {
        glyphs_.push_back({procedure, width});
        for (const GlyphPath::Point& p : path.points) {
            box_[0] = std::min(box_[0], p.x * scale_);
            box_[1] = std::min(box_[1], p.y * scale_);
            box_[2] = std::max(box_[2], p.x * scale_);
            box_[3] = std::max(box_[3], p.y * scale_);
        }
        return std::uint32_t(glyphs_.size() - 1);
    }

    void Embed(PdfFile& file)
    {
        const int toUnicode = file.Reserve();
        file.BeginStream(toUnicode);
        PutStreamBytes(file, ToUnicodeMap(1, MappedCodes()));
        file.EndStream();

        std::string font = "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /FontBBox [";
        for (std::size_t i = 0; i < 4; ++i) {
            AppendNumber(font, box_[0] <= box_[2] ? box_[i] : 0, UnitDecimals);
            font += i < 3 ? " " : "";
        }
        font += "] /Resources << >> /CharProcs <<";
        for (std::size_t code = 0; code < glyphs_.size(); ++code)
            font += " /g" + std::to_string(code) + " " + Reference(glyphs_[code].procedure);
        font += " >> /Encoding << /Type /Encoding /Differences [0";
        for (std::size_t code = 0; code < glyphs_.size(); ++code)
            font += " /g" + std::to_string(code);
        font += "] >> /FirstChar 0 /LastChar " + std::to_string(glyphs_.size() - 1) + " /Widths [";
        for (const Glyph& glyph : glyphs_) {
            AppendNumber(font, glyph.width, UnitDecimals);
            font += ' ';
        }
        font += "] /ToUnicode " + Reference(toUnicode) + " >>";
        file.PutObject(object_, font);
    }

private:
    struct Glyph {
        int procedure;
        double width;
    };
    // From font units to the font's thousandths of the em.
    double scale_;
    std::vector<Glyph> glyphs_;
    double box_[4] = {1e9, 1e9, -1e9, -1e9};
};

PdfFace::PdfFace(FT_Library library, const DeviceFace& face) : face_(face)
{
    FT_Face opened = nullptr;
    if (FT_New_Face(library, face.file.c_str(), face.index, &opened) != 0)
        throw Failure(Message::CannotOpenFont, {face.family.empty() ? face.file : face.family});
    ft_.reset(opened);
    // A variable face's instance is drawn from its outlines: the subset
    // would hold its default instance.
    if (EmbeddingForbidden(opened)) {
        way_ = FaceWay::Outlines;
    } else if (FT_HAS_MULTIPLE_MASTERS(opened)) {
        way_ = FaceWay::Type3;
    } else if (FT_IS_SFNT(opened) && HasTable(opened, TTAG_glyf) && HasTable(opened, TTAG_loca)) {
        way_ = FaceWay::Subset;
    } else if (FT_IS_SFNT(opened) && HasTable(opened, TTAG_CFF)) {
        way_ = FaceWay::Subset;
        cff_ = true;
    }
}

PdfFace::~PdfFace() = default;

double PdfFace::ThousandthsPerUnit() const
{
    return 1000.0 / face_.unitsPerEm;
}

double PdfFace::Advance(std::uint32_t glyph) const
{
    FT_Fixed advance = 0;
    if (FT_Get_Advance(ft_.get(), glyph, FT_LOAD_NO_SCALE, &advance) != 0)
        return 0;
    return double(advance);
}

FontGlyph PdfFace::Place(std::uint32_t glyph, bool bold, GlyphOutlines& outlines, PdfObjects& objects)
{
    if (way_ == FaceWay::Subset && !bold) {
        if (!subset_)
            subset_ = std::make_unique<SubsetFont>(objects.NewFontName(), objects.Reserve());
        subset_->Use(glyph);
        return {subset_.get(), glyph};
    }
    const auto key = std::make_pair(glyph, bold);
    auto known = outlineGlyphs_.find(key);
    if (known != outlineGlyphs_.end())
        return known->second;
    if (outlineFonts_.empty() || outlineFonts_.back()->Full())
        outlineFonts_.push_back(std::make_unique<OutlineFont>(objects.NewFontName(), objects.Reserve(),
                                                              ThousandthsPerUnit(), objects.BlankGlyph()));
    OutlineFont& font = *outlineFonts_.back();
    const GlyphPath& path = outlines.Outline(face_.id, glyph, bold);
    const double width = Advance(glyph) * ThousandthsPerUnit();
    // An uncoloured glyph: it takes the colour the text is shown in.
    std::string procedure;
    AppendNumber(procedure, width, UnitDecimals);
    procedure += " 0 ";
    AppendBox(procedure, path, ThousandthsPerUnit());
    procedure += " d1\n" + OutlineOperators(path, ThousandthsPerUnit());
    const int object = objects.Reserve();
    objects.Pend(object, {}, procedure);
    const FontGlyph placed{&font, font.Add(object, width, path)};
    outlineGlyphs_.emplace(key, placed);
    return placed;
}

void PdfFace::Embed(PdfFile& file, std::string& resources)
{
    for (const auto& font : outlineFonts_) {
        font->Embed(file);
        resources += "/" + font->Resource() + " " + Reference(font->Object()) + " ";
    }
    if (!subset_)
        return;
    const std::vector<std::uint32_t> glyphs = subset_->UsedGlyphs();
    const std::string family = face_.family.empty() ? face_.file : face_.family;

    // HarfBuzz's subsetter keeps the glyph ids, so that the codes the page
    // shows (the ids) need no map, and leaves out the hinting: the raster
    // draws unhinted outlines, and readers should too.
    HbBlobPtr blob(hb_blob_create_from_file_or_fail(face_.file.c_str()));
    if (!blob)
        throw Failure(Message::CannotOpenFont, {family});
    HbFacePtr whole(hb_face_create(blob.get(), unsigned(face_.index)));
    HbSubsetInputPtr input(hb_subset_input_create_or_fail());
    if (!input)
        throw Failure(Message::OutOfResources);
    hb_set_t* keep = hb_subset_input_glyph_set(input.get());
    hb_set_add(keep, 0);
    for (const std::uint32_t glyph : glyphs)
        hb_set_add(keep, glyph);
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING);
    // Glyph ids are shown as they are: the layout tables are of no use.
    hb_set_t* drop = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const char* tag : {"GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern", "morx", "vhea", "vmtx", "VORG"})
        hb_set_add(drop, hb_tag_from_string(tag, 4));
    HbFacePtr subset(hb_subset_or_fail(whole.get(), input.get()));
    if (!subset)
        throw Failure(Message::CannotOpenFont, {family});
    HbBlobPtr bytes(hb_face_reference_blob(subset.get()));
    unsigned length = 0;
    const char* data = hb_blob_get_data(bytes.get(), &length);
    if (length == 0)
        throw Failure(Message::CannotOpenFont, {family});

    const std::string name = SubsetTag(glyphs) + FontNameOf(ft_.get(), face_);
    const int program = file.Reserve();
    file.BeginStream(program, cff_ ? std::string("/Subtype /OpenType ") : "/Length1 " + std::to_string(length) + " ");
    file.Stream().Write(reinterpret_cast<const std::uint8_t*>(data), length);
    file.EndStream();

    const double toThousandths = ThousandthsPerUnit();
    const FT_Face ft = ft_.get();
    const int descriptor = file.Reserve();
    std::string text = "<< /Type /FontDescriptor /FontName /" + name + " /Flags 4 /FontBBox [";
    for (const FT_Pos edge : {ft->bbox.xMin, ft->bbox.yMin, ft->bbox.xMax, ft->bbox.yMax}) {
        AppendNumber(text, edge * toThousandths, 0);
        text += ' ';
    }
    text += "] /ItalicAngle 0 /Ascent ";
    AppendNumber(text, face_.ascent * toThousandths, 0);
    text += " /Descent ";
    AppendNumber(text, -face_.descent * toThousandths, 0);
    text += " /CapHeight ";
    AppendNumber(text, face_.ascent * toThousandths, 0);
    text += " /StemV 80 " + std::string(cff_ ? "/FontFile3 " : "/FontFile2 ") + Reference(program) + " >>";
    file.PutObject(descriptor, text);

    const int descendant = file.Reserve();
    text = "<< /Type /Font /Subtype /" + std::string(cff_ ? "CIDFontType0" : "CIDFontType2") + " /BaseFont /" + name +
           " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
           Reference(descriptor) + " /DW 1000 /W [";
    for (const std::uint32_t glyph : glyphs) {
        text += std::to_string(glyph) + " [";
        AppendNumber(text, Advance(glyph) * toThousandths, 1);
        text += "] ";
    }
    text += "]";
    if (!cff_)
        text += " /CIDToGIDMap /Identity";
    file.PutObject(descendant, text + " >>");

    const int toUnicode = file.Reserve();
    file.BeginStream(toUnicode);
    PutStreamBytes(file, ToUnicodeMap(2, subset_->Codes()));
    file.EndStream();

    file.PutObject(subset_->Object(), "<< /Type /Font /Subtype /Type0 /BaseFont /" + name +
                                          " /Encoding /Identity-H /DescendantFonts [" + Reference(descendant) +
                                          "] /ToUnicode " + Reference(toUnicode) + " >>");
    resources += "/" + subset_->Resource() + " " + Reference(subset_->Object()) + " ";
}

std::string OutlineOperators(const GlyphPath& path, double scale)
{
    std::string out;
    const auto point = [&](const GlyphPath::Point& p) {
        AppendNumber(out, p.x * scale, UnitDecimals);
        out += ' ';
        AppendNumber(out, p.y * scale, UnitDecimals);
        out += ' ';
    };
    std::size_t next = 0;
    GlyphPath::Point current{};
    bool open = false;
    for (const GlyphPath::Verb verb : path.verbs) {
        switch (verb) {
        case GlyphPath::Verb::Move:
            if (open)
                out += "h\n";
            current = path.points[next++];
            point(current);
            out += "m\n";
            open = true;
            break;
        case GlyphPath::Verb::Line:
            current = path.points[next++];
            point(current);
            out += "l\n";
            break;
        case GlyphPath::Verb::Quadratic: {
            // The cubic curve through the same points: its controls two
            // thirds of the way from each end to the quadratic's control.
            const GlyphPath::Point control = path.points[next];
            const GlyphPath::Point end = path.points[next + 1];
            next += 2;
            point({current.x + 2.0 / 3 * (control.x - current.x), current.y + 2.0 / 3 * (control.y - current.y)});
            point({end.x + 2.0 / 3 * (control.x - end.x), end.y + 2.0 / 3 * (control.y - end.y)});
            point(end);
            out += "c\n";
            current = end;
            break;
        }
        case GlyphPath::Verb::Cubic:
            point(path.points[next]);
            point(path.points[next + 1]);
            point(path.points[next + 2]);
            current = path.points[next + 2];
            next += 3;
            out += "c\n";
            break;
        }
    }
    if (open)
        out += "h\nf\n";
    return out;
}

void AppendBox(std::string& out, const GlyphPath& path, double scale)
{
    double box[4] = {0, 0, 0, 0};
    if (!path.points.empty()) {
        box[0] = box[2] = path.points.front().x;
        box[1] = box[3] = path.points.front().y;
    }
    for (const GlyphPath::Point& p : path.points) {
        box[0] = std::min(box[0], p.x);
        box[1] = std::min(box[1], p.y);
        box[2] = std::max(box[2], p.x);
        box[3] = std::max(box[3], p.y);
    }
    for (int i = 0; i < 4; ++i) {
        AppendNumber(out, box[i] * scale, UnitDecimals);
        if (i < 3)
            out += ' ';
    }
}

} // namespace morvaleth
