// Writes a manual page from its template with the output formats and the
// encodings put in from the tables the driver and the window read them from:
// the line "@FORMATS@" becomes one tagged paragraph a format, the line
// "@ENCODINGS@" one an encoding with its other names. Run by the build.

#include "composer/encode/Formats.h"
#include "composer/text/Encoding.h"

#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " TEMPLATE PAGE\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::ofstream out(argv[2]);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "@FORMATS@") {
            for (const morvaleth::PictureFormatEntry& format : morvaleth::PictureFormats())
                out << ".TP\n.B " << format.name << "\n" << format.description << ".\n";
        } else if (line == "@ENCODINGS@") {
            for (const morvaleth::EncodingEntry& encoding : morvaleth::Encodings()) {
                out << ".TP\n.B " << encoding.name << "\n" << encoding.description;
                for (std::size_t i = 0; i < encoding.aliases.size(); ++i)
                    out << (i == 0 ? "; also " : ", ") << "\\fB" << encoding.aliases[i] << "\\fR";
                out << ".\n";
            }
        } else {
            out << line << "\n";
        }
    }
    out.close();
    return in.eof() && out ? 0 : 1;
}
