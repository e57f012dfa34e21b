#pragma once

#include "ui/BackgroundRun.h"

#include <QTimer>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>

namespace morvaleth {

// How long the preview waits after the last change before it composes: about
// a third of a second, so that typing at any pace composes once per pause.
inline constexpr std::chrono::milliseconds LivePause{330};

// Composes the window's settings again a pause after each change, on a thread
// of its own, while the user goes on typing: one run at a time, each change
// stopping the run in progress at once. The window never waits for a run,
// except for one already stopped when Stop() is called, and with
// LeaveAfterGrace not for more than StoppedRunGrace: a stopped run that takes
// longer is left to end on its own. A run longer than ProgressDialogDelay
// shows the progress dialog beside the window without taking the focus, and
// its "ｷｬﾝｾﾙ" stops that run.
class TLivePreview : public QObject {
    Q_OBJECT

public:
    struct THooks {
        // What to compose, read when the pause ends.
        std::function<CompositionSettings()> settings;
        // A run that completed, or failed other than by being stopped.
        // The picture and the settings it was made with.
        std::function<void(std::unique_ptr<PixelPicture>, const CompositionSettings&)> show;
        std::function<void(const std::exception&)> failed;
    };

    TLivePreview(QWidget& owner, TComposer compose, TStopping stopping, THooks hooks);
    ~TLivePreview() override;

    void SetComposer(TComposer compose, TStopping stopping)
    {
        compose_ = std::move(compose);
        stopping_ = stopping;
    }

    // Something the picture depends on changed: the run in progress stops,
    // and a new one starts once nothing has changed for LivePause.
    void Changed();
    // Stops the pause and the run in progress, and waits for that run's end.
    void Stop();

    // True while a run goes on (a stopped one included, until it ends).
    bool Running() const { return run_ != nullptr; }
    // True while a pause goes on or a run is due.
    bool Waiting() const { return pause_.isActive() || due_; }
    TRunProgressDialog* ProgressDialog() const { return dialog_.get(); }

private:
    void Start();
    void Finish();
    // Leaves a stopped run that has not ended, when it may be left.
    void LeaveStoppedRun();

    QWidget& owner_;
    TComposer compose_;
    TStopping stopping_;
    THooks hooks_;
    QTimer pause_;
    QTimer showDialog_;
    QTimer refresh_;
    QTimer giveUp_;
    TCancel cancel_;
    std::unique_ptr<TBackgroundRun> run_;
    std::unique_ptr<TRunProgressDialog> dialog_;
    // The pause ended while a stopped run was still ending.
    bool due_ = false;
};

} // namespace morvaleth
