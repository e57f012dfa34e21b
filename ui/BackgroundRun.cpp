#include "ui/BackgroundRun.h"

#include "composer/Messages.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

namespace morvaleth {

namespace {

// How often the dialog's bar catches up with the run.
constexpr std::chrono::milliseconds ProgressRefresh{40};

// While it lives, the owner's window takes no input from the user: no keys,
// clicks, wheel turns, shortcuts or drops reach it or its controls, though it
// still repaints and the window manager still moves it. Esc on it asks the
// run to stop, as it does on the progress dialog.
class TInputBlock : public QObject {
public:
    TInputBlock(QWidget& owner, TCancel& cancel) : window_(owner.window()), cancel_(cancel)
    {
        qApp->installEventFilter(this);
    }
    ~TInputBlock() override { qApp->removeEventFilter(this); }

    TInputBlock(const TInputBlock&) = delete;
    TInputBlock& operator=(const TInputBlock&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!IsUserInput(event->type()) || !IsOwnersWindow(watched))
            return false;
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel))
            cancel_.Set();
        return true;
    }

private:
    static bool IsUserInput(QEvent::Type type)
    {
        switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
        }
    }

    bool IsOwnersWindow(QObject* watched) const
    {
        if (auto* widget = qobject_cast<QWidget*>(watched))
            return widget->window() == window_;
        // A shortcut is an object of its own, made on a widget of the window;
        // so is an action, which the window's widgets carry.
        if (auto* shortcut = qobject_cast<QShortcut*>(watched))
            if (auto* widget = qobject_cast<QWidget*>(shortcut->parent()))
                return widget->window() == window_;
        if (auto* action = qobject_cast<QAction*>(watched))
            for (QObject* carrier : action->associatedObjects())
                if (auto* widget = qobject_cast<QWidget*>(carrier); widget != nullptr && widget->window() == window_)
                    return true;
        return false;
    }

    QWidget* window_;
    TCancel& cancel_;
};

// The run's thread, and every thread it starts, yields the processor to the
// window's: on a busy machine the window still repaints at once. Linux keeps
// a niceness per thread, and new threads inherit it.
constexpr int RunNiceness = 10;

void YieldToTheWindow()
{
    // Only a hint: a run that keeps its priority is no failure.
    (void)::setpriority(PRIO_PROCESS, id_t(::gettid()), RunNiceness);
}

int ClampedToInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

std::atomic<int> runsLeft{0};

// While it lives, the cancel's hook is `heard`; it is cleared on every way
// out, before what the hook refers to goes.
class THearing {
public:
    THearing(TCancel& cancel, std::function<void()> heard) : cancel_(cancel) { cancel_.OnSet(std::move(heard)); }
    ~THearing() { cancel_.OnSet({}); }
    THearing(const THearing&) = delete;
    THearing& operator=(const THearing&) = delete;

private:
    TCancel& cancel_;
};

} // namespace

void TCancel::Renew()
{
    flag_ = std::make_shared<std::atomic<bool>>(false);
}

void TCancel::Set()
{
    if (flag_->exchange(true))
        return;
    if (heard_)
        heard_();
}

int RunsLeftToEnd()
{
    return runsLeft.load();
}

