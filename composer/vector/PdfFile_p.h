#pragma once

#include "composer/save/ByteOutput.h"
#include "composer/vector/Deflate_p.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvaleth {

// A PDF file written front to back: numbered objects put down in any order,
// each at the offset the cross-reference table will give for it. Objects
// are numbered from 1 as they are reserved; every reserved number must be
// written before the table is.
class PdfFile final : public ByteOutput {
public:
    explicit PdfFile(ByteOutput& output);

    // Appends bytes; counted for the offsets.
    void Write(const std::uint8_t* data, std::size_t size) override;
    bool Seekable() const override { return false; }
    // Fails with "ｽﾄﾘｰﾑへの書き込みｴﾗｰ": the file is only appended to.
    void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    void Put(std::string_view text) { Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); }

    int Reserve();
    // "n 0 obj"; the object's dictionary or value follows, then EndObject.
    void BeginObject(int number);
    void EndObject();
    // A whole object already put together, stream and all.
    void PutObject(int number, std::string_view body);

    // A stream object whose bytes come compressed through Stream(), its
    // length an object of its own written after it; `dictionary` holds any
    // entries besides /Length and /Filter.
    void BeginStream(int number, std::string_view dictionary = {});
    DeflateOutput& Stream() { return stream_; }
    void EndStream();

    // The cross-reference table and the trailer; the file is complete.
    void Finish(int root, int info);

private:
    ByteOutput& output_;
    std::uint64_t offset_ = 0;
    std::vector<std::uint64_t> offsets_{0}; // by object number; 0 is the free head
    DeflateOutput stream_;
    int streamLength_ = 0;
};

// "<FEFF...>": the code points as a PDF text string in UTF-16BE.
std::string PdfTextString(std::u32string_view codePoints);

// The ToUnicode map of a font whose codes are `codeBytes` bytes long: each
// code with the characters it shows.
struct CodeText {
    std::uint32_t code;
    std::u32string text;
};
std::string ToUnicodeMap(int codeBytes, const std::vector<CodeText>& codes);

} // namespace morvaleth
