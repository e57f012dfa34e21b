#include "ui/FormMain.h"

#include "ui/Application.h"
#include "ui/FileFilter.h"
#include "ui/LookDialog.h"
#include "ui/PictureDescription.h"
#include "ui/TextPane.h"
#include "ui/PrintLetter.h"
#include "ui/WindowFont.h"

#include "composer/Messages.h"
#include "composer/Recipe.h"
#include "composer/encode/Formats.h"
#include "composer/encode/PictureFile.h"
#include "composer/plan/RandomSource.h"
#include "composer/save/FileSave.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleOptionFocusRect>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QWindow>

#include <array>
#include <cmath>

namespace morvaleth {

namespace {

const QString WindowFace = QStringLiteral("ＭＳ Ｐゴシック");
constexpr int WindowFontHeight = 12; // pixels at 96 pixels per inch
constexpr int SizeFontHeight = 15;   // the size edits and the "×" between them
constexpr int DesignPixelsPerInch = 96;
constexpr QSize DesignClientSize(480, 430);

QString FromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// "すべてのﾌｧｲﾙ|*.*", then every picture format the program writes.
QString PictureFilter()
{
    QString pairs = QStringLiteral("すべてのﾌｧｲﾙ|*.*");
    for (const PictureFormatEntry& format : PictureFormats())
        pairs += QLatin1Char('|') + FromView(format.filterLabel) + QLatin1String("|*.") + FromView(format.name);
    return pairs;
}

// The open dialog's default extension goes to a typed name that has none and
// names no file; a file the user chose keeps its name.
QString WithTextExtension(const QString& path)
{
    const QFileInfo file(path);
    if (file.exists() || file.fileName().contains(QLatin1Char('.')))
        return path;
    return path + QLatin1String(".txt");
}
// The window's style, with a focus frame drawn on a push button that has the
// focus: the default button ("参照...") looks the same with the focus and
// without, and Tab would seem to stop nowhere.
class TFocusFrameStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (element != CE_PushButton || !(option->state & State_HasFocus))
            return;
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(*option);
        focus.rect = subElementRect(SE_PushButtonFocusRect, option, widget);
        focus.backgroundColor = option->palette.button().color();
        painter->save();
        painter->setPen(QPen(option->palette.windowText().color(), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(focus.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// The preview's zoom steps, smallest first.
constexpr std::array<double, 6> ZoomSteps{0.125, 0.25, 0.5, 1.0, 2.0, 4.0};
// Zooms closer than this are the same step.
constexpr double ZoomTolerance = 1e-9;

} // namespace

THFormMain::THFormMain(std::shared_ptr<TModalRunner> modal, QWidget* parent)
    : QDialog(parent), modal_(std::move(modal)),
      compose_([](const CompositionSettings& settings, const RunControl& control) {
          return ComposePicture(settings, control);
      })
{
    setupUi(this);
    // A main window, not a transient dialog, so that it shows on the task
    // bar; with a close box and a maximise box, and no minimise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
    HImgPanel->setBackgroundRole(QPalette::Button);
    HImgPanel->setAutoFillBackground(true);
    focusFrameStyle_ = std::make_unique<TFocusFrameStyle>();
    for (QPushButton* button : {HBtnRef, HBtnSave, Button1, HBtnCreate})
        button->setStyle(focusFrameStyle_.get());

    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        designGeometry_.push_back({control, control->geometry()});
    designGeometry_.push_back({HImage, HImage->geometry()});
    ScaleToScreen(logicalDpiY());

    HDlgFileOpen = new TPlaced<QFileDialog>(this);
    HDlgFileOpen->setOption(QFileDialog::DontUseNativeDialog);
    HDlgFileOpen->setOption(QFileDialog::HideNameFilterDetails);
    HDlgFileOpen->setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name comes back even when no such file exists; the run reports it.
    HDlgFileOpen->setFileMode(QFileDialog::AnyFile);
    const QStringList textFilters = NameFilters(QStringLiteral("すべてのﾌｧｲﾙ|*.*|ﾃｷｽﾄﾌｧｲﾙ|*.txt"));
    HDlgFileOpen->setNameFilters(textFilters);
    HDlgFileOpen->selectNameFilter(textFilters[1]);
    // No default suffix here: Qt would append it to an existing file without
    // an extension too. HBtnRefClick appends it to a typed name alone.

    // The typed text is saved as the text files it is read from are chosen;
    // an existing file is replaced only once the user says so.
    HDlgSaveText = new TPlaced<QFileDialog>(this);
    HDlgSaveText->setOption(QFileDialog::DontUseNativeDialog);
    HDlgSaveText->setOption(QFileDialog::HideNameFilterDetails);
    HDlgSaveText->setAcceptMode(QFileDialog::AcceptSave);
    HDlgSaveText->setFileMode(QFileDialog::AnyFile);
    HDlgSaveText->setNameFilters(textFilters);
    HDlgSaveText->selectNameFilter(textFilters[1]);
    HDlgSaveText->setDefaultSuffix(QStringLiteral("txt"));

    HDlgFont = new TPlaced<QFontDialog>(this);
    HDlgFont->setOption(QFontDialog::DontUseNativeDialog);

    HDlgSavePicture = new TSavePictureDialog(this);
    HDlgSavePicture->SetFilter(PictureFilter(), 1);
    HDlgSavePicture->SetDefaultExtension(FromView(FormatEntry(PictureFormat::Bmp).name));
    // The text is never replaced by its picture: refused before the dialog
    // asks whether to replace the file.
    HDlgSavePicture->SetRefusal([this](const QString& path) {
        try {
            RefuseSavingOverSource(path);
            return false;
        } catch (const std::exception& error) {
            ShowException(*modal_, HDlgSavePicture, error);
            return true;
        }
    });

    connect(HBtnRef, &QPushButton::clicked, this, [this] { Guard([this] { HBtnRefClick(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { Guard([this] { Button1Click(); }); });
    connect(HBtnCreate, &QPushButton::clicked, this,
            [this] { Guard([this] { HBtnCreateClick(); }); });
    connect(HBtnSave, &QPushButton::clicked, this, [this] { Guard([this] { HBtnSaveClick(); }); });
    connect(HScrH, &TScrollBar::Scroll, this,
            [this](TScrollBar* sender, TScrollCode code, int& position) {
                Guard([&] { HScrHScroll(sender, code, position); });
            });
    connect(HScrV, &TScrollBar::Change, this,
            [this](TScrollBar* sender) { Guard([&] { HScrVChange(sender); }); });

    // Window-wide keys, and the entries of the preview's menu.
    HActTextPane = new QAction(QStringLiteral("テキスト入力欄"), this);
    HActTextPane->setCheckable(true);
    HActTextPane->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    HActSaveText = new QAction(QStringLiteral("入力したテキストを保管..."), this);
    HActSaveText->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    HActSaveText->setEnabled(false);
    HActKeepLayout = new QAction(QStringLiteral("配置を固定"), this);
    HActKeepLayout->setCheckable(true);
    HActKeepLayout->setEnabled(false);
    HActSeed = new QAction(QStringLiteral("シード: (なし)"), this);
    HActSeed->setEnabled(false);
    for (QAction* action : {HActTextPane, HActSaveText}) {
        action->setShortcutVisibleInContextMenu(true);
        addAction(action);
    }
    connect(HActTextPane, &QAction::triggered, this, [this] { Guard([this] { HActTextPaneExecute(); }); });
    connect(HActSaveText, &QAction::triggered, this, [this] { Guard([this] { HActSaveTextExecute(); }); });

    live_ = std::make_unique<TLivePreview>(
        *this, compose_, stopping_,
        TLivePreview::THooks{[this] { return LiveSettings(); },
                             [this](std::unique_ptr<PixelPicture> picture, const CompositionSettings& settings) {
                                 ShowLivePicture(std::move(picture), settings);
                             },
                             [this](const std::exception& error) {
                                 HLabelStatus->setText(QString::fromStdString(WithFullStop(error.what())));
                             }});
    for (QLineEdit* size : {HEditX, HEditY}) {
        connect(size, &QLineEdit::textChanged, this, &THFormMain::LiveChange);
        connect(size, &QLineEdit::textChanged, this, [this, size] { FitSizeText(*size); });
    }
    for (QCheckBox* box : {HChkBox, HChkVertical, HChkFaceMix})
        connect(box, &QCheckBox::toggled, this, &THFormMain::LiveChange);

    setAcceptDrops(true);
    // The edits would take a dropped file's name as text, and Ctrl+E for
    // themselves; the window takes both.
    for (QLineEdit* edit : {HEditPath, HEditX, HEditY})
        edit->installEventFilter(this);
    // The image covers the panel, and the wheel reaches the panel only when
    // the image passes it on: watch both.
    HImgPanel->installEventFilter(this);
    HImage->installEventFilter(this);
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, [this] { Guard([this] { CopyPicture(); }); });
    // Reaches the window only where no edit takes the keys itself.
    auto* paste = new QShortcut(QKeySequence::Paste, this);
    connect(paste, &QShortcut::activated, this, [this] { Guard([this] { PasteText(); }); });
    auto* print = new QShortcut(QKeySequence::Print, this);
    connect(print, &QShortcut::activated, this, [this] { Guard([this] { PrintPicture(); }); });

    // The preview's own menu; the keys are shown beside what they do.
    previewMenu_ = new QMenu(this);
    previewMenu_->setObjectName(QStringLiteral("HMenuPreview"));
    saveAction_ = previewMenu_->addAction(QStringLiteral("保管..."), this, [this] { Guard([this] { HBtnSaveClick(); }); });
    copyAction_ = previewMenu_->addAction(QStringLiteral("コピー"), this, [this] { Guard([this] { CopyPicture(); }); });
    printAction_ = previewMenu_->addAction(QStringLiteral("印刷..."), this, [this] { Guard([this] { PrintPicture(); }); });
    for (const auto& [action, keys] : {std::pair{copyAction_, QKeySequence(QKeySequence::Copy)},
                                       std::pair{printAction_, QKeySequence(QKeySequence::Print)}}) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
    }
    previewMenu_->addSeparator();
    previewMenu_->addActions({HActTextPane, HActSaveText});
    previewMenu_->addSeparator();
    previewMenu_->addActions({HActKeepLayout, HActSeed});
    previewMenu_->addSeparator();
    previewMenu_->addAction(QStringLiteral("詳細..."), this, [this] { Guard([this] { ChooseLook(); }); });
    for (QWidget* preview : std::initializer_list<QWidget*>{HImgPanel, HImage}) {
        preview->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(preview, &QWidget::customContextMenuRequested, this,
                [this, preview](const QPoint& at) { previewMenu_->popup(preview->mapToGlobal(at)); });
    }
    UpdatePictureActions();
    // Ctrl+= is where Ctrl++ lies on keyboards that need Shift for "+".
    const std::pair<QKeySequence, std::function<void()>> zoomKeys[] = {
        {QKeySequence::ZoomIn, [this] { ZoomIn(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { ZoomIn(); }},
        {QKeySequence::ZoomOut, [this] { ZoomOut(); }},
        {QKeySequence(Qt::CTRL | Qt::Key_0), [this] { ZoomToFit(); }},
    };
    for (const auto& [keys, zoom] : zoomKeys) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this, zoom] { Guard(zoom); });
    }

    FormCreate();
}

THFormMain::~THFormMain()
{
    // The buttons go after this object's members: they give its style back
    // while it still lives.
    for (QPushButton* button : {HBtnRef, HBtnSave, Button1, HBtnCreate})
        button->setStyle(nullptr);
}

void THFormMain::SetComposer(TComposer compose)
{
    stopping_ = TStopping::WaitForTheEnd;
    live_->SetComposer(compose, stopping_);
    compose_ = std::move(compose);
}

void THFormMain::ScaleToScreen(int pixelsPerInch)
{
    pixelsPerInch_ = pixelsPerInch;
    const QFont designFont = ScreenFont(WindowFace, WindowFontHeight);
    const QFont windowFont =
        ScreenFont(WindowFace, MulDiv(WindowFontHeight, pixelsPerInch, DesignPixelsPerInch));
    const QFont sizeFont =
        ScreenFont(WindowFace, MulDiv(SizeFontHeight, pixelsPerInch, DesignPixelsPerInch));
    setFont(windowFont);
    sizeFont_ = sizeFont;
    HEditX->setFont(sizeFont);
    HEditY->setFont(sizeFont);
    FitSizeText(*HEditX);
    FitSizeText(*HEditY);
    Label1->setFont(sizeFont);
    if (HMemoText != nullptr)
        HMemoText->setFont(sizeFont);

    // The layout was made for the window font's text height at 96 pixels
    // per inch; it grows as that height does.
    scaleDenominator_ = QFontMetrics(designFont).height();
    scaleNumerator_ = QFontMetrics(windowFont).height();
    for (const auto& [control, geometry] : designGeometry_)
        control->setGeometry(Scaled(geometry, scaleNumerator_, scaleDenominator_));
    designSize_ =
        Scaled(QRect(QPoint(0, 0), DesignClientSize), scaleNumerator_, scaleDenominator_).size();
    setMinimumSize(LeastSize());
    resize(LeastSize());

    // Labels size themselves to their text, as the edits beside them allow.
    for (QLabel* label : {Label1, Label2})
        label->resize(label->size().expandedTo(label->sizeHint()));
    LayOutForSize();
}

void THFormMain::FitSizeText(QLineEdit& edit)
{
    // The fields are as narrow as the layout made them: a size of five
    // digits (the widest a picture can be saved at) is set narrower, as a
    // condensed face would set it, rather than cut off.
    constexpr int NarrowestStretch = 75;
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit);
    // QLineEdit keeps two more pixels clear left and right.
    const int room = edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit).width() - 4;
    const int needed = QFontMetrics(sizeFont_).horizontalAdvance(edit.text());
    QFont font = sizeFont_;
    if (needed > room && needed > 0)
        font.setStretch(std::max(NarrowestStretch, room * 100 / needed));
    if (font != edit.font())
        edit.setFont(font);
}

void THFormMain::LayOutForSize()
{
    // What the window has grown by beyond its designed size: the controls
    // along the right edge move by the width gained, the path field, the
    // panel and the bars along its edges take it.
    const int wider = std::max(0, width() - LeastSize().width());
    const int taller = std::max(0, height() - designSize_.height());
    for (const auto& [control, design] : designGeometry_) {
        QRect place = Scaled(design, scaleNumerator_, scaleDenominator_);
        if (control == HBtnRef || control == HBtnSave || control == HBtnCreate ||
            control == HChkBox) {
            place.translate(wider, 0);
        } else if (control == HEditPath) {
            place.setWidth(place.width() + wider);
        } else if (control == HImgPanel) {
            place.setSize(place.size() + QSize(wider, taller));
        } else if (control == HScrH) {
            place.translate(0, taller);
            place.setWidth(place.width() + wider);
        } else if (control == HScrV) {
            place.translate(wider, 0);
            place.setHeight(place.height() + taller);
        } else {
            continue; // held by the top-left corner, as scaled
        }
        control->setGeometry(place);
    }
    LayOutPane(taller);
    FollowPanelSize();
}

CompositionSettings THFormMain::CurrentSettings() const
{
    CompositionSettings settings;
    if (paneShown_) {
        settings.sourceText = PlainTextOf(*HMemoText->document()).toUtf8().toStdString();
        settings.encoding = SourceEncoding::Utf8;
    } else {
        settings.sourcePath = QFile::encodeName(HEditPath->text()).toStdString();
    }
    settings.widthText = HEditX->text().toStdString();
    settings.heightText = HEditY->text().toStdString();
    settings.faceName = CompositionFont.face.toStdString();
    settings.size = PointSize(CompositionFont.characterHeight, pixelsPerInch_);
    settings.realMode = HChkBox->isChecked();
    settings.writing = HChkVertical->isChecked() ? Writing::Columns : Writing::Rows;
    // The chosen face mixed with every installed Japanese face.
    if (HChkFaceMix->isChecked())
        settings.faces.mix = FaceMix::Japanese;
    settings.look = look_;
    return settings;
}

void THFormMain::ChooseLook()
{
    THLookDialog dialog(look_, this);
    if (modal_->RunDialog(dialog))
        look_ = dialog.Chosen();
}

void THFormMain::Guard(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        ShowException(*modal_, this, error);
    }
}

void THFormMain::UpdatePictureActions()
{
    // A picture without pixels would be saved as an empty file.
    const bool hasPixels = WorkBitmap != nullptr && WorkBitmap->HasPixels();
    HBtnSave->setEnabled(hasPixels);
    for (QAction* action : {saveAction_, copyAction_, printAction_})
        action->setEnabled(hasPixels);
    // The seed the picture was made from, which 配置を固定 keeps.
    const std::optional<MadeWith> made = WorkBitmap != nullptr ? ReadRecipe(WorkBitmap->Notes()) : std::nullopt;
    HActSeed->setText(made ? QStringLiteral("シード: %1").arg(made->seed) : QStringLiteral("シード: (なし)"));
    HActKeepLayout->setEnabled(made.has_value());
}

void THFormMain::FormCreate()
{
    ResetPreview();
}

std::optional<QString> THFormMain::RunFileDialog(QFileDialog& dialog, const QString& lastName)
{
    if (!lastName.isEmpty())
        dialog.selectFile(lastName);
    if (!modal_->RunDialog(dialog))
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.front();
}

void THFormMain::HBtnRefClick()
{
    if (const std::optional<QString> path = RunFileDialog(*HDlgFileOpen, lastOpenName_))
        ChooseSourceFile(WithTextExtension(*path));
}

void THFormMain::Button1Click()
{
    QFont current(ResolvedFamily(CompositionFont.face));
    current.setPointSize(PointSize(CompositionFont.characterHeight, pixelsPerInch_));
    current.setBold(CompositionFont.bold);
    current.setItalic(CompositionFont.italic);
    current.setUnderline(CompositionFont.underline);
    current.setStrikeOut(CompositionFont.strikeOut);
    HDlgFont->setCurrentFont(current);
    if (!modal_->RunDialog(*HDlgFont))
        return;
    const QFont chosen = HDlgFont->currentFont();
    CompositionFont.face = FamilyWithoutFoundry(chosen.family());
    CompositionFont.characterHeight = PixelHeightOfPoints(chosen.pointSizeF(), pixelsPerInch_);
    CompositionFont.bold = chosen.weight() > QFont::Normal;
    CompositionFont.italic = chosen.italic();
    CompositionFont.underline = chosen.underline();
    CompositionFont.strikeOut = chosen.strikeOut();
    LiveChange();
}

THFormMain::TRunning::TRunning(THFormMain& running) : form(running)
{
    form.composing_ = true;
}

// Whichever way the run ends, the window takes input again, and a close
// asked for during the run happens now.
THFormMain::TRunning::~TRunning()
{
    form.composing_ = false;
    if (form.closeAfterRun_) {
        form.closeAfterRun_ = false;
        QTimer::singleShot(0, &form, &QWidget::close);
    }
}

bool THFormMain::TSourceState::operator==(const TSourceState& other) const
{
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

std::optional<THFormMain::TSourceState> THFormMain::SourceStateOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return TSourceState{status.st_dev, status.st_ino, status.st_size, status.st_mtim};
}

const CompositionSettings& THFormMain::PictureSettings() const
{
    // Typed text travels in the settings; a file must still be the one read.
    const bool typed = pictureSettings_ && pictureSettings_->sourceText;
    if (!pictureSettings_ || (!typed && (!pictureSource_ || SourceStateOf(pictureSettings_->sourcePath) != pictureSource_)))
        throw Failure(Message::SourceChanged);
    return *pictureSettings_;
}

void THFormMain::HBtnCreateClick()
{
    // Whichever way the run ends, the window takes input again, and a close
    // asked for during the run happens now.
    struct TRunning {
        THFormMain& form;
        explicit TRunning(THFormMain& running) : form(running) { form.composing_ = true; }
        ~TRunning()
        {
            form.composing_ = false;
            if (form.closeAfterRun_) {
                form.closeAfterRun_ = false;
                QTimer::singleShot(0, &form, &QWidget::close);
            }
        }
    };
    // A live run gives way; its pause ends with it.
    live_->Stop();
    // Seeded from the clock as any run would be, but here, so that the seed
    // is known to the live runs that follow; with 配置を固定 from the picture
    // shown, so that only the settings change.
    CompositionSettings settings = CurrentSettings();
    settings.seed = HActKeepLayout->isChecked() && liveSeed_ ? *liveSeed_ : MillisecondsSinceMidnightUtc();
    const std::optional<TSourceState> source = SourceStateOf(settings.sourcePath);
    std::unique_ptr<PixelPicture> picture;
    {
        const TRunning running(*this);
        picture = ComposeInBackground(*this, compose_, settings, cancelRun_, stopping_);
    }
    if (picture == nullptr) {
        modal_->ShowMessage(this, {QStringLiteral("警告"),
                                   QString::fromStdString(MessageText(Message::ChooseSourceFile)),
                                   TMessageIcon::Exclamation});
        return;
    }
    WorkBitmap = std::move(picture);
    liveSeed_ = settings.seed;
    pictureSettings_ = settings;
    pictureSource_ = source;
    zoomFits_ = false;
    HImage->SetPicture(WorkBitmap);
    HImage->setAccessibleDescription(DescribePicture(QSize(WorkBitmap->Width(), WorkBitmap->Height()),
                                                     SourceExcerpt(settings.sourcePath, settings.encoding)));
    ResetPreview();
    UpdatePictureActions();
}

void THFormMain::HBtnSaveClick()
{
    if (WorkBitmap == nullptr || !WorkBitmap->HasPixels())
        return;
    const std::optional<QString> path = RunFileDialog(*HDlgSavePicture, lastSaveName_);
    if (!path)
        return;
    lastSaveName_ = *path;
    RefuseSavingOverSource(lastSaveName_);
    const std::string file = QFile::encodeName(lastSaveName_).toStdString();
    const PictureFormat format = FormatForFileName(file);
    // The picture shown is laid on white; a format that keeps transparency
    // gets the letter composed again, as the driver would write it.
    const bool transparent = pictureSettings_ && pictureSettings_->look.background.transparent &&
                             FormatEntry(format).transparency;
    if (FormatEntry(format).Vector() || transparent)
        SaveLetter(file, format);
    else
        SavePicture(*WorkBitmap, file, format);
}

void THFormMain::SaveLetter(const std::string& path, PictureFormat format)
{
    const CompositionSettings& settings = PictureSettings();
    std::vector<std::string> warnings;
    OutputOptions options;
    // Told on the run's thread; read once it has ended.
    options.warning = [&warnings](std::string_view message) { warnings.emplace_back(message); };
    {
        const TRunning running(*this);
        RunInBackground(
            *this,
            [&](const RunControl& control) {
                CompositionRun run(settings);
                // A source that blocks (a FIFO) waits where the cancel is heard.
                run.OpenSource(control);
                SaveFile(path, [&](SaveOutput& output) { run.Write(output, format, options, control); });
            },
            cancelRun_);
    }
    for (const std::string& warning : warnings)
        modal_->ShowMessage(this, {QStringLiteral("警告"), QString::fromStdString(warning), TMessageIcon::Exclamation});
}

void THFormMain::PrintPicture()
{
    if (WorkBitmap == nullptr || !WorkBitmap->HasPixels())
        return;
    const CompositionSettings& settings = PictureSettings();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QCoreApplication::applicationName());
    // The sheet lies as the letter does.
    printer.setPageOrientation(WorkBitmap->Width() > WorkBitmap->Height() ? QPageLayout::Landscape
                                                                           : QPageLayout::Portrait);
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [&](QPrinter* target) { Guard([&] { PrintLetter(*target, settings); }); });
    modal_->RunDialog(dialog);
}

