#include "cli/Completion.h"

#include "cli/DriverOptions.h"

#include <vector>

namespace morvaleth::cli {

namespace {

std::string Joined(const std::vector<std::string>& words)
{
    std::string joined;
    for (const std::string& word : words)
        joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

// The option's spellings in a shell pattern: "-o|--output".
std::string Spellings(const DriverOption& entry)
{
    std::string spellings = "--" + std::string(entry.longName);
    if (entry.HasShortName())
        spellings = std::string("-") + char(entry.id) + "|" + spellings;
    return spellings;
}

std::string Spellings(ValueKind kind)
{
    std::string spellings;
    for (const DriverOption& entry : DriverOptions())
        if (entry.value == kind) {
            if (!spellings.empty())
                spellings += '|';
            spellings += Spellings(entry);
        }
    return spellings;
}

// Text inside a single-quoted shell word.
std::string SingleQuoted(std::string_view text)
{
    std::string quoted;
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted;
}

// An option's description in a spec of zsh's _arguments: its help on one
// line, with the characters _arguments reads escaped.
std::string Description(const DriverOption& entry)
{
    std::string description;
    for (const char c : entry.help) {
        if (c == '[' || c == ']' || c == ':' || c == '\\')
            description += '\\';
        description += c == '\n' ? ' ' : c;
    }
    return description;
}

} // namespace

std::string BashCompletion()
{
    std::vector<std::string> names;
    for (const DriverOption& entry : DriverOptions()) {
        names.push_back("--" + std::string(entry.longName));
        if (entry.HasShortName())
            names.push_back(std::string("-") + char(entry.id));
    }
    return "# bash completion for morvaleth-compose, made from its option table\n"
           "_morvaleth_compose()\n"
           "{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    # --option=value comes as three words: --option, = and value.\n"
           "    if [[ $cur == = ]]; then\n"
           "        cur=\n"
           "    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
           "        prev=${COMP_WORDS[COMP_CWORD-2]}\n"
           "    fi\n"
           "    local IFS=$'\\n'\n"
           "    case $prev in\n"
           "    " + Spellings(ValueKind::File) + ")\n"
           "        compopt -o filenames 2>/dev/null\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "        return ;;\n"
           "    " + Spellings(ValueKind::Format) + ")\n"
           "        COMPREPLY=($(IFS=' ' compgen -W '" + Joined(FormatValues()) + "' -- \"$cur\"))\n"
           "        return ;;\n"
           "    " + Spellings(ValueKind::Encoding) + ")\n"
           "        COMPREPLY=($(IFS=' ' compgen -W '" + Joined(EncodingValues()) + "' -- \"$cur\"))\n"
           "        return ;;\n"
           "    " + Spellings(ValueKind::Other) + ")\n"
           "        COMPREPLY=()\n"
           "        return ;;\n"
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(IFS=' ' compgen -W '" + Joined(names) + "' -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    compopt -o filenames 2>/dev/null\n"
           "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "}\n"
           "complete -F _morvaleth_compose morvaleth-compose\n";
}

std::string ZshCompletion()
{
    std::string specs;
    for (const DriverOption& entry : DriverOptions()) {
        const std::string longForm = "--" + std::string(entry.longName);
        const bool takesValue = entry.value != ValueKind::None;
        // '(-o --output)'{-o+,--output=}'[...]:file:_files', or
        // '--format=[...]:format:(bmp png)' for a long form alone.
        std::string spec;
        if (entry.HasShortName()) {
            const std::string shortForm = std::string("-") + char(entry.id);
            spec = "'(" + shortForm + " " + longForm + ")'{" + shortForm + (takesValue ? "+" : "") + "," + longForm +
                   (takesValue ? "=" : "") + "}'";
        } else {
            spec = "'" + longForm + (takesValue ? "=" : "");
        }
        spec.append("[").append(SingleQuoted(Description(entry))).append("]");
        switch (entry.value) {
        case ValueKind::None:
            break;
        case ValueKind::File:
            spec += ":file:_files";
            break;
        case ValueKind::Format:
            spec.append(":format:(").append(Joined(FormatValues())).append(")");
            break;
        case ValueKind::Encoding:
            spec.append(":encoding:(").append(Joined(EncodingValues())).append(")");
            break;
        case ValueKind::Other:
            spec.append(":").append(SingleQuoted(entry.valueName)).append(": ");
            break;
        }
        specs += "    " + spec + "' \\\n";
    }
    return "#compdef morvaleth-compose\n"
           "# zsh completion for morvaleth-compose, made from its option table\n"
           "_arguments -s -S \\\n" +
           specs + "    '1:text file:_files'\n";
}

} // namespace morvaleth::cli
