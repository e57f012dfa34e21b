#include "composer/save/FileSave.h"

#include "composer/save/DescriptorPath.h"
#include "composer/Messages.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string_view>
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
constexpr std::size_t TemporaryNameLength = 17; // the prefix and six random characters
// A temporary file this much older than now was left by a save that never
// ended (power loss, SIGKILL): no save in progress leaves its file untouched
// that long.
constexpr std::time_t StaleTemporarySeconds = 24 * 60 * 60;

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Moves a descriptor of the save's own above standard input, output and
// error. With one of those closed the system hands out its number first, and
// what the program then writes there (a warning on standard error) would land
// in the picture.
int AboveStandardStreams(int descriptor)
{
    if (descriptor < 0 || descriptor > STDERR_FILENO)
        return descriptor;
    const int moved = ::fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    ::close(descriptor);
    errno = error;
    return moved;
}

// ---- Signals while a temporary file exists --------------------------------
//
// The temporary files of the saves in progress, as their folders' descriptors
// and their names in them, in fixed buffers a signal handler can read. A save
// that finds no free slot (more saves at once than slots) still works; only a
// signal would leave its file.

struct TemporarySlot {
    std::atomic<bool> claimed{false}; // taken by a save
    std::atomic<bool> used{false};    // holds a file to remove
    int folder = -1;
    char name[NAME_MAX + 1] = {};
};

constexpr int TemporarySlots = 8;
TemporarySlot temporaries[TemporarySlots];

// Whether the signal's default action ends the process. SIGKILL and SIGSTOP
// cannot be caught, and SIGXFSZ is ignored while a save goes on, so that a
// write beyond the file-size limit fails instead.
bool EndsTheProcess(int signal)
{
    switch (signal) {
    case SIGHUP:
    case SIGINT:
    case SIGQUIT:
    case SIGILL:
    case SIGTRAP:
    case SIGABRT:
    case SIGBUS:
    case SIGFPE:
    case SIGUSR1:
    case SIGSEGV:
    case SIGUSR2:
    case SIGPIPE:
    case SIGALRM:
    case SIGTERM:
    case SIGSTKFLT:
    case SIGXCPU:
    case SIGVTALRM:
    case SIGPROF:
    case SIGIO:
    case SIGPWR:
    case SIGSYS:
        return true;
    default:
        return signal >= SIGRTMIN && signal <= SIGRTMAX;
    }
}

sigset_t EndingSignals()
{
    sigset_t ending;
    sigemptyset(&ending);
    for (int signal = 1; signal < NSIG; ++signal)
        if (EndsTheProcess(signal))
            sigaddset(&ending, signal);
    return ending;
}

struct SignalState {
    std::mutex mutex;
    int savesInProgress = 0;
    struct sigaction ending[NSIG] = {};
    bool installed[NSIG] = {};
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
// status. Only async-signal-safe calls here; the files are removed relative
// to their folders' descriptors, so a folder renamed meanwhile loses them too.
extern "C" void RemoveTemporariesAndEnd(int signal)
{
    const int savedErrno = errno;
    for (TemporarySlot& slot : temporaries)
        if (slot.used.load(std::memory_order_acquire))
            ::unlinkat(slot.folder, slot.name, 0);
    errno = savedErrno;
    ::raise(signal);
}

// While one lives, every signal that would end the process removes every
// registered temporary file first, and a write beyond the file-size limit
// fails with EFBIG (a write error) instead of ending the process with
// SIGXFSZ. Signals a program already handles or ignores are left to it (the
// window ignores SIGPIPE; the sanitizers handle the faults).
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
        for (int signal = 1; signal < NSIG; ++signal) {
            state.installed[signal] = false;
            if (EndsTheProcess(signal) && ::sigaction(signal, nullptr, &state.ending[signal]) == 0 &&
                state.ending[signal].sa_handler == SIG_DFL && (state.ending[signal].sa_flags & SA_SIGINFO) == 0)
                state.installed[signal] = ::sigaction(signal, &remove, nullptr) == 0;
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
        for (int signal = 1; signal < NSIG; ++signal)
            if (state.installed[signal])
                ::sigaction(signal, &state.ending[signal], nullptr);
        ::sigaction(SIGXFSZ, &state.fileSize, nullptr);
    }