void THFormMain::RefuseSavingOverSource(const QString& path) const
{
    const std::string target = QFile::encodeName(path).toStdString();
    // The file of the picture's run, and the one the next run would read.
    const QString named = paneShown_ ? pathBeforePane_ : HEditPath->text();
    // A typed text's picture was composed from no file.
    const std::string composed =
        pictureSettings_ && !pictureSettings_->sourceText ? pictureSettings_->sourcePath : std::string();
    for (const std::string& source : {composed, QFile::encodeName(named).toStdString()})
        RefuseOverwritingSource(source, target);
}

void THFormMain::ResetPreview()
{
    ScrollStepX = 8;
    ScrollStepY = 8;
    HImage->move(0, 0);
    HScrH->SetPosition(0);
    HScrV->SetPosition(0);
    HScrH->SetMin(0);
    HScrV->SetMin(0);
    UpdateScrollRanges();
    SetPageSteps();
    HScrH->setVisible(true);
    HScrV->setVisible(true);
}

void THFormMain::SetPageSteps()
{
    // Page steps are 16-bit: a larger quotient keeps its low 16 bits.
    HScrH->SetPageStep(std::uint16_t(CeilDiv(HScrH->Max(), ScrollStepX)));
    HScrV->SetPageStep(std::uint16_t(CeilDiv(HScrV->Max(), ScrollStepY)));
}

