#include "bench/BenchText.h"

#include "composer/Error.h"
#include "composer/text/SourceReader.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace morvaleth::bench {

std::string LongJapaneseText(int paragraphs, int unitsPerParagraph)
{
    const std::string path = std::string(MORVALETH_SOURCE_DIR) + "/examples/letter-sjis.txt";
    std::ifstream in(path, std::ios::binary);
    const std::string letter(std::istreambuf_iterator<char>(in), {});

    // The letter's character units, its line ends left out.
    std::vector<std::string> units;
    for (std::size_t i = 0; i < letter.size();) {
        if (letter[i] == '\r' || letter[i] == '\n') {
            ++i;
            continue;
        }
        const std::size_t length = IsLeadByte(std::uint8_t(letter[i])) && i + 1 < letter.size() ? 2 : 1;
        units.push_back(letter.substr(i, length));
        i += length;
    }
    if (units.empty())
        throw Error("no text in " + path);

    std::string text;
    std::size_t next = 0;
    for (int paragraph = 0; paragraph < paragraphs; ++paragraph) {
        for (int unit = 0; unit < unitsPerParagraph; ++unit) {
            text += units[next];
            next = (next + 1) % units.size();
        }
        text += "\r\n";
    }
    return text;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    out.close();
    if (!out)
        throw Error("cannot write " + path);
}

} // namespace morvaleth::bench
