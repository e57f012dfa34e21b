// A composition run on arbitrary bytes drawn into a PDF and an SVG in
// memory: any characters (controls, marks, missing glyphs), any faces of a
// set, bold cuttings and columns. Besides not failing, each file must hold
// together: every object of the PDF where its cross-reference table says,
// the SVG's characters all ones XML allows, every outline written before its
// use.
//
// Input: width, height, font size, a byte of choices (bit 0 real mode, bit 1
// columns, bit 2 a mixed set with bold cuttings, bits 4 and 5 the encoding),
// then the text.

#include "FuzzSupport.h"

#include "composer/Composition.h"
#include "composer/encode/Formats.h"
#include "composer/save/ByteOutput.h"

#include <cstring>
#include <string>

namespace {

// Every entry of the cross-reference table points at "n 0 obj" for its n.
bool ObjectsWhereTheTableSays(const std::string& pdf)
{
    const std::size_t table = pdf.rfind("\nxref\n");
    if (table == std::string::npos || !pdf.ends_with("%%EOF\n") || !pdf.starts_with("%PDF-1.7\n"))
        return false;
    std::size_t count = 0;
    std::size_t at = table + 6;
    if (std::sscanf(pdf.c_str() + at, "0 %zu", &count) != 1)
        return false;
    at = pdf.find('\n', at) + 1 + 20; // the free head
    for (std::size_t object = 1; object < count; ++object, at += 20) {
        unsigned long long offset = 0;
        if (at + 20 > pdf.size() || std::sscanf(pdf.c_str() + at, "%10llu", &offset) != 1 ||
            pdf.compare(offset, std::to_string(object).size() + 7, std::to_string(object) + " 0 obj\n") != 0)
            return false;
    }
    return true;
}

bool HoldsTogether(const std::string& svg)
{
    if (!svg.ends_with("</svg>\n"))
        return false;
    for (const char c : svg)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' && c != '\r')
            return false;
    for (std::size_t use = svg.find("xlink:href=\"#"); use != std::string::npos;
         use = svg.find("xlink:href=\"#", use + 1)) {
        const std::size_t start = use + 13;
        const std::string id = svg.substr(start, svg.find('"', start) - start);
        const std::size_t defined = svg.find("<path id=\"" + id + "\"");
        if (defined == std::string::npos || defined > use)
            return false;
    }
    std::size_t opened = 0, closed = 0;
    for (std::size_t at = svg.find("<text "); at != std::string::npos; at = svg.find("<text ", at + 1))
        ++opened;
    for (std::size_t at = svg.find("</text>"); at != std::string::npos; at = svg.find("</text>", at + 1))
        ++closed;
    return opened == closed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace morvaleth;
    fuzzing::InputBytes input(data, size);
    CompositionSettings settings;
    settings.widthText = std::to_string(input.Byte() % 200);
    settings.heightText = std::to_string(input.Byte() % 200);
    settings.size = 1 + input.Byte() % 48;
    const std::uint8_t choice = input.Byte();
    settings.realMode = (choice & 1) != 0;
    settings.writing = choice & 2 ? Writing::Columns : Writing::Rows;
    if (choice & 4)
        settings.faces = {FaceMix::Listed, {"IPAGothic", "IPAPMincho", "DejaVu Serif"}, true};
    const SourceEncoding encodings[] = {SourceEncoding::Automatic, SourceEncoding::Utf8, SourceEncoding::ShiftJis,
                                        SourceEncoding::Utf16};
    settings.encoding = encodings[(choice >> 4) & 3];
    settings.seed = 20261207;
    fuzzing::MemoryFile source(input.Rest());
    settings.sourcePath = source.Path();

    for (const PictureFormat format : {PictureFormat::Pdf, PictureFormat::Svg}) {
        MemoryOutput output;
        CompositionRun(settings).Write(output, format, {});
        const std::string file(output.Bytes().begin(), output.Bytes().end());
        if (format == PictureFormat::Pdf)
            FUZZ_CHECK(ObjectsWhereTheTableSays(file), "a PDF whose objects are not where its table says");
        else
            FUZZ_CHECK(HoldsTogether(file), "an SVG that does not hold together");
    }
    return 0;
}