void THFormMain::FollowPanelSize()
{
    if (HImgPanel->size() == panelSize_)
        return;
    panelSize_ = HImgPanel->size();
    FollowPreviewSize();
}

void THFormMain::FollowPixelRatio()
{
    HImage->FollowPixelRatio();
    FollowPreviewSize();
}

void THFormMain::FollowPreviewSize()
{
    if (zoomFits_) {
        SetZoom(FittingZoom(), true, QPoint(0, 0));
        return;
    }
    // The ranges follow the panel by the same rules as for the designed
    // size; a range that shrinks below a position brings the image along.
    UpdateScrollRanges();
    SetPageSteps();
    MoveImage(std::int64_t(-ScrollStepX) * HScrH->Position(), std::int64_t(-ScrollStepY) * HScrV->Position());
}

QSize THFormMain::PanelScreenSize() const
{
    return QSizeF(QSizeF(HImgPanel->size()) * HImage->PixelRatio()).toSize();
}

int THFormMain::WindowPixels(std::int64_t screenPixels) const
{
    return int(std::llround(double(screenPixels) / HImage->PixelRatio()));
}

void THFormMain::MoveImage(std::int64_t left, std::int64_t top)
{
    HImage->move(WindowPixels(left), WindowPixels(top));
}

double THFormMain::Zoom() const
{
    return HImage->Zoom();
}

