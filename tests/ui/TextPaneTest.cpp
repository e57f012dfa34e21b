// The text pane: opened on demand by Ctrl+E, the preview's menu, Ctrl+V and a
// text drop; the path field while it holds the text; a file loaded into it as
// it would be read; the live preview with its kept seed and its cancelled
// runs; saving the typed text and the question before closing with it.

#include "UiTestSupport.h"
#include "support/InkCompare.h"

#include "composer/Error.h"
#include "ui/PreviewImage.h"
#include "ui/ScrollBar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <mutex>

namespace morvaleth::test {
namespace {

const QSize Designed(480, 430);
constexpr int PaneWidth = 300;
const QString PaneSource = QStringLiteral("(入力したテキスト)");

QPlainTextEdit* Pane(const TFormFixture& fixture)
{
    return fixture.Find<QPlainTextEdit>("HMemoText");
}

bool PaneShows(const TFormFixture& fixture)
{
    return Pane(fixture) != nullptr && Pane(fixture)->isVisible();
}

// Opens the preview's menu over the picture and picks the entry `text`.
void PickFromPreviewMenu(TFormFixture& fixture, const QString& text)
{
    bool picked = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << "no menu over the preview";
        for (QAction* action : menu->actions())
            if (action->text() == text) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                picked = true;
                return;
            }
        menu->close();
    });
    auto* image = fixture.Find<QWidget>("HImage");
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20), image->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(image, &click);
    // The menu pops up without blocking; the timer picks once it shows.
    EXPECT_TRUE(QTest::qWaitFor([&] { return picked; }, 2000)) << "no entry " << text.toStdString();
    fixture.Activate();
}

// How the user opens the pane, and the text that it then holds.
struct OpenCase {
    const char* name;
    std::function<void(TFormFixture&)> open;
    QString text;
};

void PrintTo(const OpenCase& c, std::ostream* out)
{
    *out << c.name;
}

class Opening : public ::testing::TestWithParam<OpenCase> {};

TEST_P(Opening, ShowsThePaneInRoomTheWindowGrowsByAndHidesItAgain)
{
    TFormFixture fixture;
    auto* path = fixture.Find<QLineEdit>("HEditPath");
    path->setText("/letters/earlier.txt");
    // Nothing of the pane at start: the window is as designed.
    EXPECT_EQ(Pane(fixture), nullptr);
    EXPECT_EQ(fixture.form->size(), Designed);

    GetParam().open(fixture);

    ASSERT_TRUE(PaneShows(fixture));
    EXPECT_TRUE(fixture.form->TextPaneShown());
    EXPECT_EQ(Pane(fixture)->toPlainText(), GetParam().text);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == Pane(fixture); }));
    EXPECT_EQ(fixture.form->size(), Designed + QSize(PaneWidth, 0));
    EXPECT_EQ(fixture.form->minimumSize(), Designed + QSize(PaneWidth, 0));
    EXPECT_EQ(Pane(fixture)->geometry(), QRect(480, 4, 292, 400));
    // Last in the tab order, after the designed controls.
    EXPECT_EQ(fixture.Find<QWidget>("HChkBox")->nextInFocusChain(), Pane(fixture));
    // The designed controls keep their places; the preview keeps its size.
    EXPECT_EQ(fixture.Find<QWidget>("HBtnCreate")->geometry(), QRect(388, 28, 89, 25));
    EXPECT_EQ(fixture.Find<QWidget>("HImgPanel")->geometry(), QRect(8, 88, 445, 317));
    EXPECT_EQ(path->text(), PaneSource);
    EXPECT_TRUE(path->isReadOnly());
    EXPECT_EQ(fixture.form->CurrentSettings().sourceText, GetParam().text.toStdString());
    EXPECT_EQ(fixture.form->CurrentSettings().sourcePath, "");

    // Ctrl+E in the pane itself hides it, and the window is as it was.
    QTest::keyClick(Pane(fixture), Qt::Key_E, Qt::ControlModifier);
    EXPECT_FALSE(PaneShows(fixture));
    EXPECT_EQ(fixture.form->size(), Designed);
    EXPECT_EQ(fixture.form->minimumSize(), Designed);
    EXPECT_EQ(path->text(), "/letters/earlier.txt");
    EXPECT_FALSE(path->isReadOnly());
    EXPECT_EQ(fixture.form->CurrentSettings().sourcePath, "/letters/earlier.txt");
    EXPECT_FALSE(fixture.form->CurrentSettings().sourceText);
    EXPECT_TRUE(fixture.runner->messages.empty());
}

