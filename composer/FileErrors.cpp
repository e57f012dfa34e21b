#include "composer/FileErrors.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

namespace morvaleth {
namespace {

struct ErrorMessage {
    int error;
    const char* message;
    ErrorKind kind;
};

// A missing folder on the way is told apart from a missing file by the
// caller, which hands ENOTDIR for it.
constexpr ErrorMessage SourceFileMessages[] = {
    {ENOENT, "ﾌｧｲﾙが見つかりません", ErrorKind::NotFound},
    {ENOTDIR, "不正なﾌｧｲﾙ名です", ErrorKind::NotFound},
    {ENAMETOOLONG, "不正なﾌｧｲﾙ名です", ErrorKind::NotFound},
    {EINVAL, "不正なﾌｧｲﾙ名です", ErrorKind::NotFound},
    {ELOOP, "不正なﾌｧｲﾙ名です", ErrorKind::NotFound},
    {EMFILE, "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます", ErrorKind::Resources},
    {ENFILE, "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます", ErrorKind::Resources},
    {ENOMEM, "ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources},
    {EACCES, "ﾌｧｲﾙへのｱｸｾｽが拒否されました", ErrorKind::Access},
    {EPERM, "ﾌｧｲﾙへのｱｸｾｽが拒否されました", ErrorKind::Access},
    {EISDIR, "ﾌｧｲﾙではなくﾌｫﾙﾀﾞです", ErrorKind::Usage},
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
            return Error(entry.message, entry.kind, path);
    return Error("I/O ｴﾗｰ (" + std::to_string(error) + ")", ErrorKind::Other, path);
}

} // namespace morvaleth