double THFormMain::FittingZoom() const
{
    const QSize picture = HImage->Image().size();
    const QSize panel = PanelScreenSize();
    return std::min(double(panel.width()) / picture.width(), double(panel.height()) / picture.height());
}

void THFormMain::SetZoom(double zoom, bool fits, QPoint anchor)
{
    if (HImage->Image().isNull())
        return;
    const double ratio = HImage->PixelRatio();
    const QPointF pictureAt = QPointF(anchor - HImage->pos()) * ratio / HImage->Zoom();
    zoomFits_ = fits;
    HImage->SetZoom(zoom);
    UpdateScrollRanges();
    SetPageSteps();
    const QPointF shownAt = pictureAt * HImage->Zoom() - QPointF(anchor) * ratio;
    HScrH->SetPosition(int(std::lround(shownAt.x() / ScrollStepX)));
    HScrV->SetPosition(int(std::lround(shownAt.y() / ScrollStepY)));
    MoveImage(std::int64_t(-ScrollStepX) * HScrH->Position(), std::int64_t(-ScrollStepY) * HScrV->Position());
}

void THFormMain::ZoomIn(std::optional<QPoint> anchor)
{
    const double zoom = Zoom();
    for (const double step : ZoomSteps)
        if (step > zoom + ZoomTolerance) {
            SetZoom(step, false, anchor.value_or(HImgPanel->rect().center()));
            return;
        }
}

