// The window's text pane: the letter typed or pasted beside the preview, the
// live preview that follows it, and keeping the typed text.

#include "ui/FormMain.h"

#include "ui/Application.h"
#include "ui/PreviewImage.h"
#include "ui/TextPane.h"
#include "ui/WindowFont.h"

#include "composer/save/FileSave.h"
#include "composer/plan/RandomSource.h"

#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>

namespace morvaleth {

namespace {

// The pane's column at 96 pixels per inch: the text from the top of the
// designed controls to the bottom of the preview, and the live runs' last
// failure in a line beside the horizontal bar.
constexpr int PaneDesignWidth = 300;
constexpr QRect PaneTextPlace(0, 4, 292, 400);
constexpr QRect PaneStatusPlace(0, 408, 292, 17);

const QString PaneSource = QStringLiteral("(入力したテキスト)");

} // namespace

int THFormMain::PaneWidth() const
{
    return MulDiv(PaneDesignWidth, scaleNumerator_, scaleDenominator_);
}

QSize THFormMain::LeastSize() const
{
    return designSize_ + QSize(paneShown_ ? PaneWidth() : 0, 0);
}

void THFormMain::MakeTextPane()
{
    if (HMemoText != nullptr)
        return;
    HMemoText = new QPlainTextEdit(this);
    HMemoText->setObjectName(QStringLiteral("HMemoText"));
    HMemoText->setFont(HEditX->font());
    HMemoText->setPlaceholderText(QStringLiteral("元になるテキストを入力して下さい。"));
    // Tab moves on through the window, as everywhere else in it.
    HMemoText->setTabChangesFocus(true);
    HMemoText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    HLabelStatus = new QLabel(this);
    HLabelStatus->setObjectName(QStringLiteral("HLabelStatus"));
    // A file dropped on the pane is chosen as on the rest of the window (the
    // pane takes dropped text itself), and the window's keys stay the
    // window's, as in the edits.
    HMemoText->viewport()->installEventFilter(this);
    HMemoText->installEventFilter(this);
    setTabOrder(HChkBox, HMemoText);
    connect(HMemoText, &QPlainTextEdit::textChanged, this, [this] {
        HActSaveText->setEnabled(!HMemoText->document()->isEmpty());
        LiveChange();
    });
}

void THFormMain::LayOutPane(int taller)
{
    if (HMemoText == nullptr || !paneShown_)
        return;
    const int left = width() - PaneWidth();
    const auto scaled = [this](QRect place) { return Scaled(place, scaleNumerator_, scaleDenominator_); };
    HMemoText->setGeometry(scaled(PaneTextPlace).translated(left, 0).adjusted(0, 0, 0, taller));
    HLabelStatus->setGeometry(scaled(PaneStatusPlace).translated(left, taller));
}

void THFormMain::FitWindowToPane()
{
    const bool enlarge = paneShown_;
    // A larger least size would already widen the window to it.
    const int before = width();
    setMinimumSize(LeastSize());
    // A maximised window has no room to give: the pane takes it from the
    // preview, which has grown by more than the pane.
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        paneGrownBy_ = 0;
        LayOutForSize();
        return;
    }
    if (!enlarge) {
        resize(std::max(before - paneGrownBy_, LeastSize().width()), height());
        paneGrownBy_ = 0;
        LayOutForSize();
        return;
    }
    int target = before + PaneWidth();
    QRect screenArea;
    if (const QScreen* shown = screen()) {
        screenArea = shown->availableGeometry();
        const int frame = frameGeometry().width() - width();
        target = std::min(target, screenArea.width() - frame);
    }
    target = std::max(target, LeastSize().width());
    paneGrownBy_ = target - before;
    resize(target, height());
    // Grown to the right: moved back onto the screen where it went beyond.
    if (screenArea.isValid() && frameGeometry().right() > screenArea.right())
        move(std::max(screenArea.left(), x() - (frameGeometry().right() - screenArea.right())), y());
    LayOutForSize();
}

void THFormMain::ShowTextPane()
{
    if (paneShown_)
        return;
    MakeTextPane();
    paneShown_ = true;
    pathBeforePane_ = HEditPath->text();
    HEditPath->setText(PaneSource);
    HEditPath->setReadOnly(true);
    HLabelStatus->clear();
    FitWindowToPane();
    HMemoText->show();
    HLabelStatus->show();
    HActTextPane->setChecked(true);
    HMemoText->setFocus(Qt::OtherFocusReason);
    // The pane's text is now the source: the preview follows it, unless there
    // is none yet.
    if (!HMemoText->document()->isEmpty())
        LiveChange();
}

