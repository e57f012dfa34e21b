#pragma once

#include "ui/FormMain.h"
#include "ui/ModalRunner.h"

#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace morvaleth::test {

// Stands in for the user at modal dialogs and message boxes: each dialog run
// takes the next answer in line, and each message box is recorded and closed.
class TRecordingRunner : public TModalRunner {
public:
    using Answer = std::function<bool(QDialog&)>;

    bool RunDialog(QDialog& dialog) override;
    void ShowMessage(QWidget* owner, const TMessageBox& box) override;
    TAnswer Ask(QWidget* owner, const TQuestion& question) override;

    std::deque<Answer> answers;
    std::vector<TMessageBox> messages;
    int dialogsRun = 0;
    // Questions take the next reply in line and are recorded.
    std::deque<TAnswer> replies;
    std::vector<TQuestion> questions;
};

// How the file dialog's question before replacing an existing file is to be
// answered: not asked at all, Yes, or No (and then the dialog cancelled).
enum class TReplace { NotAsked, Yes, No };

// Answers: press Cancel; or run the file dialog for real, type `name` into
// its name box and press Enter there, answering the question as `replace`
// says. The question's text goes to `question` when given.
bool Cancel(QDialog& dialog);
TRecordingRunner::Answer TypeName(const QString& name, TReplace replace = TReplace::NotAsked,
                                  QString* question = nullptr);

// Runs `dialog` modally while `drive` acts on it from the event loop. Fails
// the test, and closes whatever modal window is open, if the dialog is still
// open after a few seconds: a question nobody expected, for example.
bool ExecDriven(QDialog& dialog, const std::function<void()>& drive);

// A window with a recording runner, shown and active.
struct TFormFixture {
    TFormFixture();
    ~TFormFixture();

    template <class Control>
    Control* Find(const char* name) const
    {
        return form->findChild<Control*>(QString::fromLatin1(name));
    }
    // Makes the window active again, as the window system does once a
    // dialog or menu over it has closed: its shortcuts work only then.
    void Activate();
    // Types the settings into the window and presses "作成".
    void Compose(const QString& path, const QString& width = "640", const QString& height = "480");

    std::shared_ptr<TRecordingRunner> runner;
    std::unique_ptr<THFormMain> form;
};

inline constexpr std::int64_t GatedRows = 100;

// A run the test lets through row by row: it reports each row the test has
// released, heeds a cancel between rows, and after the last row composes the
// picture for real.
class TGatedRun {
public:
    TComposer Composer();
    void Release(std::int64_t rows);

private:
    std::mutex mutex_;
    std::condition_variable released_changed_;
    std::int64_t released_ = 0;
};

QString ExamplePath(const char* name);
// Types `text` into `widget` key by key, as a keyboard or an input method
// delivers each character.
void TypeText(QWidget* widget, const QString& text);
// Waits until the window's live preview has neither a pause nor a run going
// on; false when it still has after a few seconds.
bool WaitForLivePreview(const THFormMain& form);
// The picture's pixels as an image of their own, 32 bits per pixel.
QImage ImageCopyOf(const std::shared_ptr<const PixelPicture>& picture);

} // namespace morvaleth::test