void THFormMain::ZoomOut(std::optional<QPoint> anchor)
{
    const double zoom = Zoom();
    for (auto step = ZoomSteps.rbegin(); step != ZoomSteps.rend(); ++step)
        if (*step < zoom - ZoomTolerance) {
            SetZoom(*step, false, anchor.value_or(HImgPanel->rect().center()));
            return;
        }
}

void THFormMain::ZoomToFit()
{
    if (!HImage->Image().isNull())
        SetZoom(FittingZoom(), true, QPoint(0, 0));
}

void THFormMain::UpdateScrollRanges()
{
    const QSize image = HImage->ScreenSize();
    const QSize panel = PanelScreenSize();
    HScrH->SetMax(std::max(0, CeilDiv(image.width() - panel.width(), ScrollStepX)));
    HScrV->SetMax(std::max(0, CeilDiv(image.height() - panel.height(), ScrollStepY)));
}

// The horizontal offset follows the user's actions on the bar alone, every
// message of an action included; the vertical one follows every change of its
// bar's position (HScrVChange).
void THFormMain::HScrHScroll(TScrollBar*, TScrollCode, int& position)
{
    if (HScrH->Max() > 65535) {
        modal_->ShowMessage(this, {QCoreApplication::applicationName(),
                                   QString::fromStdString(MessageText(Message::ScrollRangeTooLarge)),
                                   TMessageIcon::None});
        return;
    }
    HImage->move(WindowPixels(std::int64_t(-ScrollStepX) * position), HImage->y());
}

