#include "composer/save/FileSave.h"

#include "composer/save/DescriptorPath.h"
#include "composer/Messages.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <utility>
#include <vector>

namespace morvaleth {

constexpr std::size_t OutputBufferBytes = 1 << 20;

class SaveOutputAccess {
public:
    static SaveOutput Open(int descriptor, bool owned, std::string name)
    {
        return SaveOutput(descriptor, owned, std::move(name));
    }
    static void Finish(SaveOutput& output, bool sync) { output.Finish(sync); }
};

namespace {

constexpr const char* TemporaryPrefix = ".morvaleth-";
constexpr std::size_t TemporaryNameLength = 17; // the prefix and mkstemp's six characters
// A temporary file this much older than now was left by a save that never
// ended (power loss, SIGKILL): no save in progress leaves its file untouched
// that long.
constexpr std::time_t StaleTemporarySeconds = 24 * 60 * 60;

Error CannotWrite(const std::string& name)
{
    return Failure(Message::WriteFailed, {}, name);
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// ---- Signals while a temporary file exists --------------------------------
//
// The names of the temporary files of the saves in progress, in fixed
// buffers a signal handler can read. A save that finds no free slot (more
// saves at once than slots) still works; only a signal would leave its file.

struct TemporarySlot {
    std::atomic<bool> claimed{false}; // taken by a save
    std::atomic<bool> used{false};    // holds a name to remove
    char name[PATH_MAX] = {};
};

constexpr int TemporarySlots = 8;
TemporarySlot temporaries[TemporarySlots];

constexpr int EndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

struct SignalState {
    std::mutex mutex;
    int savesInProgress = 0;
    struct sigaction ending[std::size(EndingSignals)] = {};
    bool installed[std::size(EndingSignals)] = {};
    struct sigaction fileSize = {};
};

SignalState& Signals()
{
    static SignalState state;
    return state;
}

// Removes the temporary files and ends the process as the signal would have:
// the handler was reset to the default action on entry and the signal is not
// blocked in it, so raising it again ends the process with that signal's
// status. Only async-signal-safe calls here.
extern "C" void RemoveTemporariesAndEnd(int signal)
{
    const int savedErrno = errno;
    for (TemporarySlot& slot : temporaries)
        if (slot.used.load(std::memory_order_acquire))
            ::unlink(slot.name);
    errno = savedErrno;
    ::raise(signal);
}

// While one lives, the ending signals remove every registered temporary file
// before the process ends, and a write beyond the file-size limit fails with
// EFBIG (a write error) instead of ending the process with SIGXFSZ. Signals a
// program already handles or ignores are left to it.
class SaveSignals {
public:
    SaveSignals()
    {
        SignalState& state = Signals();
        const std::lock_guard lock(state.mutex);
        if (state.savesInProgress++ > 0)
            return;
        struct sigaction remove {};
        remove.sa_handler = &RemoveTemporariesAndEnd;
        remove.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigemptyset(&remove.sa_mask);
        for (std::size_t i = 0; i < std::size(EndingSignals); ++i) {
            state.installed[i] = false;
            if (::sigaction(EndingSignals[i], nullptr, &state.ending[i]) == 0 &&
                state.ending[i].sa_handler == SIG_DFL && (state.ending[i].sa_flags & SA_SIGINFO) == 0)
                state.installed[i] = ::sigaction(EndingSignals[i], &remove, nullptr) == 0;
        }
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, &state.fileSize);
    }

    ~SaveSignals()
    {
        SignalState& state = Signals();
        const std::lock_guard lock(state.mutex);
        if (--state.savesInProgress > 0)
            return;
        for (std::size_t i = 0; i < std::size(EndingSignals); ++i)
            if (state.installed[i])
                ::sigaction(EndingSignals[i], &state.ending[i], nullptr);
        ::sigaction(SIGXFSZ, &state.fileSize, nullptr);
    }

    SaveSignals(const SaveSignals&) = delete;
    SaveSignals& operator=(const SaveSignals&) = delete;
};

// A temporary file that is removed unless it was kept by renaming it: on an
// exception, and on a signal that ends the process while it exists.
class TemporaryFile {
public:
    // Creates a new temporary file in `folder`; -1 as Descriptor() when that
    // fails, errno telling why.
    explicit TemporaryFile(const std::filesystem::path& folder)
        : name_((folder.empty() ? std::filesystem::path(".") : folder) / "")
    {
        name_ += TemporaryPrefix;
        name_ += "XXXXXX";
        // The ending signals wait while the file is made and registered, so
        // that no moment passes in which one would leave it behind.
        sigset_t ending;
        sigset_t previous;
        sigemptyset(&ending);
        for (const int signal : EndingSignals)
            sigaddset(&ending, signal);
        ::pthread_sigmask(SIG_BLOCK, &ending, &previous);
        descriptor_ = ::mkostemp(name_.data(), O_CLOEXEC);
        const int error = errno;
        if (descriptor_ >= 0 && name_.size() < sizeof temporaries[0].name) {
            for (TemporarySlot& slot : temporaries) {
                bool expected = false;
                if (!slot.used.load(std::memory_order_relaxed) &&
                    slot.claimed.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
                    std::memcpy(slot.name, name_.c_str(), name_.size() + 1);
                    slot.used.store(true, std::memory_order_release);
                    slot_ = &slot;
                    break;
                }
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        errno = error;
    }

    ~TemporaryFile()
    {
        if (descriptor_ >= 0 && !kept_)
            ::unlink(name_.c_str());
        Forget();
    }

    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Descriptor() const { return descriptor_; }

    // Renames the file to `target`, after which it is no longer removed.
    // Returns false, errno telling why, when the rename fails.
    bool RenameTo(const std::string& target)
    {
        if (::rename(name_.c_str(), target.c_str()) != 0)
            return false;
        kept_ = true;
        Forget();
        return true;
    }

private:
    void Forget()
    {
        if (slot_ != nullptr) {
            slot_->used.store(false, std::memory_order_release);
            slot_->claimed.store(false, std::memory_order_release);
        }
        slot_ = nullptr;
    }

    std::string name_;
    TemporarySlot* slot_ = nullptr;
    int descriptor_ = -1;
    bool kept_ = false;
};

// Removes temporary files of this program in `folder` that belong to this
// user and were last written more than a day ago: what a save left that ended
// without a chance to clean up.
void RemoveStaleTemporaries(const std::filesystem::path& folder)
{
    DIR* entries = ::opendir(folder.empty() ? "." : folder.c_str());
    if (entries == nullptr)
        return;
    const std::time_t staleBefore = std::time(nullptr) - StaleTemporarySeconds;
    const int folderDescriptor = ::dirfd(entries);
    while (const dirent* entry = ::readdir(entries)) {
        const std::string_view name = entry->d_name;
        if (name.size() != TemporaryNameLength || !name.starts_with(TemporaryPrefix))
            continue;
        struct stat status {};
        if (::fstatat(folderDescriptor, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode) && status.st_uid == ::geteuid() && status.st_mtime < staleBefore)
            ::unlinkat(folderDescriptor, entry->d_name, 0);
    }
    ::closedir(entries);
}

// The path of the file an open descriptor refers to, as the kernel resolved
// it: every link on the way followed. Empty when the system cannot tell or the
// file no longer has that name.
std::string ResolvedPath(int descriptor)
{
    std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (length <= 0 || std::size_t(length) >= buffer.size() || buffer[0] != '/')
        return {};
    std::string path(buffer.data(), std::size_t(length));
    struct stat opened {};
    struct stat named {};
    if (::fstat(descriptor, &opened) != 0 || ::stat(path.c_str(), &named) != 0 || opened.st_dev != named.st_dev ||
        opened.st_ino != named.st_ino)
        return {};
    return path;
}

// Makes a rename in `folder` durable. A folder that cannot be opened for
// reading (write and search permission only) is left to the system.
void SyncFolder(const std::filesystem::path& folder, const std::string& name)
{
    const int descriptor = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    const bool synced = ::fsync(descriptor) == 0 || errno == EINVAL || errno == EROFS;
    ::close(descriptor);
    if (!synced)
        throw CannotWrite(name);
}

// Writes through an open descriptor that is not a regular file (a device, a
// FIFO, a socket or terminal behind a descriptor path) as it is.
void WriteInPlace(int descriptor, bool owned, const std::string& path,
                  const std::function<void(SaveOutput&)>& produce)
{
    SaveOutput output = SaveOutputAccess::Open(descriptor, owned, path);
    produce(output);
    SaveOutputAccess::Finish(output, false);
}

// Writes the new content under a temporary name in the folder of `target` (a
// path without links) and renames it over `target`. `existing` describes the
// file it replaces, if there is one: its owner, group and permission bits
// carry over, setuid and setgid excepted.
void WriteAndRename(const std::string& target, const struct stat* existing, const std::string& path,
                    const std::function<void(SaveOutput&)>& produce)
{
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    RemoveStaleTemporaries(folder);
    TemporaryFile temporary(folder);
    if (temporary.Descriptor() < 0)
        throw CreateFailure(path, errno);
    SaveOutput output = SaveOutputAccess::Open(temporary.Descriptor(), true, path);
    if (existing != nullptr) {
        // The owner is kept where the process may set it (root always); a
        // user who may write another user's file becomes the owner of the
        // replacement, keeping the group where the user belongs to it; a
        // group the user is not in is simply not kept.
        if (::fchown(temporary.Descriptor(), existing->st_uid, existing->st_gid) != 0)
            (void)!::fchown(temporary.Descriptor(), uid_t(-1), existing->st_gid);
    }
    const mode_t mode = existing != nullptr ? existing->st_mode & 01777 : NewFileMode();
    if (::fchmod(temporary.Descriptor(), mode) != 0)
        throw CreateFailure(path, errno);
    produce(output);
    SaveOutputAccess::Finish(output, true);
    if (!temporary.RenameTo(target))
        throw CreateFailure(path, errno);
    SyncFolder(folder, path);
}

} // namespace

SaveOutput::SaveOutput(int descriptor, bool owned, std::string name)
    : descriptor_(descriptor), owned_(owned), name_(std::move(name))
{
    struct stat status {};
    seekable_ = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                (::fcntl(descriptor, F_GETFL) & O_APPEND) == 0 && ::lseek(descriptor, 0, SEEK_CUR) == 0;
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
        throw CannotWrite(name_);
    Flush();
    while (size > 0) {
        const ssize_t written = ::pwrite(descriptor_, data, size, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw CannotWrite(name_);
        data += written;
        size -= std::size_t(written);
        offset += std::uint64_t(written);
    }
    EndAtLeast(offset);
}

void SaveOutput::WritePiecesAt(std::uint64_t offset, BytePieces pieces)
{
    if (!seekable_)
        throw CannotWrite(name_);
    Flush();
    pieces_.clear();
    for (const std::span<const std::uint8_t> piece : pieces)
        if (!piece.empty())
            pieces_.push_back({const_cast<std::uint8_t*>(piece.data()), piece.size()});
    std::size_t first = 0;
    while (first < pieces_.size()) {
        const int count = int(std::min<std::size_t>(pieces_.size() - first, IOV_MAX));
        const ssize_t written = ::pwritev(descriptor_, pieces_.data() + first, count, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw CannotWrite(name_);
        offset += std::uint64_t(written);
        // Past the pieces written whole, into the one written in part.
        std::size_t left = std::size_t(written);
        while (first < pieces_.size() && left >= pieces_[first].iov_len)
            left -= pieces_[first++].iov_len;
        if (left > 0) {
            pieces_[first].iov_base = static_cast<std::uint8_t*>(pieces_[first].iov_base) + left;
            pieces_[first].iov_len -= left;
        }
    }
    EndAtLeast(offset);
}

// Later appends continue after the farthest byte written.
void SaveOutput::EndAtLeast(std::uint64_t offset)
{
    if (offset > end_) {
        end_ = offset;
        if (::lseek(descriptor_, off_t(end_), SEEK_SET) < 0)
            throw CannotWrite(name_);
    }
}

void SaveOutput::StartWriteback(std::uint64_t offset, std::uint64_t size)
{
    if (!seekable_)
        throw CannotWrite(name_);
    // Only a hint: a file system that cannot start writeback early still
    // writes everything at the final sync, which reports any real failure.
    ::sync_file_range(descriptor_, off64_t(offset), off64_t(size), SYNC_FILE_RANGE_WRITE);
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
            throw CannotWrite(name_);
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
        throw CannotWrite(name_);
    const int descriptor = std::exchange(descriptor_, -1);
    if (owned_ && ::close(descriptor) != 0 && errno != EINTR)
        throw CannotWrite(name_);
}

void SaveFile(const std::string& path, const std::function<void(SaveOutput&)>& produce)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        throw CreateFailure(path, EINVAL);
    const SaveSignals signals;
    if (const std::optional<int> descriptor = DescriptorOfPath(path)) {
        if (::fcntl(*descriptor, F_GETFD) < 0)
            throw CreateFailure(path, errno);
        WriteInPlace(*descriptor, false, path, produce);
        return;
    }

    // Opening the target for writing, as writing in place would, lets the
    // kernel judge access exactly as for that: write permission, read-only
    // mounts, protected symbolic links in shared folders, link loops. Nothing
    // is truncated: the earlier content stays until the rename.
    const int opened = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (opened < 0 && errno != ENOENT)
        throw CreateFailure(path, errno);
    if (opened >= 0) {
        struct stat existing {};
        if (::fstat(opened, &existing) != 0 || !S_ISREG(existing.st_mode)) {
            WriteInPlace(opened, true, path, produce);
            return;
        }
        std::string target = ResolvedPath(opened);
        ::close(opened);
        // Without /proc the path itself will do when it is no link.
        struct stat named {};
        if (target.empty() && ::lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
            named.st_dev == existing.st_dev && named.st_ino == existing.st_ino)
            target = path;
        if (target.empty())
            throw CreateFailure(path, ENOENT);
        WriteAndRename(target, &existing, path, produce);
        return;
    }

    // A new file. A dangling symbolic link is followed to where it points,
    // as far as the kernel allows creating a file through it; the empty file
    // that makes is removed again when the save fails.
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        const int through = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
        if (through < 0)
            throw CreateFailure(path, errno);
        struct stat created {};
        const std::string target = ::fstat(through, &created) == 0 ? ResolvedPath(through) : std::string();
        ::close(through);
        if (target.empty())
            throw CreateFailure(path, ENOENT);
        try {
            WriteAndRename(target, &created, path, produce);
        } catch (...) {
            struct stat now {};
            if (::stat(target.c_str(), &now) == 0 && now.st_dev == created.st_dev && now.st_ino == created.st_ino &&
                now.st_size == 0)
                ::unlink(target.c_str());
            throw;
        }
        return;
    }
    if (!std::filesystem::path(path).has_filename())
        throw CreateFailure(path, EISDIR);
    WriteAndRename(path, nullptr, path, produce);
}

void SaveToDescriptor(int descriptor, const std::function<void(SaveOutput&)>& produce, const std::string& name)
{
    const SaveSignals signals;
    WriteInPlace(descriptor, false, name, produce);
}

} // namespace morvaleth
