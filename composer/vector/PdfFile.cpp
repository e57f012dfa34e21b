#include "composer/vector/PdfFile_p.h"

#include "composer/Messages.h"

#include <algorithm>
#include <cstdio>

namespace morvaleth {
namespace {

void AppendHex(std::string& out, std::uint32_t value, int digits)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += Digits[(value >> shift) & 0xF];
}

void AppendUtf16(std::string& out, std::u32string_view codePoints)
{
    for (const char32_t c : codePoints) {
        if (c < 0x10000) {
            AppendHex(out, c, 4);
        } else {
            AppendHex(out, 0xD800 + ((c - 0x10000) >> 10), 4);
            AppendHex(out, 0xDC00 + ((c - 0x10000) & 0x3FF), 4);
        }
    }
}

// A CMap's lists hold at most this many entries each.
constexpr std::size_t MostEntriesInAList = 100;

} // namespace

PdfFile::PdfFile(ByteOutput& output) : output_(output), stream_(*this, DeflateOutput::Wrapping::Zlib) {}

void PdfFile::Write(const std::uint8_t* data, std::size_t size)
{
    output_.Write(data, size);
    offset_ += size;
}

void PdfFile::WriteAt(std::uint64_t, const std::uint8_t*, std::size_t)
{
    throw Failure(Message::WriteFailed);
}

int PdfFile::Reserve()
{
    offsets_.push_back(0);
    return int(offsets_.size() - 1);
}

void PdfFile::BeginObject(int number)
{
    offsets_[std::size_t(number)] = offset_;
    Put(std::to_string(number));
    Put(" 0 obj\n");
}

void PdfFile::EndObject()
{
    Put("\nendobj\n");
}

void PdfFile::PutObject(int number, std::string_view body)
{
    BeginObject(number);
    Put(body);
    EndObject();
}

void PdfFile::BeginStream(int number, std::string_view dictionary)
{
    streamLength_ = Reserve();
    BeginObject(number);
    Put("<< /Length ");
    Put(std::to_string(streamLength_));
    Put(" 0 R /Filter /FlateDecode ");
    Put(dictionary);
    Put(">>\nstream\n");
}

void PdfFile::EndStream()
{
    const std::uint64_t length = stream_.Finish();
    Put("\nendstream");
    EndObject();
    PutObject(streamLength_, std::to_string(length));
}

void PdfFile::Finish(int root, int info)
{
    const std::uint64_t table = offset_;
    std::string text = "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
    char entry[32];
    for (std::size_t number = 1; number < offsets_.size(); ++number) {
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets_[number]));
        text += entry;
    }
    text += "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " + std::to_string(root) +
            " 0 R /Info " + std::to_string(info) + " 0 R >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n";
    Put(text);
}

std::string PdfTextString(std::u32string_view codePoints)
{
    std::string text = "<FEFF";
    AppendUtf16(text, codePoints);
    return text + ">";
}

std::string ToUnicodeMap(int codeBytes, const std::vector<CodeText>& codes)
{
    std::string map = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n1 begincodespacerange\n";
    const int digits = codeBytes * 2;
    map += "<";
    AppendHex(map, 0, digits);
    map += "> <";
    AppendHex(map, codeBytes == 1 ? 0xFF : 0xFFFF, digits);
    map += ">\nendcodespacerange\n";
    for (std::size_t first = 0; first < codes.size(); first += MostEntriesInAList) {
        const std::size_t count = std::min(MostEntriesInAList, codes.size() - first);
        map += std::to_string(count) + " beginbfchar\n";
        for (std::size_t i = first; i < first + count; ++i) {
            map += "<";
            AppendHex(map, codes[i].code, digits);
            map += "> <";
            AppendUtf16(map, codes[i].text);
            map += ">\n";
        }
        map += "endbfchar\n";
    }
    map += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return map;
}

} // namespace morvaleth
