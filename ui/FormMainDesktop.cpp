// The window's desktop comforts: drag and drop, the wheel over the preview,
// and the clipboard.

#include "ui/FormMain.h"
#include "ui/PreviewImage.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWheelEvent>

#include <cstdlib>

namespace morvaleth {

namespace {

// The local file a drag carries, or nothing: only a single local file is a
// source text.
QString DraggedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

// One notch of a mouse wheel, in eighths of a degree.
constexpr int WheelNotch = 120;

} // namespace

void THFormMain::ChooseSourceFile(const QString& path)
{
    // The file dialog starts from the file chosen last, however it was chosen.
    lastOpenName_ = path;
    HEditPath->setText(path);
}

void THFormMain::WheelPreview(QPoint angleDelta, Qt::KeyboardModifiers modifiers, QPoint at)
{
    if (modifiers & Qt::ControlModifier) {
        zoomWheelRemainder_ += angleDelta.y();
        const int notches = zoomWheelRemainder_ / WheelNotch;
        zoomWheelRemainder_ -= notches * WheelNotch;
        // Away from the user zooms in, one step a notch.
        for (int notch = 0; notch < std::abs(notches); ++notch)
            notches > 0 ? ZoomIn(at) : ZoomOut(at);
        return;
    }
    // Shift turns the wheel across; so does a wheel or pad that only moves
    // sideways.
    const bool across = (modifiers & Qt::ShiftModifier) || (angleDelta.y() == 0 && angleDelta.x() != 0);
    TScrollBar* bar = across ? HScrH : HScrV;
    int& remainder = across ? wheelRemainder_.rx() : wheelRemainder_.ry();
    remainder += angleDelta.y() != 0 ? angleDelta.y() : angleDelta.x();
    const int notches = remainder / WheelNotch;
    remainder -= notches * WheelNotch;
    // Turning the wheel away from the user scrolls back, toward the top.
    bar->ScrollLines(-notches * QApplication::wheelScrollLines());
}

void THFormMain::CopyPicture()
{
    if (WorkBitmap == nullptr || !WorkBitmap->HasPixels())
        return;
    QApplication::clipboard()->setImage(ImageOf(WorkBitmap));
}

void THFormMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DraggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void THFormMain::dropEvent(QDropEvent* event)
{
    const QString path = DraggedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    ChooseSourceFile(path);
}

bool THFormMain::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (DraggedFile(drop->mimeData()).isEmpty())
            break; // text for the edit
        if (event->type() == QEvent::Drop)
            dropEvent(drop);
        else
            drop->acceptProposedAction();
        return true;
    }
    case QEvent::Wheel:
        if (watched == HImgPanel || watched == HImage) {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            const QPoint at =
                static_cast<QWidget*>(watched)->mapTo(HImgPanel, wheel->position().toPoint());
            Guard([&] { WheelPreview(wheel->angleDelta(), wheel->modifiers(), at); });
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace morvaleth
