#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvaleth {

// Receives the bytes of a file in order, in pieces of any size.
using ByteSink = std::function<void(const std::uint8_t* data, std::size_t size)>;

// The open output of a save: the temporary file that will replace the target,
// or a stream. Small writes are gathered into large ones.
class SaveOutput {
public:
    SaveOutput(const SaveOutput&) = delete;
    SaveOutput& operator=(const SaveOutput&) = delete;
    ~SaveOutput();

    // Appends the bytes after everything written so far.
    void Write(const std::uint8_t* data, std::size_t size);

    // Whether WriteAt may be used: a regular file, not a pipe, socket or
    // terminal.
    bool Seekable() const { return seekable_; }

    // Writes the bytes at a file offset, extending the file as needed; later
    // appends continue after the farthest byte written. Seekable outputs only.
    void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);

private:
    friend class SaveOutputAccess;
    SaveOutput(int descriptor, bool owned);
    void Flush();
    void WriteAll(const std::uint8_t* data, std::size_t size);
    void Finish(bool sync);

    int descriptor_;
    bool owned_;
    bool seekable_ = false;
    std::uint64_t end_ = 0;
    std::vector<std::uint8_t> buffer_;
};

// As ReplaceFile and WriteToDescriptor below, handing the open output itself
// to `produce`, for writers that place their bytes by offset.
void SaveFile(const std::string& path, const std::function<void(SaveOutput&)>& produce);
void SaveToDescriptor(int descriptor, const std::function<void(SaveOutput&)>& produce);

// Creates or replaces the file `path` with the bytes `produce` hands to its
// sink. A regular file (or a new one) is written under a temporary name in the
// same folder and renamed over the target only once it is complete, keeping
// the earlier file's permission bits; on any failure the temporary file is
// removed and an earlier file stays as it was. A symbolic link is followed:
// the file it points to is replaced, not the link. A target that exists but is
// not a regular file (a device, a FIFO) is written directly.
//
// Fails with "ﾌｧｲﾙ %s を作成できません" (the path as passed) when the file cannot
// be created, and "ｽﾄﾘｰﾑへの書き込みｴﾗｰ" when its bytes cannot all be written.
void ReplaceFile(const std::string& path, const std::function<void(const ByteSink&)>& produce);

// Writes the bytes `produce` hands to its sink to an open descriptor, such as
// standard output, failing with "ｽﾄﾘｰﾑへの書き込みｴﾗｰ". The descriptor stays open.
void WriteToDescriptor(int descriptor, const std::function<void(const ByteSink&)>& produce);

} // namespace morvaleth
