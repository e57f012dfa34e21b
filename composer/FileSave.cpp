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

constexpr std::size_t OutputBufferBytes = 1 << 20;

class SaveOutputAccess {
public:
    static SaveOutput Open(int descriptor, bool owned) { return SaveOutput(descriptor, owned); }
    static void Finish(SaveOutput& output, bool sync) { output.Finish(sync); }
};

namespace {

Error CannotCreate(const std::string& path)
{
    return Error("ﾌｧｲﾙ " + path + " を作成できません");
}

Error CannotWrite()
{
    return Error("ｽﾄﾘｰﾑへの書き込みｴﾗｰ");
}

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

} // namespace

SaveOutput::SaveOutput(int descriptor, bool owned) : descriptor_(descriptor), owned_(owned)
{
    struct stat status {};
    seekable_ = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                ::lseek(descriptor, 0, SEEK_CUR) == 0;
    buffer_.reserve(OutputBufferBytes);
}

SaveOutput::~SaveOutput()
{
    if (descriptor_ >= 0 && owned_)
        ::close(descriptor_);
}

void SaveOutput::Write(const std::uint8_t* data, std::size_t size)
{
    if (buffer_.size() + size > OutputBufferBytes) {
        Flush();
        if (size >= OutputBufferBytes) {
            WriteAll(data, size);
            return;
        }
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

void SaveOutput::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    if (!seekable_)
        throw CannotWrite();
    Flush();
    while (size > 0) {
        const ssize_t written = ::pwrite(descriptor_, data, size, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw CannotWrite();
        data += written;
        size -= std::size_t(written);
        offset += std::uint64_t(written);
    }
    if (offset > end_) {
        end_ = offset;
        if (::lseek(descriptor_, off_t(end_), SEEK_SET) < 0)
            throw CannotWrite();
    }
}

void SaveOutput::Flush()
{
    WriteAll(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void SaveOutput::WriteAll(const std::uint8_t* data, std::size_t size)
{
    end_ += size;
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

// Writes what is buffered, makes it durable when asked, and closes a
// descriptor of its own.
void SaveOutput::Finish(bool sync)
{
    Flush();
    if (sync && ::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS)
        throw CannotWrite();
    const int descriptor = std::exchange(descriptor_, -1);
    if (owned_ && ::close(descriptor) != 0 && errno != EINTR)
        throw CannotWrite();
}

void SaveFile(const std::string& path, const std::function<void(SaveOutput&)>& produce)
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
        SaveOutput file = SaveOutputAccess::Open(descriptor, true);
        produce(file);
        SaveOutputAccess::Finish(file, false);
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
        SaveOutput file = SaveOutputAccess::Open(descriptor, true);
        if (::fchmod(descriptor, exists ? existing.st_mode & 07777 : NewFileMode()) != 0)
            throw CannotCreate(path);
        produce(file);
        SaveOutputAccess::Finish(file, true);
        if (::rename(temporary.c_str(), target.c_str()) != 0)
            throw CannotCreate(path);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

void SaveToDescriptor(int descriptor, const std::function<void(SaveOutput&)>& produce)
{
    SaveOutput file = SaveOutputAccess::Open(descriptor, false);
    produce(file);
    SaveOutputAccess::Finish(file, false);
}

namespace {

std::function<void(SaveOutput&)> Appending(const std::function<void(const ByteSink&)>& produce)
{
    return [&produce](SaveOutput& file) {
        produce([&file](const std::uint8_t* data, std::size_t size) { file.Write(data, size); });
    };
}

} // namespace

void ReplaceFile(const std::string& path, const std::function<void(const ByteSink&)>& produce)
{
    SaveFile(path, Appending(produce));
}

void WriteToDescriptor(int descriptor, const std::function<void(const ByteSink&)>& produce)
{
    SaveToDescriptor(descriptor, Appending(produce));
}

} // namespace morvaleth
