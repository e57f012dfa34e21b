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
#include <exception>
#include <limits>
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
    TInputBlock(QWidget& owner, std::atomic<bool>& cancel) : window_(owner.window()), cancel_(cancel)
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
            cancel_.store(true);
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
    std::atomic<bool>& cancel_;
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

} // namespace

TRunProgressDialog::TRunProgressDialog(std::atomic<bool>& cancel, QWidget* owner)
    : QDialog(owner), cancel_(cancel), bar_(new QProgressBar(this)),
      cancelButton_(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
{
    setObjectName(QStringLiteral("HDlgProgress"));
    setWindowTitle(QStringLiteral("作成中"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    bar_->setRange(0, 0);
    bar_->setAccessibleName(windowTitle());
    bar_->setMinimumWidth(280);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    layout->addWidget(cancelButton_, 0, Qt::AlignHCenter);
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

TBackgroundRun::TBackgroundRun(TComposer compose, CompositionSettings settings, std::atomic<bool>& cancel,
                               QObject* parent)
    : QObject(parent), compose_(std::move(compose)), settings_(std::move(settings)), cancel_(cancel)
{
    thread_ = std::thread([this] {
        YieldToTheWindow();
        RunControl control;
        control.cancel = &cancel_;
        control.progress = [this](std::int64_t done, std::int64_t total) {
            rowsTotal_.store(total, std::memory_order_relaxed);
            rowsDone_.store(done, std::memory_order_relaxed);
        };
        try {
            picture_ = compose_(settings_, control);
        } catch (...) {
            failure_ = std::current_exception();
        }
        finished_.store(true);
        // Dropped if the object is gone by the time the event would arrive.
        QMetaObject::invokeMethod(this, &TBackgroundRun::Ended, Qt::QueuedConnection);
    });
}

TBackgroundRun::~TBackgroundRun()
{
    if (thread_.joinable()) {
        cancel_.store(true);
        thread_.join();
    }
}

std::unique_ptr<PixelPicture> TBackgroundRun::Take()
{
    if (thread_.joinable())
        thread_.join();
    if (failure_)
        std::rethrow_exception(failure_);
    if (cancel_.load())
        throw Cancellation();
    return std::move(picture_);
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
    cancel_.store(true);
    cancelButton_->setEnabled(false);
}

std::unique_ptr<PixelPicture> ComposeInBackground(QWidget& owner, const TComposer& compose,
                                                  const CompositionSettings& settings, std::atomic<bool>& cancel)
{
    cancel.store(false);
    QEventLoop loop;
    const TInputBlock block(owner, cancel);
    TRunProgressDialog dialog(cancel, &owner);
    // Stops and joins the run on every way out, before the loop and the
    // dialog go.
    TBackgroundRun run(compose, settings, cancel);
    QObject::connect(&run, &TBackgroundRun::Ended, &loop, &QEventLoop::quit);

    // Laid out and given its window now, so that showing it only maps it.
    dialog.adjustSize();
    (void)dialog.winId();
    QTimer showDialog;
    showDialog.setTimerType(Qt::PreciseTimer);
    showDialog.setSingleShot(true);
    QObject::connect(&showDialog, &QTimer::timeout, &dialog, [&] {
        dialog.ShowRows(run.RowsDone(), run.RowsTotal());
        if (!cancel.load())
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
        cancel.store(true);
    // The dialog goes with this frame, whichever way the run ended.
    return run.Take();
}

void RunInBackground(QWidget& owner, const std::function<void(const RunControl&)>& work,
                     std::atomic<bool>& cancel)
{
    ComposeInBackground(
        owner,
        [&work](const CompositionSettings&, const RunControl& control) {
            work(control);
            return std::unique_ptr<PixelPicture>();
        },
        {}, cancel);
}

} // namespace morvaleth
