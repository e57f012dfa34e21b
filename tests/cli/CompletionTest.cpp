// Shell completion for morvaleth-compose, as the build writes it: bash's run
// the way bash runs it while the user presses Tab, zsh's read by zsh. Both
// against what the driver itself says and accepts.

#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include "composer/encode/Formats.h"
#include "composer/text/Encoding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

namespace morvaleth {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using ::testing::UnorderedElementsAreArray;

using Words = std::vector<std::string>;

std::string Quoted(const std::string& word)
{
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// What lines a shell command prints, and how it exits.
std::pair<std::vector<std::string>, int> Lines(const std::string& command)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {{}, -1};
    std::string out;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    const int status = ::pclose(pipe);
    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return {lines, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// What bash offers for the last of `words` (as bash splits the line: an
// option's "=" is a word of its own), in `folder`: the completion script
// sourced, the function it registers for morvaleth-compose called as bash
// calls it.
Words Offers(const Words& words, const std::string& folder = "/")
{
    TempDir scratch;
    std::string script = "source " + Quoted(MORVALETH_BASH_COMPLETION) +
                         "\n"
                         "spec=$(complete -p morvaleth-compose) || exit 3\n"
                         "function=${spec#*-F }; function=${function%% *}\n"
                         "COMP_WORDS=(";
    for (const std::string& word : words)
        script += " " + Quoted(word);
    script += " )\nCOMP_CWORD=" + std::to_string(words.size() - 1) + "\ncd " + Quoted(folder) +
              "\n\"$function\" morvaleth-compose \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
              "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    WriteFile(scratch / "complete.sh", script);
    auto [lines, status] = Lines("bash --norc --noprofile " + Quoted(scratch / "complete.sh"));
    EXPECT_EQ(status, 0) << "the completion is not registered for morvaleth-compose";
    std::erase(lines, "");
    return lines;
}

// Every option the driver's --help lists, short and long.
Words HelpOptions()
{
    const auto help = testing::RunProgram("morvaleth-compose", {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    std::set<std::string> options;
    const std::regex optionLine(R"(^ +(-[A-Za-z], )?--[a-z-]+)");
    const std::regex name(R"(--?[A-Za-z][a-z-]*)");
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch head;
        if (!std::regex_search(line, head, optionLine))
            continue;
        const std::string names = head.str();
        for (auto it = std::sregex_iterator(names.begin(), names.end(), name); it != std::sregex_iterator(); ++it)
            options.insert(it->str());
    }
    EXPECT_GE(options.size(), 27u) << help.out;
    return {options.begin(), options.end()};
}

TEST(BashCompletion, OffersEveryOptionOfTheHelpAndNoOther)
{
    EXPECT_THAT(Offers({"morvaleth-compose", "-"}), UnorderedElementsAreArray(HelpOptions()));
    EXPECT_THAT(Offers({"morvaleth-compose", "in.txt", "--ver"}), UnorderedElementsAreArray({"--verbose", "--version", "--vertical"}));
}

TEST(BashCompletion, OffersThePictureFormatsTheDriverWrites)
{
    Words formats;
    for (const PictureFormatEntry& format : PictureFormats())
        formats.emplace_back(format.name);
    ASSERT_THAT(formats, ::testing::Contains("png"));
    EXPECT_THAT(Offers({"morvaleth-compose", "--format", ""}), UnorderedElementsAreArray(formats));
    EXPECT_THAT(Offers({"morvaleth-compose", "--format", "=", ""}), UnorderedElementsAreArray(formats));
    EXPECT_THAT(Offers({"morvaleth-compose", "in.txt", "--format", "=", "pn"}), UnorderedElementsAreArray({"png"}));
    EXPECT_THAT(Offers({"morvaleth-compose", "--format", "svg"}), UnorderedElementsAreArray({"svg", "svgz"}));
}

TEST(BashCompletion, OffersTheEncodingsTheDriverAccepts)
{
    const Words offered = Offers({"morvaleth-compose", "-e", ""});
    for (const std::string& name : offered)
        EXPECT_TRUE(EncodingNamed(name)) << name;
    // Each encoding by the name the driver shows for it.
    for (const SourceEncoding encoding :
         {SourceEncoding::Automatic, SourceEncoding::ShiftJis, SourceEncoding::Utf8, SourceEncoding::Utf16,
          SourceEncoding::Utf16Le, SourceEncoding::Utf16Be, SourceEncoding::EucJp, SourceEncoding::Iso2022Jp})
        EXPECT_THAT(offered, ::testing::Contains(std::string(EncodingName(encoding))));
    EXPECT_THAT(Offers({"morvaleth-compose", "--encoding", "=", "utf-16"}),
                UnorderedElementsAreArray({"utf-16", "utf-16le", "utf-16be"}));
}

TEST(BashCompletion, OffersFilesForTheTextAndThePictureAndNothingForValues)
{
    TempDir folder;
    WriteFile(folder / "letter one.txt", "");
    std::filesystem::create_directory(folder / "letters");
    for (const Words& words : {Words{"morvaleth-compose", "let"}, Words{"morvaleth-compose", "-o", "let"},
                               Words{"morvaleth-compose", "--output", "=", "let"},
                               Words{"morvaleth-compose", "--show-encoding", "let"}})
        EXPECT_THAT(Offers(words, folder.Path()), UnorderedElementsAreArray({"letter one.txt", "letters"})) << words[1];
    for (const char* option : {"-W", "--height", "--size", "--seed", "--threads", "-f", "--faces", "--show-font"})
        EXPECT_THAT(Offers({"morvaleth-compose", option, ""}, folder.Path()), ::testing::IsEmpty()) << option;
}

TEST(ZshCompletion, IsZshWithEveryOptionOfTheHelp)
{
    if (Lines("command -v zsh").second != 0)
        GTEST_SKIP() << "no zsh";
    EXPECT_EQ(Lines("zsh -n " + Quoted(MORVALETH_ZSH_COMPLETION)).second, 0);
    const std::string script = ReadFile(MORVALETH_ZSH_COMPLETION);
    EXPECT_EQ(script.rfind("#compdef morvaleth-compose\n", 0), 0u);
    for (const std::string& option : HelpOptions()) {
        // '--vertical[', {-o+,--output=} and the like.
        const std::regex spec("['{,]" + option + "[+=,}\\[]");
        EXPECT_TRUE(std::regex_search(script, spec)) << option;
    }
    std::string formats;
    for (const PictureFormatEntry& format : PictureFormats())
        formats += (formats.empty() ? "" : " ") + std::string(format.name);
    EXPECT_NE(script.find(":format:(" + formats + ")'"), std::string::npos) << formats;
}

} // namespace
} // namespace morvaleth
