#pragma once

#include "composer/save/ByteOutput.h"

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvaleth {

// The open output of a save: the temporary file that will replace the target,
// or a stream. Small writes are gathered into large ones.
class SaveOutput final : public ByteOutput {
public:
    SaveOutput(const SaveOutput&) = delete;
    SaveOutput& operator=(const SaveOutput&) = delete;
    ~SaveOutput() override;

    void Write(const std::uint8_t* data, std::size_t size) override;
    bool Seekable() const override { return seekable_; }
    void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    void WritePiecesAt(std::uint64_t offset, BytePieces pieces) override;
    void StartWriteback(std::uint64_t offset, std::uint64_t size) override;

private:
    friend class SaveOutputAccess;
    SaveOutput(int descriptor, bool owned, std::string name);
    void Flush();
    void EndAtLeast(std::uint64_t offset);
    void WriteAll(const std::uint8_t* data, std::size_t size);
    void Finish(bool sync);

    int descriptor_;
    bool owned_;
    bool seekable_ = false;
    std::uint64_t end_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::vector<struct iovec> pieces_; // the gathered pieces of a write
    std::string name_; // the file a write error names
};

// Creates or replaces the file `path` with the bytes `produce` writes to the
// output it is handed, so that the file holds either its earlier content or the whole new
// one, whatever happens:
//
// - A regular file (or a new one) is written under a temporary name in its
//   folder, made durable, and renamed over the target only once complete; the
//   folder is then made durable too. The folder is held open for the save:
//   a folder renamed meanwhile takes the temporary file along, and the save
//   ends in it. On any failure the temporary file is removed and an earlier
//   file stays as it was; so it is when any signal whose default action ends
//   the process ends it meanwhile (unless the program handles or ignores that
//   signal itself), and a write beyond the file-size limit fails instead of
//   ending the process. Temporary files of this user that a save left in that
//   folder more than a day ago (one killed outright) go at the next save
//   there. No descriptor of the save's own is ever 0, 1 or 2, even with
//   standard streams closed.
// - An existing target is first opened for writing, without truncating it, so
//   that the kernel judges access as for writing in place (permissions,
//   read-only mounts, protected symbolic links, link loops). Links are
//   followed as the kernel follows them: the file a link points to is
//   replaced, not the link. The replacement keeps the earlier file's
//   permission bits, setuid and setgid excepted, and its owner and group
//   where the process may set them (root always); otherwise it belongs to the
//   user who saved, in the earlier group where that user belongs to it.
// - A target that is not a regular file (a device, a FIFO), and a path that
//   stands for an open descriptor (/dev/stdout, /dev/stderr, /dev/fd/N,
//   /proc/self/fd/N), is written as it is: from its offset, appending where it
//   was opened for appending, as a stream into a pipe or socket.
//
// Fails with "ﾌｧｲﾙ %s を作成できません" (the path as passed) when the file cannot
// be created, a message naming the loop for a symbolic-link loop, and
// "ｽﾄﾘｰﾑへの書き込みｴﾗｰ" (naming the path as the error's file) when its bytes
// cannot all be written; each with the system's reason (a full disk, a
// read-only mount, a missing folder, a folder that cannot be written).
void SaveFile(const std::string& path, const std::function<void(SaveOutput&)>& produce);

// Fails with "ﾌｧｲﾙ %s は元になるﾃｷｽﾄﾌｧｲﾙなので上書きできません" (naming `output` as
// given) when saving to `output` would write into the file `source`, under
// its own name or any other: a relative or roundabout spelling, a symbolic or
// hard link, a descriptor path open on it. Only an existing regular file can
// be the same; a path that names nothing yet is no source.
void RefuseOverwritingSource(const std::string& source, const std::string& output);

// Writes what `produce` writes to an open descriptor, such as standard
// output, failing with "ｽﾄﾘｰﾑへの書き込みｴﾗｰ" (naming `name`). The descriptor
// stays open.
void SaveToDescriptor(int descriptor, const std::function<void(SaveOutput&)>& produce,
                      const std::string& name = {});

} // namespace morvaleth