    SaveSignals(const SaveSignals&) = delete;
    SaveSignals& operator=(const SaveSignals&) = delete;
};

// The folder a save writes into, open while the save goes on: its temporary
// file is made, renamed and removed relative to it, so that a folder renamed
// or moved meanwhile takes them along and nothing is left in it. -1 as
// Descriptor() when it cannot be opened, errno telling why.
class SaveFolder {
public:
    explicit SaveFolder(const std::filesystem::path& folder)
    {
        const char* name = folder.empty() ? "." : folder.c_str();
        descriptor_ = ::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // A folder the user may write and enter but not list still takes files.
        if (descriptor_ < 0 && errno == EACCES)
            descriptor_ = ::open(name, O_PATH | O_DIRECTORY | O_CLOEXEC);
        descriptor_ = AboveStandardStreams(descriptor_);
    }
    ~SaveFolder()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    SaveFolder(const SaveFolder&) = delete;
    SaveFolder& operator=(const SaveFolder&) = delete;

    int Descriptor() const { return descriptor_; }

private:
    int descriptor_ = -1;
};

// Creates a file of a new name ".morvaleth-XXXXXX" in the folder, readable
// and writable by the user alone; its descriptor, or -1 with errno telling
// why.
int CreateUniqueFile(int folder, std::string& name)
{
    static constexpr std::string_view Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<std::uint64_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        // A name only has to be new: O_EXCL refuses any that is not.
        std::uint64_t bits = std::uint64_t(now.tv_nsec) ^ (std::uint64_t(now.tv_sec) << 30) ^
                             (std::uint64_t(::getpid()) << 40) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
        name = TemporaryPrefix;
        for (int i = 0; i < 6; ++i) {
            bits ^= bits >> 29;
            bits *= 0xBF58476D1CE4E5B9u;
            name += Letters[bits % Letters.size()];
        }
        const int descriptor =
            ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor >= 0 || errno != EEXIST)
            return AboveStandardStreams(descriptor);
    }
    errno = EEXIST;
    return -1;
}

