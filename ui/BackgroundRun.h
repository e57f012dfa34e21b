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

// Asks the run going on to stop. Each run gets a flag of its own (Renew),
// which its thread shares: a run left to end on its own stays asked to stop
// whatever becomes of the next run's flag. Set and its hook belong to the
// window's thread; the flag may be read anywhere.
class TCancel {
public:
    void Renew();
    // Sets the flag and tells the hook, once.
    void Set();
    bool IsSet() const { return flag_->load(); }
    const std::shared_ptr<std::atomic<bool>>& Flag() const { return flag_; }
    // Called when Set is first called for the current flag.
    void OnSet(std::function<void()> heard) { heard_ = std::move(heard); }

private:
    std::shared_ptr<std::atomic<bool>> flag_ = std::make_shared<std::atomic<bool>>(false);
    std::function<void()> heard_;
};

// What becomes of a run asked to stop that has not ended StoppedRunGrace
// later. A run inside a call that cannot hear the cancel (the font
// configuration loading, an open the system holds up, a huge picture being
// made white) would otherwise hold the window for as long as that lasts.
enum class TStopping {
    WaitForTheEnd,   // its composer holds what the caller owns (a test's stand-in)
    LeaveAfterGrace, // its composer holds nothing but its own (ComposePicture): left to end on its own, unseen
};

// How long a run asked to stop may take to end before it is left.
inline constexpr std::chrono::milliseconds StoppedRunGrace{100};

// How many runs were left to end on their own and still go on. A program
// that ends while some do ends without waiting for them.
int RunsLeftToEnd();

// The dialog a long run shows: "作成中", a bar of the share done, and "ｷｬﾝｾﾙ";
// the button, Esc and the close box all ask the run to stop. It blocks
// nothing itself: the main window's own close box stays usable.
class TRunProgressDialog : public QDialog {
    Q_OBJECT

public:
    TRunProgressDialog(TCancel& cancel, QWidget* owner);

    void ShowRows(std::int64_t rowsDone, std::int64_t rowsTotal);
    QProgressBar* Bar() const { return bar_; }
    QPushButton* CancelButton() const { return cancelButton_; }

    void reject() override;

private:
    TCancel& cancel_;
    QProgressBar* bar_;
    QPushButton* cancelButton_;
};

// One run of `compose` on a thread of its own, which yields the processor to
// the window's. Ended() is emitted on the object's thread once the run has
// ended, however it ended; Take() then hands over its picture or throws its
// error. Setting the cancel flag stops it with an Error of kind Cancelled.
// The run's rows done so far can be read at any time. Destroying the object
// stops the run and waits for its thread, or with LeaveAfterGrace waits at
// most StoppedRunGrace and leaves it.
class TBackgroundRun : public QObject {
    Q_OBJECT

public:
    TBackgroundRun(TComposer compose, CompositionSettings settings, std::shared_ptr<std::atomic<bool>> cancel,
                   TStopping stopping, QObject* parent = nullptr);
    ~TBackgroundRun() override;

    bool Finished() const;
    std::int64_t RowsDone() const;
    std::int64_t RowsTotal() const;
    // What the run composes.
    const CompositionSettings& Settings() const;

    // Waits for the thread and hands over what the run made. A run asked to
    // stop gives an Error of kind Cancelled, even one that finished before it
    // heard; with LeaveAfterGrace such a run that has not ended is left to
    // end on its own instead of waited for.
    std::unique_ptr<PixelPicture> Take();

    // Stops waiting for a run: its thread goes on alone with what it shares,
    // and ends unseen; nothing is taken from it. Only for a run whose
    // composer holds nothing but its own.
    void Leave();

signals:
    void Ended();

private:
    struct Shared;

    std::shared_ptr<Shared> shared_;
    TStopping stopping_;
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
// when this returns: the work may hold what the caller owns.
void RunInBackground(QWidget& owner, const std::function<void(const RunControl&)>& work, TCancel& cancel);

// Runs `compose` on a thread of its own and waits for it in an event loop of
// the caller's, so that `owner` keeps repainting and can be moved while it
// takes no input: the run is as modal to the user as one on this thread,
// though the owner's close box still asks it to stop. A run that takes longer
// than ProgressDialogDelay shows the progress dialog. Returns the run's
// picture or throws the run's error here, after the run; setting `cancel`
// (renewed for the run) stops it with an Error of kind Cancelled, as does an
// event loop that ends early (the application quitting). The run's thread has
// ended when this returns, or with LeaveAfterGrace it has been left to end.
std::unique_ptr<PixelPicture> ComposeInBackground(QWidget& owner, const TComposer& compose,
                                                  const CompositionSettings& settings, TCancel& cancel,
                                                  TStopping stopping);

} // namespace morvaleth