TRunProgressDialog::TRunProgressDialog(TCancel& cancel, QWidget* owner)
    : QDialog(owner), cancel_(cancel), bar_(new QProgressBar(this)),
      cancelButton_(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
{
    setObjectName(QStringLiteral("HDlgProgress"));
    setWindowTitle(QStringLiteral("作成中"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    // Modal to no window: the run's owner takes no input while it goes on,
    // but the window system's close box must still reach it, and a modal
    // dialog would hold that back.
    setWindowModality(Qt::NonModal);
    bar_->setRange(0, 0);
    bar_->setAccessibleName(windowTitle());
    bar_->setMinimumWidth(280);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    layout->addWidget(cancelButton_, 0, Qt::AlignHCenter);
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

struct TBackgroundRun::Shared {
    TComposer compose;
    CompositionSettings settings;
    std::shared_ptr<std::atomic<bool>> cancel;
    std::atomic<std::int64_t> rowsDone{0};
    std::atomic<std::int64_t> rowsTotal{0};
    std::unique_ptr<PixelPicture> picture;
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable ended;
    // Under the mutex: whether the run has ended, the object told of it
    // while one waits for it, and whether it was left to end on its own.
    bool finished = false;
    TBackgroundRun* owner = nullptr;
    bool left = false;
};

TBackgroundRun::TBackgroundRun(TComposer compose, CompositionSettings settings,
                               std::shared_ptr<std::atomic<bool>> cancel, TStopping stopping, QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()), stopping_(stopping)
{
    shared_->compose = std::move(compose);
    shared_->settings = std::move(settings);
    shared_->cancel = std::move(cancel);
    shared_->owner = this;
    // The thread holds what it shares: a run left to end on its own uses
    // nothing of this object's, or of the window's.
    thread_ = std::thread([shared = shared_] {
        YieldToTheWindow();
        RunControl control;
        control.cancel = shared->cancel.get();
        control.progress = [&run = *shared](std::int64_t done, std::int64_t total) {
            run.rowsTotal.store(total, std::memory_order_relaxed);
            run.rowsDone.store(done, std::memory_order_relaxed);
        };
        try {
            shared->picture = shared->compose(shared->settings, control);
        } catch (...) {
            shared->failure = std::current_exception();
        }
        const std::lock_guard lock(shared->mutex);
        shared->finished = true;
        shared->ended.notify_all();
        if (shared->owner != nullptr)
            QMetaObject::invokeMethod(shared->owner, &TBackgroundRun::Ended, Qt::QueuedConnection);
        if (shared->left)
            --runsLeft;
    });
}

TBackgroundRun::~TBackgroundRun()
{
    if (!thread_.joinable())
        return;
    shared_->cancel->store(true);
    if (stopping_ == TStopping::LeaveAfterGrace) {
        std::unique_lock lock(shared_->mutex);
        if (!shared_->ended.wait_for(lock, StoppedRunGrace, [&] { return shared_->finished; })) {
            lock.unlock();
            Leave();
            return;
        }
    }
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
    }
    thread_.join();
}

bool TBackgroundRun::Finished() const
{
    const std::lock_guard lock(shared_->mutex);
    return shared_->finished;
}

std::int64_t TBackgroundRun::RowsDone() const
{
    return shared_->rowsDone.load(std::memory_order_relaxed);
}

const CompositionSettings& TBackgroundRun::Settings() const
{
    return shared_->settings;
}

std::int64_t TBackgroundRun::RowsTotal() const
{
    return shared_->rowsTotal.load(std::memory_order_relaxed);
}

void TBackgroundRun::Leave()
{
    bool running = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
        running = !shared_->finished;
        if (running) {
            shared_->left = true;
            ++runsLeft;
        }
    }
    if (running)
        thread_.detach();
    else
        thread_.join();
}

std::unique_ptr<PixelPicture> TBackgroundRun::Take()
{
    if (thread_.joinable()) {
        if (stopping_ == TStopping::LeaveAfterGrace && shared_->cancel->load() && !Finished()) {
            Leave();
            throw Cancellation();
        }
        {
            const std::lock_guard lock(shared_->mutex);
            shared_->owner = nullptr;
        }
        thread_.join();
    }
    if (shared_->failure)
        std::rethrow_exception(shared_->failure);
    if (shared_->cancel->load())
        throw Cancellation();
    return std::move(shared_->picture);
}

void TRunProgressDialog::ShowRows(std::int64_t rowsDone, std::int64_t rowsTotal)
{
    // Before the run knows its rows the bar only shows that it is busy.
    if (rowsTotal <= 0)
        return;
    bar_->setRange(0, ClampedToInt(rowsTotal));
    bar_->setValue(ClampedToInt(std::min(rowsDone, rowsTotal)));
}

void TRunProgressDialog::reject()
{
    cancel_.Set();
    cancelButton_->setEnabled(false);
}

std::unique_ptr<PixelPicture> ComposeInBackground(QWidget& owner, const TComposer& compose,
                                                  const CompositionSettings& settings, TCancel& cancel,
                                                  TStopping stopping)
{
    cancel.Renew();
    QEventLoop loop;
    const TInputBlock block(owner, cancel);
    TRunProgressDialog dialog(cancel, &owner);
    // Stops and joins (or leaves) the run on every way out, before the loop
    // and the dialog go.
    TBackgroundRun run(compose, settings, cancel.Flag(), stopping);
    QObject::connect(&run, &TBackgroundRun::Ended, &loop, &QEventLoop::quit);

    // A run asked to stop that has not ended within the grace is not waited
    // for any longer, when it may be left.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    giveUp.setTimerType(Qt::PreciseTimer);
    if (stopping == TStopping::LeaveAfterGrace)
        QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    const THearing hearing(cancel, [&] {
        dialog.CancelButton()->setEnabled(false);
        giveUp.start(StoppedRunGrace);
    });

    // Laid out and given its window now, so that showing it only maps it.
    dialog.adjustSize();
    (void)dialog.winId();
    QTimer showDialog;
    showDialog.setTimerType(Qt::PreciseTimer);
    showDialog.setSingleShot(true);
    QObject::connect(&showDialog, &QTimer::timeout, &dialog, [&] {
        dialog.ShowRows(run.RowsDone(), run.RowsTotal());
        if (!cancel.IsSet())
            dialog.show();
    });
    showDialog.start(ProgressDialogDelay);
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, &dialog,
                     [&] { dialog.ShowRows(run.RowsDone(), run.RowsTotal()); });
    refresh.start(ProgressRefresh);

    if (!run.Finished())
        loop.exec();
    // An event loop that ended early (the application quitting) stops the run.
    if (!run.Finished())
        cancel.Set();
    // The dialog goes with this frame, whichever way the run ended.
    return run.Take();
}

void RunInBackground(QWidget& owner, const std::function<void(const RunControl&)>& work, TCancel& cancel)
{
    ComposeInBackground(
        owner,
        [&work](const CompositionSettings&, const RunControl& control) {
            work(control);
            return std::unique_ptr<PixelPicture>();
        },
        {}, cancel, TStopping::WaitForTheEnd);
}

} // namespace morvaleth
