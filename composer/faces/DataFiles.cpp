#include "composer/faces/DataFiles.h"

#include <filesystem>
#include <system_error>

namespace morvaleth {

std::string FindDataFile(std::string_view name)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);

    fs::path candidates[] = {
        error ? fs::path() : program.parent_path() / ".." / "share" / "morvaleth",
        fs::path(MORVALETH_BUILD_DATADIR),
        fs::path(MORVALETH_INSTALL_DATADIR),
    };
    for (const fs::path& folder : candidates) {
        if (folder.empty())
            continue;
        fs::path file = folder / name;
        if (fs::is_regular_file(file, error))
            return file.lexically_normal().string();
    }
    return {};
}

} // namespace morvaleth
