#include "composer/FileErrors.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

namespace morvaleth {
namespace {

struct ErrorMessage {
    int error;
    const char* message;
};

// A missing folder on the way is told apart from a missing file by the
// caller, which hands ENOTDIR for it.
constexpr ErrorMessage SourceFileMessages[] = {
    {ENOENT, "ﾌｧｲﾙが見つかりません"},
    {ENOTDIR, "不正なﾌｧｲﾙ名です"},
    {ENAMETOOLONG, "不正なﾌｧｲﾙ名です"},
    {EINVAL, "不正なﾌｧｲﾙ名です"},
    {ELOOP, "不正なﾌｧｲﾙ名です"},
    {EMFILE, "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます"},
    {ENFILE, "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます"},
    {EACCES, "ﾌｧｲﾙへのｱｸｾｽが拒否されました"},
    {EPERM, "ﾌｧｲﾙへのｱｸｾｽが拒否されました"},
    {EISDIR, "ﾌｧｲﾙへのｱｸｾｽが拒否されました"},
};

bool FolderMissing(const std::string& path)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        return false;
    struct stat status {};
    return ::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode);
}

} // namespace

Error SourceFileError(int error, const std::string& path)
{
    if (error == ENOENT && FolderMissing(path))
        error = ENOTDIR;
    for (const ErrorMessage& entry : SourceFileMessages)
        if (entry.error == error)
            return Error(entry.message);
    return Error("I/O ｴﾗｰ (" + std::to_string(error) + ")");
}

} // namespace morvaleth
