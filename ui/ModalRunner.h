#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QShowEvent>
#include <QString>

namespace morvaleth {

// Where a modal window appears on its screen: centred, or centred left to
// right with a third of the remaining height above it and two thirds below.
enum class TPlacement { Centre, UpperThird };

void PlaceOnScreen(QWidget& window, TPlacement placement);

// A dialog that places itself on its screen each time it is shown, once its
// own show handling has settled its size.
template <class Dialog>
class TPlaced : public Dialog {
public:
    using Dialog::Dialog;

    void SetPlacement(TPlacement placement) { placement_ = placement; }

protected:
    void showEvent(QShowEvent* event) override
    {
        Dialog::showEvent(event);
        if (!event->spontaneous())
            PlaceOnScreen(*this, placement_);
    }

private:
    TPlacement placement_ = TPlacement::UpperThird;
};

enum class TMessageIcon { None, Exclamation, Stop };

// A modal message box with one OK button, which OK, Enter and Esc close.
// `detail`, when there is one, stands below the text in a line of its own.
struct TMessageBox {
    QString caption;
    QString text;
    TMessageIcon icon = TMessageIcon::None;
    QString detail = {};
};

// A modal question answered with "はい", "いいえ" or "ｷｬﾝｾﾙ"; Enter says yes, Esc
// and the close box cancel.
struct TQuestion {
    QString caption;
    QString text;
};

enum class TAnswer { Yes, No, Cancel };

// Runs the window's modal dialogs, message boxes and questions. Tests replace it, so
// that nothing waits for a user who is not there.
class TModalRunner {
public:
    virtual ~TModalRunner() = default;

    // True when the user confirmed the dialog.
    virtual bool RunDialog(QDialog& dialog);
    virtual void ShowMessage(QWidget* owner, const TMessageBox& box);
    virtual TAnswer Ask(QWidget* owner, const TQuestion& question);
};

} // namespace morvaleth