const QString Pasted = QStringLiteral("拝啓\n秋も深まり、");

INSTANTIATE_TEST_SUITE_P(
    Ways, Opening,
    ::testing::Values(
        OpenCase{"CtrlEInThePathField",
                 [](TFormFixture& f) { QTest::keyClick(f.Find<QWidget>("HEditPath"), Qt::Key_E, Qt::ControlModifier); },
                 ""},
        OpenCase{"PreviewMenu", [](TFormFixture& f) { PickFromPreviewMenu(f, "テキスト入力欄"); }, ""},
        OpenCase{"CtrlVOnAButton",
                 [](TFormFixture& f) {
                     QApplication::clipboard()->setText(Pasted);
                     auto* create = f.Find<QWidget>("HBtnCreate");
                     create->setFocus();
                     QTest::keyClick(create, Qt::Key_V, Qt::ControlModifier);
                 },
                 Pasted},
        OpenCase{"TextDroppedOnThePreview",
                 [](TFormFixture& f) {
                     QMimeData text;
                     text.setText(Pasted);
                     QWidget* image = f.Find<QWidget>("HImage");
                     QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
                     QApplication::sendEvent(image, &enter);
                     ASSERT_TRUE(enter.isAccepted());
                     QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
                     QApplication::sendEvent(image, &drop);
                 },
                 Pasted}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextPane, CtrlVInASizeFieldPastesThereAndOpensNothing)
{
    TFormFixture fixture;
    QApplication::clipboard()->setText("800");
    auto* width = fixture.Find<QLineEdit>("HEditX");
    width->setFocus();
    width->selectAll();
    QTest::keyClick(width, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(width->text(), "800");
    EXPECT_FALSE(PaneShows(fixture));
}

TEST(TextPane, EnterInThePaneEndsALineAndPressesNoButton)
{
    TFormFixture fixture;
    fixture.form->ShowTextPane();
    TypeText(Pane(fixture), "ab\ncd");
    EXPECT_EQ(Pane(fixture)->toPlainText(), "ab\ncd");
    EXPECT_EQ(fixture.runner->dialogsRun, 0);
}

// A Shift-JIS letter with every kind of line end, a decomposed character, a
// tab and text after 0x1A: the pane holds what a run reads, and composing it
// gives the file's picture.
TEST(TextPane, TakesAChosenFileAsARunWouldReadIt)
{
    TFormFixture fixture;
    QTemporaryDir folder;
    const QString file = folder.filePath("letter.txt");
    {
        QFile letter(file);
        ASSERT_TRUE(letter.open(QIODevice::WriteOnly));
        // 拝啓 CR LF, あ LF, a TAB b CR, ｱ, 0x1A, then what is never read.
        letter.write("\x94\x71\x8C\x5B\r\n\x82\xA0\na\tb\r\xB1\x1A" "never");
    }
    fixture.form->ShowTextPane();
    TypeText(Pane(fixture), "typed");
    fixture.runner->answers.push_back(TypeName(file));
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnRef"), Qt::LeftButton);

    EXPECT_EQ(Pane(fixture)->toPlainText(), QStringLiteral("拝啓\nあ\na\tb\nｱ\n"));
    EXPECT_EQ(fixture.Find<QLineEdit>("HEditPath")->text(), PaneSource);
    CompositionSettings typed = fixture.form->CurrentSettings();
    CompositionSettings read;
    read.sourcePath = file.toStdString();
    for (CompositionSettings* settings : {&typed, &read}) {
        settings->seed = 8;
        settings->realMode = true;
    }
    EXPECT_EQ(ImageCopyOf(ComposePicture(typed)), ImageCopyOf(ComposePicture(read)));

    // Loading is one step of the pane's undo.
    Pane(fixture)->undo();
    EXPECT_EQ(Pane(fixture)->toPlainText(), "typed");
    // Hidden, the pane gives the path field the file chosen.
    fixture.form->HideTextPane();
    EXPECT_EQ(fixture.Find<QLineEdit>("HEditPath")->text(), file);
}

// A file that cannot be read, and one that never ends: the box says why and
// the pane keeps what was typed.
class Unreadable : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(Unreadable, LeavesThePaneAsItWas)
{
    TFormFixture fixture;
    fixture.form->ShowTextPane();
    TypeText(Pane(fixture), "typed");
    fixture.runner->answers.push_back(TypeName(GetParam().first));
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnRef"), Qt::LeftButton);
    ASSERT_EQ(fixture.runner->messages.size(), 1u);
    EXPECT_EQ(fixture.runner->messages[0].text, GetParam().second);
    EXPECT_EQ(Pane(fixture)->toPlainText(), "typed");
}

INSTANTIATE_TEST_SUITE_P(Files, Unreadable,
                         ::testing::Values(std::pair{"/nonexistent/letter.txt", "不正なﾌｧｲﾙ名です."},
                                           std::pair{"/dev/zero", "ﾃｷｽﾄが長すぎます (1048576 文字まで)"}));

// Records what every run composed, and composes it.
class TRecordedRuns {
public:
    TComposer Composer()
    {
        return [this](const CompositionSettings& settings, const RunControl& control) {
            {
                const std::lock_guard lock(mutex_);
                runs_.push_back(settings);
            }
            return ComposePicture(settings, control);
        };
    }

    std::vector<CompositionSettings> Runs()
    {
        const std::lock_guard lock(mutex_);
        return runs_;
    }

    CompositionSettings Last() { return Runs().back(); }

private:
    std::mutex mutex_;
    std::vector<CompositionSettings> runs_;
};

struct TLiveFixture : TFormFixture {
    TLiveFixture()
    {
        form->SetComposer(runs.Composer());
        form->ShowTextPane();
    }

    // Types into the pane and waits for the preview to follow.
    void Type(const QString& text)
    {
        TypeText(Pane(*this), text);
        EXPECT_TRUE(WaitForLivePreview(*form));
    }

    TRecordedRuns runs;
};

TEST(LivePreview, KeepsTheSeedAcrossEditsAndTakesTheOneOfCreate)
{
    TLiveFixture fixture;
    fixture.Type(QStringLiteral("拝"));
    ASSERT_EQ(fixture.runs.Runs().size(), 1u);
    const std::optional<std::uint32_t> first = fixture.runs.Last().seed;
    ASSERT_TRUE(first);
    EXPECT_EQ(fixture.runs.Last().sourceText, "拝");
    EXPECT_EQ(fixture.runs.Last().encoding, SourceEncoding::Utf8);

    fixture.Type(QStringLiteral("啓"));
    ASSERT_EQ(fixture.runs.Runs().size(), 2u);
    EXPECT_EQ(fixture.runs.Last().seed, first);
    // What the preview shows is the whole text at that seed, as if composed
    // at once: the first character is where and as it was.
    CompositionSettings atOnce = fixture.runs.Last();
    atOnce.sourceText = "拝啓";
    EXPECT_EQ(ImageCopyOf(fixture.form->Picture()), ImageCopyOf(ComposePicture(atOnce)));
    EXPECT_EQ(fixture.Find<TPreviewImage>("HImage")->Picture(), fixture.form->Picture());
    EXPECT_TRUE(fixture.Find<QPushButton>("HBtnSave")->isEnabled());

    // "作成" takes a new seed from the clock, and the live preview keeps it.
    QTest::qWait(5);
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnCreate"), Qt::LeftButton);
    ASSERT_EQ(fixture.runs.Runs().size(), 3u);
    const std::optional<std::uint32_t> created = fixture.runs.Last().seed;
    ASSERT_TRUE(created);
    EXPECT_NE(created, first);
    EXPECT_EQ(fixture.form->LiveSeed(), created);
    fixture.Type(QStringLiteral("、"));
    ASSERT_EQ(fixture.runs.Runs().size(), 4u);
    EXPECT_EQ(fixture.runs.Last().seed, created);
    EXPECT_EQ(fixture.runs.Last().sourceText, "拝啓、");
    EXPECT_TRUE(fixture.runner->messages.empty());
}

// A letter seen only live, never made by 作成, is the one a PDF or SVG holds.
TEST(LivePreview, TheLetterShownLiveIsTheOneSavedAsVector)
{
    TLiveFixture fixture;
    QTemporaryDir folder;
    fixture.Type(QStringLiteral("拝啓"));
    const std::string svg = folder.filePath("letter.svg").toStdString();
    fixture.runner->answers.push_back(TypeName(QString::fromStdString(svg)));
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnSave"), Qt::LeftButton);
    EXPECT_TRUE(fixture.runner->messages.empty());
    const PixelPicture& shown = *fixture.form->Picture();
    EXPECT_LT(testing::StrayInk(testing::RgbOf(shown), testing::RasterizedSvg(svg, shown.Width(), shown.Height())),
              0.004);
}

// Every setting the picture depends on composes again, at the kept seed.
struct ChangeCase {
    const char* name;
    std::function<void(TFormFixture&)> change;
    std::function<bool(const CompositionSettings&)> took;
};

void PrintTo(const ChangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class Changing : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(Changing, ComposesAgainAPauseLater)
{
    TLiveFixture fixture;
    fixture.Type("Dear");
    const std::size_t before = fixture.runs.Runs().size();
    const auto seed = fixture.runs.Last().seed;
    GetParam().change(fixture);
    EXPECT_TRUE(WaitForLivePreview(*fixture.form));
    ASSERT_EQ(fixture.runs.Runs().size(), before + 1);
    EXPECT_TRUE(GetParam().took(fixture.runs.Last()));
    EXPECT_EQ(fixture.runs.Last().seed, seed);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, Changing,
    ::testing::Values(
        ChangeCase{"Width",
                   [](TFormFixture& f) {
                       auto* width = f.Find<QLineEdit>("HEditX");
                       width->setFocus();
                       QTest::keyClick(width, Qt::Key_Backspace);
                   },
                   [](const CompositionSettings& s) { return s.widthText == "64"; }},
        ChangeCase{"RealMode", [](TFormFixture& f) { QTest::mouseClick(f.Find<QCheckBox>("HChkBox"), Qt::LeftButton); },
                   [](const CompositionSettings& s) { return s.realMode; }},
        ChangeCase{"Font",
                   [](TFormFixture& f) {
                       f.runner->answers.push_back([](QDialog& dialog) {
                           auto& fonts = static_cast<QFontDialog&>(dialog);
                           QFont font = fonts.currentFont();
                           font.setPointSize(30);
                           fonts.setCurrentFont(font);
                           return true;
                       });
                       QTest::mouseClick(f.Find<QPushButton>("Button1"), Qt::LeftButton);
                   },
                   [](const CompositionSettings& s) { return s.size == 30; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LivePreview, ComposesNothingWhileThePaneIsHidden)
{
    TLiveFixture fixture;
    fixture.form->HideTextPane();
    QTest::mouseClick(fixture.Find<QCheckBox>("HChkBox"), Qt::LeftButton);
    TypeText(fixture.Find<QLineEdit>("HEditX"), "0");
    QTest::qWait(int(LivePause.count()) + 100);
    EXPECT_TRUE(fixture.runs.Runs().empty());
    EXPECT_EQ(fixture.form->Picture(), nullptr);
}

TEST(LivePreview, AChangeStopsTheRunInProgressAndTypingGoesOnMeanwhile)
{
    TFormFixture fixture;
    TGatedRun runs;
    fixture.form->SetComposer(runs.Composer());
    fixture.form->ShowTextPane();
    const TLivePreview& live = fixture.form->LivePreview();
    TypeText(Pane(fixture), "a");
    ASSERT_TRUE(QTest::qWaitFor([&] { return live.Running() && !live.Waiting(); }));
    // The run is held: the keys still reach the pane at once, and stop it.
    TypeText(Pane(fixture), "bc");
    EXPECT_EQ(Pane(fixture)->toPlainText(), "abc");
    EXPECT_TRUE(live.Waiting());
    // The next run starts a pause later; only it is let through.
    ASSERT_TRUE(QTest::qWaitFor([&] { return live.Running() && !live.Waiting(); }));
    EXPECT_EQ(fixture.form->Picture(), nullptr) << "the stopped run shows nothing";
    runs.Release(GatedRows);
    EXPECT_TRUE(WaitForLivePreview(*fixture.form));
    ASSERT_NE(fixture.form->Picture(), nullptr);
    CompositionSettings typed = fixture.form->CurrentSettings();
    typed.seed = fixture.form->LiveSeed();
    EXPECT_EQ(typed.sourceText, "abc");
    EXPECT_EQ(ImageCopyOf(fixture.form->Picture()), ImageCopyOf(ComposePicture(typed)));
    EXPECT_TRUE(fixture.runner->messages.empty()) << "a stopped run tells nothing";
}

TEST(LivePreview, ALongRunShowsItsProgressBesideTheWindowWhichKeepsTheKeys)
{
    TFormFixture fixture;
    TGatedRun runs;
    fixture.form->SetComposer(runs.Composer());
    fixture.form->ShowTextPane();
    const TLivePreview& live = fixture.form->LivePreview();
    TypeText(Pane(fixture), "a");
    runs.Release(30);
    ASSERT_TRUE(QTest::qWaitFor([&] { return live.ProgressDialog() != nullptr; }, 5000));
    TRunProgressDialog* dialog = live.ProgressDialog();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->Bar()->value() == 30; }));
    EXPECT_EQ(QApplication::focusWidget(), Pane(fixture));

    // Its "ｷｬﾝｾﾙ" stops the run and leaves the preview as it was.
    QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    EXPECT_TRUE(WaitForLivePreview(*fixture.form));
    EXPECT_EQ(live.ProgressDialog(), nullptr);
    EXPECT_EQ(fixture.form->Picture(), nullptr);
    EXPECT_EQ(fixture.Find<QLabel>("HLabelStatus")->text(), "");
    EXPECT_TRUE(fixture.runner->messages.empty());
}

TEST(LivePreview, AFailureShowsBesideThePaneAndKeepsThePicture)
{
    TLiveFixture fixture;
    fixture.Type("Dear");
    const std::shared_ptr<const PixelPicture> earlier = fixture.form->Picture();
    ASSERT_NE(earlier, nullptr);
    auto* width = fixture.Find<QLineEdit>("HEditX");
    width->setFocus();
    width->selectAll();
    TypeText(width, "6x");
    EXPECT_TRUE(WaitForLivePreview(*fixture.form));
    EXPECT_EQ(fixture.Find<QLabel>("HLabelStatus")->text(), "'6x' は整数ではありません.");
    EXPECT_EQ(fixture.form->Picture(), earlier);
    EXPECT_TRUE(fixture.runner->messages.empty()) << "no box while the user types";
    EXPECT_EQ(QApplication::focusWidget(), width);

    QTest::keyClick(width, Qt::Key_Backspace);
    TypeText(width, "40");
    EXPECT_TRUE(WaitForLivePreview(*fixture.form));
    EXPECT_EQ(fixture.Find<QLabel>("HLabelStatus")->text(), "");
    EXPECT_NE(fixture.form->Picture(), earlier);
}

TEST(LivePreview, KeepsTheZoomAndWhereThePreviewWasScrolled)
{
    TLiveFixture fixture;
    TypeText(Pane(fixture), "Dear");
    fixture.Find<QLineEdit>("HEditX")->setText("2000");
    fixture.Find<QLineEdit>("HEditY")->setText("1500");
    EXPECT_TRUE(WaitForLivePreview(*fixture.form));
    auto* horizontal = fixture.Find<TScrollBar>("HScrH");
    auto* vertical = fixture.Find<TScrollBar>("HScrV");
    QTest::keySequence(fixture.form.get(), QKeySequence(Qt::CTRL | Qt::Key_Plus));
    horizontal->setFocus();
    QTest::keyClick(horizontal, Qt::Key_End);
    vertical->SetPosition(20);
    const int right = horizontal->Position();
    ASSERT_EQ(fixture.Find<QWidget>("HImage")->pos(), QPoint(-8 * right, -8 * 20));

    Pane(fixture)->setFocus();
    fixture.Type(" friend");
    EXPECT_EQ(fixture.form->Zoom(), 2.0);
    EXPECT_EQ(horizontal->Position(), right);
    EXPECT_EQ(vertical->Position(), 20);
    EXPECT_EQ(fixture.Find<QWidget>("HImage")->pos(), QPoint(-8 * right, -8 * 20));
    EXPECT_EQ(fixture.Find<QWidget>("HImage")->size(), QSize(4000, 3000));
}

struct TSavedTextFixture : TFormFixture {
    QByteArray Contents(const QString& name)
    {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }

    QTemporaryDir folder;
};

TEST(TypedText, IsSavedAsUtf8AndReplacedOnlyWhenTheUserSaysSo)
{
    TSavedTextFixture fixture;
    fixture.form->ShowTextPane();
    // A no-break space is kept as typed.
    TypeText(Pane(fixture), QStringLiteral("拝啓\n秋\u00A0も"));
    fixture.runner->answers.push_back(TypeName(fixture.folder.filePath("letter")));
    QTest::keyClick(Pane(fixture), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(fixture.Contents("letter.txt"), "拝啓\n秋\xC2\xA0も");
    EXPECT_EQ(fixture.runner->dialogsRun, 1);

    fixture.Activate();
    TypeText(Pane(fixture), "。");
    QString question;
    fixture.runner->answers.push_back(TypeName(fixture.folder.filePath("letter.txt"), TReplace::No, &question));
    QTest::keyClick(Pane(fixture), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(question.contains("letter.txt")) << question.toStdString();
    EXPECT_EQ(fixture.Contents("letter.txt"), "拝啓\n秋\xC2\xA0も");
    fixture.Activate();

    fixture.runner->answers.push_back(TypeName(fixture.folder.filePath("letter.txt"), TReplace::Yes));
    PickFromPreviewMenu(fixture, "入力したテキストを保管...");
    EXPECT_EQ(fixture.Contents("letter.txt"), "拝啓\n秋\xC2\xA0も。");
    EXPECT_TRUE(fixture.runner->messages.empty());
}

// Closing the window with text typed and never saved.
struct CloseCase {
    const char* name;
    TAnswer reply;
    bool saveDialogConfirmed;
    bool closes;
    bool saved;
};

void PrintTo(const CloseCase& c, std::ostream* out)
{
    *out << c.name;
}

class Closing : public ::testing::TestWithParam<CloseCase> {};

TEST_P(Closing, WithUnsavedTypedTextAsksFirst)
{
    const CloseCase& c = GetParam();
    TSavedTextFixture fixture;
    fixture.form->ShowTextPane();
    TypeText(Pane(fixture), "Dear friend");
    // Hidden, the pane still holds the text.
    fixture.form->HideTextPane();
    fixture.runner->replies.push_back(c.reply);
    if (c.reply == TAnswer::Yes)
        fixture.runner->answers.push_back(c.saveDialogConfirmed ? TypeName(fixture.folder.filePath("kept.txt"))
                                                                 : TRecordingRunner::Answer(Cancel));
    fixture.form->close();

    ASSERT_EQ(fixture.runner->questions.size(), 1u);
    EXPECT_EQ(fixture.runner->questions[0].caption, "確認");
    EXPECT_EQ(fixture.runner->questions[0].text, "入力したテキストは保管されていません。保管しますか？");
    EXPECT_EQ(fixture.form->isVisible(), !c.closes);
    EXPECT_EQ(fixture.Contents("kept.txt"), c.saved ? "Dear friend" : "(none)");
}

INSTANTIATE_TEST_SUITE_P(Answers, Closing,
                         ::testing::Values(CloseCase{"YesAndSaved", TAnswer::Yes, true, true, true},
                                           CloseCase{"YesButTheSaveCancelled", TAnswer::Yes, false, false, false},
                                           CloseCase{"No", TAnswer::No, false, true, false},
                                           CloseCase{"Cancel", TAnswer::Cancel, false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Closing, AsksNothingOfTextSavedLoadedOrDeleted)
{
    TSavedTextFixture fixture;
    fixture.form->ShowTextPane();
    TypeText(Pane(fixture), "Dear");
    fixture.runner->answers.push_back(TypeName(fixture.folder.filePath("dear.txt")));
    fixture.form->SaveTypedText();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(Pane(fixture), Qt::Key_Backspace);
    ASSERT_TRUE(Pane(fixture)->document()->isEmpty());
    fixture.form->close();
    EXPECT_FALSE(fixture.form->isVisible());
    EXPECT_TRUE(fixture.runner->questions.empty());
}

} // namespace
} // namespace morvaleth::test
