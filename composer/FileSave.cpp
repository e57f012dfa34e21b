#include "composer/FileSave.h"

#include "composer/Error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

namespace morvaleth {
namespace {

Error CannotCreate(const std::string& path)
{
    return Error("ﾌｧｲﾙ " + path + " を作成できません");
}

Error CannotWrite()
{
    return Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
}

// An open output file that gathers small writes into large ones.
class OutputFile {
public:
    explicit OutputFile(int descriptor, bool owned = true) : descriptor_(descriptor), owned_(owned)
    {
        buffer_.reserve(Capacity);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile()
    {
        if (descriptor_ >= 0 && owned_)
            ::close(descriptor_);
    }

    void Write(const std::uint8_t* data, std::size_t size)
    {
        if (buffer_.size() + size > Capacity) {
            Flush();
            if (size >= Capacity) {
                WriteAll(data, size);
                return;
            }
        }
        buffer_.insert(buffer_.end(), data, data + size);
    }

    // Writes what is buffered, makes it durable when asked, and closes a
    // descriptor of its own.
    void Finish(bool sync)
    {
        Flush();
        if (sync && ::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS)
            throw CannotWrite();
        const int descriptor = std::exchange(descriptor_, -1);
        if (owned_ && ::close(descriptor) != 0 && errno != EINTR)
            throw CannotWrite();
    }

private:
    static constexpr std::size_t Capacity = 1 << 20;

    void Flush()
    {
        WriteAll(buffer_.data(), buffer_.size());
        buffer_.clear();
    }

    void WriteAll(const std::uint8_t* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t written = ::write(descriptor_, data, size);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                throw CannotWrite();
            data += written;
            size -= std::size_t(written);
        }
    }

    int descriptor_;
    bool owned_;
    std::vector<std::uint8_t> buffer_;
};

// The file a chain of symbolic links ends at (the path itself when it is not
// a link, or when the chain is too long to follow).
std::filesystem::path FollowLinks(std::filesystem::path path)
{
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)))
            return path;
        std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error)
            return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void Produce(OutputFile& file, const std::function<void(const ByteSink&)>& produce)
{
    produce([&file](const std::uint8_t* data, std::size_t size) { file.Write(data, size); });
}

} // namespace

void ReplaceFile(const std::string& path, const std::function<void(const ByteSink&)>& produce)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        throw CannotCreate(path);
    const std::filesystem::path target = FollowLinks(path);

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        const int descriptor = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        if (descriptor < 0)
            throw CannotCreate(path);
        OutputFile file(descriptor);
        Produce(file, produce);
        file.Finish(false);
        return;
    }

    if (!target.has_filename())
        throw CannotCreate(path);
    std::string temporary =
        (target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path()) / ".morvaleth-XXXXXX";
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0)
        throw CannotCreate(path);
    try {
        OutputFile file(descriptor);
        if (::fchmod(descriptor, exists ? existing.st_mode & 07777 : NewFileMode()) != 0)
            throw CannotCreate(path);
        Produce(file, produce);
        file.Finish(true);
        if (::rename(temporary.c_str(), target.c_str()) != 0)
            throw CannotCreate(path);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

void WriteToDescriptor(int descriptor, const std::function<void(const ByteSink&)>& produce)
{
    OutputFile file(descriptor, false);
    Produce(file, produce);
    file.Finish(false);
}

} // namespace morvaleth
