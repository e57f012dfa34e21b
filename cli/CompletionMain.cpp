// Writes morvaleth-compose's shell completion, bash or zsh, to standard
// output; the build installs what it writes.

#include "cli/Completion.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "bash") == 0) {
        std::fputs(morvaleth::cli::BashCompletion().c_str(), stdout);
    } else if (argc == 2 && std::strcmp(argv[1], "zsh") == 0) {
        std::fputs(morvaleth::cli::ZshCompletion().c_str(), stdout);
    } else {
        std::fputs("usage: morvaleth-completion bash|zsh\n", stderr);
        return 2;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