void THFormMain::HideTextPane()
{
    if (!paneShown_)
        return;
    live_->Stop();
    const bool hadFocus = HMemoText->hasFocus();
    paneShown_ = false;
    HMemoText->hide();
    HLabelStatus->hide();
    HEditPath->setReadOnly(false);
    HEditPath->setText(pathBeforePane_);
    HActTextPane->setChecked(false);
    FitWindowToPane();
    if (hadFocus)
        HEditPath->setFocus(Qt::OtherFocusReason);
}

void THFormMain::HActTextPaneExecute()
{
    if (paneShown_)
        HideTextPane();
    else
        ShowTextPane();
}

void THFormMain::InsertIntoPane(const QString& text)
{
    ShowTextPane();
    HMemoText->setFocus(Qt::OtherFocusReason);
    HMemoText->insertPlainText(text);
}

void THFormMain::ChooseSourceFile(const QString& path)
{
    // The file dialog starts from the file chosen last, however it was chosen.
    lastOpenName_ = path;
    if (!paneShown_) {
        HEditPath->setText(path);
        return;
    }
    const QString text = TextAsRead(path);
    // One step of the pane's undo: Ctrl+Z brings back what was typed.
    QTextCursor all(HMemoText->document());
    all.select(QTextCursor::Document);
    all.insertText(text);
    HMemoText->document()->setModified(false);
    HMemoText->moveCursor(QTextCursor::Start);
    pathBeforePane_ = path;
    lastTextName_ = path;
}

void THFormMain::HActSaveTextExecute()
{
    SaveTypedText();
}

bool THFormMain::SaveTypedText()
{
    if (HMemoText == nullptr || HMemoText->document()->isEmpty())
        return false;
    const std::optional<QString> path = RunFileDialog(*HDlgSaveText, lastTextName_);
    if (!path)
        return false;
    lastTextName_ = *path;
    const QByteArray bytes = PlainTextOf(*HMemoText->document()).toUtf8();
    SaveFile(QFile::encodeName(*path).toStdString(), [&](SaveOutput& output) {
        output.Write(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    });
    HMemoText->document()->setModified(false);
    return true;
}

bool THFormMain::MayClose()
{
    if (HMemoText == nullptr || !HMemoText->document()->isModified() || HMemoText->document()->isEmpty())
        return true;
    switch (modal_->Ask(this, {QStringLiteral("確認"),
                               QStringLiteral("入力したテキストは保管されていません。保管しますか？")})) {
    case TAnswer::Yes: {
        bool saved = false;
        Guard([&] { saved = SaveTypedText(); });
        return saved;
    }
    case TAnswer::No:
        return true;
    case TAnswer::Cancel:
        break;
    }
    return false;
}

void THFormMain::LiveChange()
{
    if (paneShown_)
        live_->Changed();
}

CompositionSettings THFormMain::LiveSettings()
{
    if (!liveSeed_)
        liveSeed_ = MillisecondsSinceMidnightUtc();
    CompositionSettings settings = CurrentSettings();
    settings.seed = liveSeed_;
    return settings;
}

void THFormMain::ShowLivePicture(std::unique_ptr<PixelPicture> picture, const CompositionSettings& settings)
{
    HLabelStatus->clear();
    const double zoom = HImage->Image().isNull() ? 1.0 : HImage->Zoom();
    const QPoint positions(HScrH->Position(), HScrV->Position());
    WorkBitmap = std::move(picture);
    // Saved as PDF or printed, the letter is composed again from these.
    pictureSettings_ = settings;
    pictureSource_ = SourceStateOf(settings.sourcePath);
    HImage->SetPicture(WorkBitmap);
    UpdatePictureActions();
    if (HImage->Image().isNull())
        return;
    // The user keeps looking where and how closely they looked.
    HImage->SetZoom(zoomFits_ ? FittingZoom() : zoom);
    UpdateScrollRanges();
    SetPageSteps();
    HScrH->SetPosition(positions.x());
    HScrV->SetPosition(positions.y());
    HImage->move(-ScrollStepX * HScrH->Position(), -ScrollStepY * HScrV->Position());
}

} // namespace morvaleth
