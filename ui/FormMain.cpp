#include "ui/FormMain.h"

#include "ui/Application.h"
#include "ui/FileFilter.h"
#include "ui/WindowFont.h"

#include "composer/PictureFile.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QShortcut>

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

QRect Scaled(const QRect& rect, int numerator, int denominator)
{
    return {MulDiv(rect.x(), numerator, denominator), MulDiv(rect.y(), numerator, denominator),
            MulDiv(rect.width(), numerator, denominator),
            MulDiv(rect.height(), numerator, denominator)};
}

} // namespace

THFormMain::THFormMain(std::shared_ptr<TModalRunner> modal, QWidget* parent)
    : QDialog(parent), modal_(std::move(modal))
{
    setupUi(this);
    // A main window, not a transient dialog, so that it shows on the task
    // bar; fixed in size, with a close box alone.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    HImgPanel->setBackgroundRole(QPalette::Button);
    HImgPanel->setAutoFillBackground(true);

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

    HDlgFont = new TPlaced<QFontDialog>(this);
    HDlgFont->setOption(QFontDialog::DontUseNativeDialog);

    HDlgSavePicture = new TSavePictureDialog(this);
    HDlgSavePicture->SetFilter(PictureFilter(), 1);
    HDlgSavePicture->SetDefaultExtension(FromView(FormatEntry(PictureFormat::Bmp).name));

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

    setAcceptDrops(true);
    // The edits would take a dropped file's name as text; the window takes it.
    for (QLineEdit* edit : {HEditPath, HEditX, HEditY})
        edit->installEventFilter(this);
    // The image covers the panel, and the wheel reaches the panel only when
    // the image passes it on: watch both.
    HImgPanel->installEventFilter(this);
    HImage->installEventFilter(this);
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, [this] { Guard([this] { CopyPicture(); }); });

    FormCreate();
}

THFormMain::~THFormMain() = default;

void THFormMain::ScaleToScreen(int pixelsPerInch)
{
    pixelsPerInch_ = pixelsPerInch;
    const QFont designFont = ScreenFont(WindowFace, WindowFontHeight);
    const QFont windowFont =
        ScreenFont(WindowFace, MulDiv(WindowFontHeight, pixelsPerInch, DesignPixelsPerInch));
    const QFont sizeFont =
        ScreenFont(WindowFace, MulDiv(SizeFontHeight, pixelsPerInch, DesignPixelsPerInch));
    setFont(windowFont);
    HEditX->setFont(sizeFont);
    HEditY->setFont(sizeFont);
    Label1->setFont(sizeFont);

    // The layout was made for the window font's text height at 96 pixels
    // per inch; it grows as that height does.
    const int designHeight = QFontMetrics(designFont).height();
    const int height = QFontMetrics(windowFont).height();
    for (const auto& [control, geometry] : designGeometry_)
        control->setGeometry(Scaled(geometry, height, designHeight));
    setFixedSize(Scaled(QRect(QPoint(0, 0), DesignClientSize), height, designHeight).size());

    // Labels size themselves to their text, as the edits beside them allow.
    for (QLabel* label : {Label1, Label2})
        label->resize(label->size().expandedTo(label->sizeHint()));
}

CompositionSettings THFormMain::CurrentSettings() const
{
    CompositionSettings settings;
    settings.sourcePath = QFile::encodeName(HEditPath->text()).toStdString();
    settings.widthText = HEditX->text().toStdString();
    settings.heightText = HEditY->text().toStdString();
    settings.faceName = CompositionFont.face.toStdString();
    settings.size = PointSize(CompositionFont.characterHeight, pixelsPerInch_);
    settings.realMode = HChkBox->isChecked();
    settings.vertical = HChkVertical->isChecked();
    // The chosen face mixed with every installed Japanese face.
    if (HChkFaceMix->isChecked())
        settings.faces.mix = FaceMix::Japanese;
    return settings;
}

void THFormMain::Guard(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        ShowException(*modal_, this, error);
    }
}

void THFormMain::UpdateSaveButton()
{
    // A picture without pixels would be saved as an empty file.
    HBtnSave->setEnabled(WorkBitmap != nullptr && WorkBitmap->HasPixels());
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
    CompositionFont.characterHeight = CharacterHeight(chosen.pointSizeF(), pixelsPerInch_);
    CompositionFont.bold = chosen.weight() > QFont::Normal;
    CompositionFont.italic = chosen.italic();
    CompositionFont.underline = chosen.underline();
    CompositionFont.strikeOut = chosen.strikeOut();
}

void THFormMain::HBtnCreateClick()
{
    std::unique_ptr<TBitmap> picture = ComposePicture(CurrentSettings());
    if (picture == nullptr) {
        modal_->ShowMessage(this, {QStringLiteral("警告"),
                                   QStringLiteral("元になるテキストファイルを選択して下さい。"),
                                   TMessageIcon::Exclamation});
        return;
    }
    WorkBitmap = std::move(picture);
    HImage->SetPicture(WorkBitmap);
    ResetPreview();
    UpdateSaveButton();
}

void THFormMain::HBtnSaveClick()
{
    if (WorkBitmap == nullptr || !WorkBitmap->HasPixels())
        return;
    const std::optional<QString> path = RunFileDialog(*HDlgSavePicture, lastSaveName_);
    if (!path)
        return;
    lastSaveName_ = *path;
    const std::string file = QFile::encodeName(lastSaveName_).toStdString();
    SavePicture(*WorkBitmap, file, FormatForFileName(file));
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
    // Page steps are 16-bit: a larger quotient keeps its low 16 bits.
    HScrH->SetPageStep(std::uint16_t(CeilDiv(HScrH->Max(), ScrollStepX)));
    HScrV->SetPageStep(std::uint16_t(CeilDiv(HScrV->Max(), ScrollStepY)));
    HScrH->setVisible(true);
    HScrV->setVisible(true);
}

void THFormMain::UpdateScrollRanges()
{
    HScrH->SetMax(std::max(0, CeilDiv(HImage->width() - HImgPanel->width(), ScrollStepX)));
    HScrV->SetMax(std::max(0, CeilDiv(HImage->height() - HImgPanel->height(), ScrollStepY)));
}

// The horizontal offset follows the user's actions on the bar alone, every
// message of an action included; the vertical one follows every change of its
// bar's position (HScrVChange).
void THFormMain::HScrHScroll(TScrollBar*, TScrollCode, int& position)
{
    if (HScrH->Max() > 65535) {
        modal_->ShowMessage(this, {QCoreApplication::applicationName(),
                                   QStringLiteral("Scrollbar ranges > 65535 not supported"),
                                   TMessageIcon::None});
        return;
    }
    HImage->move(-ScrollStepX * position, HImage->y());
}

void THFormMain::HScrVChange(QObject* sender)
{
    if (qobject_cast<TScrollBar*>(sender) == HScrV)
        HImage->move(HImage->x(), -ScrollStepY * HScrV->Position());
}

void THFormMain::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!placed_) {
        PlaceOnScreen(*this, TPlacement::Centre);
        placed_ = true;
    }
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
