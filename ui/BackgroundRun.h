#pragma once

#include "composer/PixelPicture.h"
#include "composer/Composition.h"
#include "composer/RunControl.h"

#include <QDialog>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class QProgressBar;
class QPushButton;

namespace morvaleth {

// Makes a picture from the settings, following and obeying `control`:
// ComposePicture, or a test's stand-in.
using TComposer =
    std::function<std::unique_ptr<PixelPicture>(const CompositionSettings&, const RunControl&)>;

// The dialog a long run shows: "作成中", a bar of the rows done, and "ｷｬﾝｾﾙ";
// the button, Esc and the close box all ask the run to stop.
class TRunProgressDialog : public QDialog {
    Q_OBJECT

public:
    TRunProgressDialog(std::atomic<bool>& cancel, QWidget* owner);

    void ShowRows(std::int64_t rowsDone, std::int64_t rowsTotal);
    QProgressBar* Bar() const { return bar_; }
    QPushButton* CancelButton() const { return cancelButton_; }

    void reject() override;

private:
    std::atomic<bool>& cancel_;
    QProgressBar* bar_;
    QPushButton* cancelButton_;
};

// One run of `compose` on a thread of its own, which yields the processor to
// the window's. Ended() is emitted on the object's thread once the run has
// ended, however it ended; Take() then hands over its picture or throws its
// error. Setting `cancel` stops it with an Error of kind Cancelled. The run's
// rows done so far can be read at any time. Destroying the object stops the
// run and waits for its thread.
class TBackgroundRun : public QObject {
    Q_OBJECT

public:
    TBackgroundRun(TComposer compose, CompositionSettings settings, std::atomic<bool>& cancel,
                   QObject* parent = nullptr);
    ~TBackgroundRun() override;

    bool Finished() const { return finished_.load(); }
    std::int64_t RowsDone() const { return rowsDone_.load(std::memory_order_relaxed); }
    std::int64_t RowsTotal() const { return rowsTotal_.load(std::memory_order_relaxed); }
    const CompositionSettings& Settings() const { return settings_; }

    // Waits for the thread and hands over what the run made. A run asked to
    // stop gives an Error of kind Cancelled, even one that finished before it
    // heard.
    std::unique_ptr<PixelPicture> Take();

signals:
    void Ended();

private:
    TComposer compose_;
    CompositionSettings settings_;
    std::atomic<bool>& cancel_;
    std::atomic<std::int64_t> rowsDone_{0};
    std::atomic<std::int64_t> rowsTotal_{0};
    std::atomic<bool> finished_{false};
    std::unique_ptr<PixelPicture> picture_;
    std::exception_ptr failure_;
    std::thread thread_;
};

// How long a run goes before its progress dialog shows: about half a second,
// with room left for a busy machine to map the dialog within 0.6 s.
inline constexpr std::chrono::milliseconds ProgressDialogDelay{450};

// Runs `work` on a thread of its own and waits for it in an event loop of
// the caller's, so that `owner` keeps repainting and can be moved while it
// takes no input: the work is as modal to the user as one on this thread.
// Work that takes longer than ProgressDialogDelay shows the progress dialog.
// Throws the work's error here, after it; setting `cancel` asks the work to
// stop (it is handed `cancel` in its control), as does an event loop that
// ends early (the application quitting). The work's thread has always ended
// when this returns.
void RunInBackground(QWidget& owner, const std::function<void(const RunControl&)>& work,
                     std::atomic<bool>& cancel);

// Runs `compose` on a thread of its own and waits for it in an event loop of
// the caller's, so that `owner` keeps repainting and can be moved while it
// takes no input: the run is as modal to the user as one on this thread.
// A run that takes longer than ProgressDialogDelay shows the progress dialog.
// Returns the run's picture or throws the run's error here, after the run;
// setting `cancel` stops it with an Error of kind Cancelled, as does an
// event loop that ends early (the application quitting). The run's thread
// has always ended when this returns.
std::unique_ptr<PixelPicture> ComposeInBackground(QWidget& owner, const TComposer& compose,
                                             const CompositionSettings& settings,
                                             std::atomic<bool>& cancel);

} // namespace morvaleth