// A temporary file in an open folder that is removed unless it was kept by
// renaming it: on an exception, and on a signal that ends the process while
// it exists.
class TemporaryFile {
public:
    // Creates a new temporary file in `folder`, which must stay open while
    // this lives; -1 as Descriptor() when that fails, errno telling why.
    explicit TemporaryFile(int folder) : folder_(folder)
    {
        // The ending signals wait while the file is made and registered, so
        // that no moment passes in which one would leave it behind.
        const sigset_t ending = EndingSignals();
        sigset_t previous;
        ::pthread_sigmask(SIG_BLOCK, &ending, &previous);
        descriptor_ = CreateUniqueFile(folder, name_);
        const int error = errno;
        if (descriptor_ >= 0) {
            for (TemporarySlot& slot : temporaries) {
                bool expected = false;
                if (!slot.used.load(std::memory_order_relaxed) &&
                    slot.claimed.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
                    slot.folder = folder;
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
            ::unlinkat(folder_, name_.c_str(), 0);
        Forget();
    }

    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Descriptor() const { return descriptor_; }

    // Renames the file to `target` in its folder, after which it is no longer
    // removed. Returns false, errno telling why, when the rename fails.
    bool RenameTo(const std::string& target)
    {
        if (::renameat(folder_, name_.c_str(), folder_, target.c_str()) != 0)
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

    int folder_;
    std::string name_;
    TemporarySlot* slot_ = nullptr;
    int descriptor_ = -1;
    bool kept_ = false;
};

// Removes temporary files of this program in the folder that belong to this
// user and were last written more than a day ago: what a save left that ended
// without a chance to clean up. A folder that cannot be listed keeps them.
void RemoveStaleTemporaries(int folder)
{
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* entries = ::fdopendir(listing);
    if (entries == nullptr) {
        ::close(listing);
        return;
    }
    const std::time_t staleBefore = std::time(nullptr) - StaleTemporarySeconds;
    while (const dirent* entry = ::readdir(entries)) {
        const std::string_view name = entry->d_name;
        if (name.size() != TemporaryNameLength || !name.starts_with(TemporaryPrefix))
            continue;
        struct stat status {};
        if (::fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) &&
            status.st_uid == ::geteuid() && status.st_mtime < staleBefore)
            ::unlinkat(folder, entry->d_name, 0);
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

// Makes a rename in the folder durable. A folder open only as a place (write
// and search permission, no read) is left to the system.
void SyncFolder(int folder, const std::string& name)
{
    if (::fsync(folder) != 0 && errno != EINVAL && errno != EROFS && errno != EBADF)
        throw WriteFailure(name, errno);
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
    const std::filesystem::path targetPath(target);
    const std::filesystem::path folderPath = targetPath.parent_path();
    const std::string folderName = folderPath.empty() ? std::string(".") : folderPath.string();
    const SaveFolder folder(folderPath);
    if (folder.Descriptor() < 0)
        throw FolderFailure(path, folderName, errno);
    RemoveStaleTemporaries(folder.Descriptor());
    TemporaryFile temporary(folder.Descriptor());
    if (temporary.Descriptor() < 0)
        throw FolderFailure(path, folderName, errno);
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
    if (!temporary.RenameTo(targetPath.filename().string()))
        throw CreateFailure(path, errno);
    SyncFolder(folder.Descriptor(), path);
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
        throw WriteFailure(name_, ESPIPE);
    Flush();
    while (size > 0) {
        const ssize_t written = ::pwrite(descriptor_, data, size, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw WriteFailure(name_, written < 0 ? errno : EIO);
        data += written;
        size -= std::size_t(written);
        offset += std::uint64_t(written);
    }
    EndAtLeast(offset);
}

void SaveOutput::WritePiecesAt(std::uint64_t offset, BytePieces pieces)
{
    if (!seekable_)
        throw WriteFailure(name_, ESPIPE);
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
            throw WriteFailure(name_, written < 0 ? errno : EIO);
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
            throw WriteFailure(name_, errno);
    }
}

void SaveOutput::StartWriteback(std::uint64_t offset, std::uint64_t size)
{
    if (!seekable_)
        throw WriteFailure(name_, ESPIPE);
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
            throw WriteFailure(name_, written < 0 ? errno : EIO);
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
        throw WriteFailure(name_, errno);
    const int descriptor = std::exchange(descriptor_, -1);
    if (owned_ && ::close(descriptor) != 0 && errno != EINTR)
        throw WriteFailure(name_, errno);
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
    const int opened = AboveStandardStreams(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (opened < 0 && errno == ENOTDIR)
        throw FolderFailure(path, std::filesystem::path(path).parent_path().string(), errno);
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

void RefuseOverwritingSource(const std::string& source, const std::string& output)
{
    struct stat read {};
    struct stat written {};
    if (!source.empty() && ::stat(source.c_str(), &read) == 0 && ::stat(output.c_str(), &written) == 0 &&
        S_ISREG(written.st_mode) && read.st_dev == written.st_dev && read.st_ino == written.st_ino)
        throw Failure(Message::OutputIsSource, {output});
}

void SaveToDescriptor(int descriptor, const std::function<void(SaveOutput&)>& produce, const std::string& name)
{
    const SaveSignals signals;
    WriteInPlace(descriptor, false, name, produce);
}

} // namespace morvaleth
