// Loaded into a program with LD_PRELOAD, it lowers the program's limit of
// open files to the descriptors already open once the dynamic loader is done,
// so that the first file the program itself opens fails with EMFILE. The
// limit cannot be lowered that far before exec: the loader needs a
// descriptor for every library it opens. MORVALETH_SPARE_DESCRIPTORS=N
// leaves N more, so that the source opens and what comes after it fails.
// The limit is raised again at exit, before the leak checker of a sanitizer
// build, which also needs one, runs.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

namespace {

rlim_t savedLimit = RLIM_INFINITY;

void RestoreLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = savedLimit;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

__attribute__((constructor)) void LowerLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    savedLimit = limit.rlim_cur;
    std::atexit(RestoreLimit);
    const int lowestFree = ::dup(0);
    ::close(lowestFree);
    const char* spare = std::getenv("MORVALETH_SPARE_DESCRIPTORS");
    limit.rlim_cur = rlim_t(lowestFree + (spare ? std::atoi(spare) : 0));
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace
