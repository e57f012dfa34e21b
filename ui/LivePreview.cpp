#include "ui/LivePreview.h"

#include "composer/Error.h"

namespace morvaleth {

namespace {

// How often the dialog's bar catches up with the run.
constexpr std::chrono::milliseconds ProgressRefresh{40};

} // namespace

TLivePreview::TLivePreview(QWidget& owner, TComposer compose, TStopping stopping, THooks hooks)
    : owner_(owner), compose_(std::move(compose)), stopping_(stopping), hooks_(std::move(hooks))
{
    pause_.setSingleShot(true);
    pause_.setInterval(LivePause);
    connect(&pause_, &QTimer::timeout, this, [this] {
        // A stopped run still ending: the next one starts when it has, or
        // at once when it may be left.
        LeaveStoppedRun();
        if (run_ != nullptr)
            due_ = true;
        else
            Start();
    });
    giveUp_.setSingleShot(true);
    giveUp_.setTimerType(Qt::PreciseTimer);
    giveUp_.setInterval(StoppedRunGrace);
    connect(&giveUp_, &QTimer::timeout, this, [this] {
        LeaveStoppedRun();
        if (run_ == nullptr && due_) {
            due_ = false;
            Start();
        }
    });
    cancel_.OnSet([this] { giveUp_.start(); });
    showDialog_.setSingleShot(true);
    showDialog_.setTimerType(Qt::PreciseTimer);
    connect(&showDialog_, &QTimer::timeout, this, [this] {
        if (run_ == nullptr || cancel_.IsSet())
            return;
        dialog_ = std::make_unique<TRunProgressDialog>(cancel_, &owner_);
        // Beside the window, which keeps the focus and takes every key.
        dialog_->setWindowModality(Qt::NonModal);
        dialog_->setAttribute(Qt::WA_ShowWithoutActivating);
        dialog_->ShowRows(run_->RowsDone(), run_->RowsTotal());
        dialog_->show();
        refresh_.start(ProgressRefresh);
    });
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (dialog_ != nullptr && run_ != nullptr)
            dialog_->ShowRows(run_->RowsDone(), run_->RowsTotal());
    });
}

TLivePreview::~TLivePreview()
{
    Stop();
}

void TLivePreview::Changed()
{
    if (run_ != nullptr)
        cancel_.Set();
    pause_.start();
}

void TLivePreview::Stop()
{
    pause_.stop();
    giveUp_.stop();
    due_ = false;
    showDialog_.stop();
    refresh_.stop();
    dialog_.reset();
    if (run_ != nullptr) {
        cancel_.Set();
        run_.reset();
    }
}

void TLivePreview::LeaveStoppedRun()
{
    if (run_ == nullptr || stopping_ != TStopping::LeaveAfterGrace || !cancel_.IsSet() || run_->Finished())
        return;
    showDialog_.stop();
    refresh_.stop();
    dialog_.reset();
    run_->Leave();
    run_.reset();
}

void TLivePreview::Start()
{
    giveUp_.stop();
    cancel_.Renew();
    run_ = std::make_unique<TBackgroundRun>(compose_, hooks_.settings(), cancel_.Flag(), stopping_);
    connect(run_.get(), &TBackgroundRun::Ended, this, &TLivePreview::Finish);
    showDialog_.start(ProgressDialogDelay);
}

void TLivePreview::Finish()
{
    // Ended is still being emitted by the run: it goes once that is over.
    TBackgroundRun* run = run_.release();
    run->deleteLater();
    giveUp_.stop();
    showDialog_.stop();
    refresh_.stop();
    dialog_.reset();
    try {
        std::unique_ptr<PixelPicture> picture = run->Take();
        hooks_.show(std::move(picture), run->Settings());
    } catch (const Error& error) {
        if (error.Kind() != ErrorKind::Cancelled)
            hooks_.failed(error);
    } catch (const std::exception& error) {
        hooks_.failed(error);
    }
    if (due_) {
        due_ = false;
        Start();
    }
}

} // namespace morvaleth
