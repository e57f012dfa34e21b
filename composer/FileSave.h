#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace morvaleth {

// Receives the bytes of a file in order, in pieces of any size.
using ByteSink = std::function<void(const std::uint8_t* data, std::size_t size)>;

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
