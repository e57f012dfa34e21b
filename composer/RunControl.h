#pragma once

#include "composer/text/Encoding.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

namespace morvaleth {

// How a caller follows and stops a composition run from another thread.
struct RunControl {
    // How far the run has come, in rows of the picture's height: the rows
    // finished so far; in a run that reads all of its text before it paints
    // (columns), the reading counts for the first half of the rows. Called
    // with 0 as the run begins, then from the run's own threads, never more
    // often than the rows advance; rowsDone never goes back.
    std::function<void(std::int64_t rowsDone, std::int64_t rowsTotal)> progress;
    // Set from anywhere to stop the run early: the run then fails with an
    // Error of kind Cancelled and leaves no picture.
    const std::atomic<bool>* cancel = nullptr;
    // Told, once the run has read its text, the encoding it was read in:
    // Automatic when every byte read was ASCII.
    std::function<void(SourceEncoding)> encodingRead;
    // Told of what the run left out and carried on without: a face of a mixed
    // set whose file could not be loaded, say. Called before anything is drawn.
    std::function<void(std::string_view message)> warning;

    bool Cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
};

} // namespace morvaleth
