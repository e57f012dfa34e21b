// The window's desktop comforts: drag and drop, the wheel over the preview,
// and the clipboard. A file dropped is the source; text dropped or pasted goes
// into the text pane.

#include "ui/FormMain.h"
#include "ui/PreviewImage.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
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

// The text a drag or the clipboard carries that is not a file: none when it
// carries a file, or no text.
QString CarriedText(const QMimeData* data)
{
    if (data == nullptr || data->hasUrls() || !data->hasText())
        return {};
    return data->text();
}

// One notch of a mouse wheel, in eighths of a degree.
constexpr int WheelNotch = 120;

} // namespace

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

void THFormMain::PasteText()
{
    const QString text = CarriedText(QApplication::clipboard()->mimeData());
    if (!text.isEmpty())
        InsertIntoPane(text);
}

void THFormMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DraggedFile(event->mimeData()).isEmpty() || !CarriedText(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void THFormMain::dropEvent(QDropEvent* event)
{
    const QString path = DraggedFile(event->mimeData());
    const QString text = CarriedText(event->mimeData());
    if (path.isEmpty() && text.isEmpty())
        return;
    event->acceptProposedAction();
    if (!path.isEmpty())
        Guard([&] { ChooseSourceFile(path); });
    else
        InsertIntoPane(text);
}

bool THFormMain::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (DraggedFile(drop->mimeData()).isEmpty())
            break; // text for the edit or the pane
        if (event->type() == QEvent::Drop)
            dropEvent(drop);
        else
            drop->acceptProposedAction();
        return true;
    }
    case QEvent::ShortcutOverride: {
        // The edits would take Ctrl+E for moving their cursor (the emacs keys
        // of X11 desktops): not accepted here, the keys go on to the window's
        // actions.
        const QKeySequence keys(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* action : {HActTextPane, HActSaveText})
            if (keys == action->shortcut())
                return true;
        break;
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
