#include "UiTestSupport.h"

#include "composer/Error.h"
#include "composer/Messages.h"
#include "ui/PreviewImage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>

namespace morvaleth::test {

bool TRecordingRunner::RunDialog(QDialog& dialog)
{
    ++dialogsRun;
    if (answers.empty()) {
        ADD_FAILURE() << "a dialog nobody expected: " << dialog.metaObject()->className();
        return false;
    }
    Answer answer = std::move(answers.front());
    answers.pop_front();
    return answer(dialog);
}

void TRecordingRunner::ShowMessage(QWidget*, const TMessageBox& box)
{
    messages.push_back(box);
}

TAnswer TRecordingRunner::Ask(QWidget*, const TQuestion& question)
{
    questions.push_back(question);
    if (replies.empty()) {
        ADD_FAILURE() << "a question nobody expected: " << question.text.toStdString();
        return TAnswer::Cancel;
    }
    const TAnswer reply = replies.front();
    replies.pop_front();
    return reply;
}

bool Cancel(QDialog&)
{
    return false;
}

TRecordingRunner::Answer TypeName(const QString& name, TReplace replace, QString* question)
{
    return [name, replace, question](QDialog& dialog) {
        bool asked = false;
        const bool accepted = ExecDriven(dialog, [&] {
            auto* nameBox = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(nameBox, nullptr);
            nameBox->setText(name);
            // The question runs modally inside the dialog's own handling of
            // Enter: it is answered from the event loop it runs.
            if (replace != TReplace::NotAsked)
                QTimer::singleShot(0, &dialog, [&] {
                    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    if (box == nullptr)
                        return;
                    asked = true;
                    if (question != nullptr)
                        *question = box->text();
                    box->button(replace == TReplace::Yes ? QMessageBox::Yes : QMessageBox::No)->click();
                });
            QTest::keyClick(nameBox, Qt::Key_Return);
            if (replace == TReplace::No && dialog.isVisible())
                dialog.reject();
        });
        EXPECT_EQ(asked, replace != TReplace::NotAsked) << "asked before replacing " << name.toStdString();
        return accepted;
    };
}

bool ExecDriven(QDialog& dialog, const std::function<void()>& drive)
{
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != &dialog && window->isModal() && window->isVisible())
                window->close();
        dialog.reject();
    });
    watchdog.start(5000);
    QTimer::singleShot(0, &dialog, drive);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    EXPECT_FALSE(timedOut) << "the dialog was still open after 5 s";
    return accepted && !timedOut;
}

TFormFixture::TFormFixture()
    : runner(std::make_shared<TRecordingRunner>()), form(std::make_unique<THFormMain>(runner))
{
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
}

TFormFixture::~TFormFixture()
{
    EXPECT_TRUE(runner->answers.empty()) << "answers left for dialogs that never ran";
    EXPECT_TRUE(runner->replies.empty()) << "replies left for questions never asked";
}

void TFormFixture::Activate()
{
    // The window counts as active while a dialog of its own has the focus,
    // even a dialog closed meanwhile; only the window itself takes its keys.
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == form.get(); }));
}

void TFormFixture::Compose(const QString& path, const QString& width, const QString& height)
{
    Find<QLineEdit>("HEditPath")->setText(path);
    Find<QLineEdit>("HEditX")->setText(width);
    Find<QLineEdit>("HEditY")->setText(height);
    QTest::mouseClick(Find<QPushButton>("HBtnCreate"), Qt::LeftButton);
}

TComposer TGatedRun::Composer()
{
    return [this](const CompositionSettings& settings, const RunControl& control) {
        for (std::int64_t row = 0; row < GatedRows; ++row) {
            std::unique_lock lock(mutex_);
            // The cancel flag is not a condition the variable hears of.
            while (released_ <= row && !control.Cancelled())
                released_changed_.wait_for(lock, std::chrono::milliseconds(2));
            if (control.Cancelled())
                throw Cancellation();
            control.progress(row + 1, GatedRows);
        }
        return ComposePicture(settings, control);
    };
}

void TGatedRun::Release(std::int64_t rows)
{
    const std::lock_guard lock(mutex_);
    released_ = rows;
    released_changed_.notify_all();
}

QString ExamplePath(const char* name)
{
    return QStringLiteral(MORVALETH_SOURCE_DIR "/examples/") + QString::fromLatin1(name);
}

void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar character : text) {
        if (character == QLatin1Char('\n'))
            QTest::keyClick(widget, Qt::Key_Return);
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(character), Qt::NoModifier);
    }
}

bool WaitForLivePreview(const THFormMain& form)
{
    return QTest::qWaitFor([&] { return !form.LivePreview().Running() && !form.LivePreview().Waiting(); }, 5000);
}

QImage ImageCopyOf(const std::shared_ptr<const PixelPicture>& picture)
{
    return ImageOf(picture).convertToFormat(QImage::Format_RGB32);
}

} // namespace morvaleth::test
