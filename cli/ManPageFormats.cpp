// Writes a manual page from its template with the output formats put in from
// the registry that the driver and the window read them from: the line
// "@FORMATS@" becomes one tagged paragraph a format. Run by the build.

#include "composer/encode/Formats.h"

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
        if (line != "@FORMATS@") {
            out << line << "\n";
            continue;
        }
        for (const morvaleth::PictureFormatEntry& format : morvaleth::PictureFormats()) {
            out << ".TP\n.B " << format.name << "\n" << format.description << ".\n";
        }
    }
    out.close();
    return in.eof() && out ? 0 : 1;
}