void THFormMain::HScrVChange(QObject* sender)
{
    if (qobject_cast<TScrollBar*>(sender) == HScrV)
        HImage->move(HImage->x(), WindowPixels(std::int64_t(-ScrollStepY) * HScrV->Position()));
}

void THFormMain::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!placed_) {
        PlaceOnScreen(*this, TPlacement::Centre);
        placed_ = true;
        // Screens may differ in their pixel ratio; the picture stays one to
        // one on the screen the window moves to.
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { FollowPixelRatio(); });
    }
    if (composeWhenShown_) {
        composeWhenShown_ = false;
        QTimer::singleShot(0, this, [this] { Guard([this] { HBtnCreateClick(); }); });
    }
}

void THFormMain::ComposeWhenShown(const QString& path)
{
    ChooseSourceFile(QFileInfo(path).absoluteFilePath());
    composeWhenShown_ = true;
}

void THFormMain::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayOutForSize();
}

void THFormMain::closeEvent(QCloseEvent* event)
{
    // A run is stopped before the window goes; it closes once the run ends.
    if (composing_) {
        cancelRun_.Set();
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    if (!MayClose()) {
        event->ignore();
        return;
    }
    live_->Stop();
    QDialog::closeEvent(event);
}

void THFormMain::keyPressEvent(QKeyEvent* event)
{
    // A dialog would close on Esc; this window has no cancel button.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace morvaleth
