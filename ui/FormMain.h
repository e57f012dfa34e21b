#pragma once

#include "composer/PixelPicture.h"
#include "composer/Composition.h"
#include "ui/BackgroundRun.h"
#include "ui/LivePreview.h"
#include "ui/ModalRunner.h"
#include "ui/SavePictureDialog.h"
#include "ui/ScrollBar.h"
#include "ui_FormMain.h"

#include <QAction>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QMenu>

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvaleth {

enum class PictureFormat;

// The shared ceiling division: (a + b - 1) div b, truncating toward zero.
constexpr std::int32_t CeilDiv(std::int32_t a, std::int32_t b)
{
    return (a + b - 1) / b;
}

// The font compositions use: the font the font dialog holds. Only its face
// and size reach the picture.
struct TCompositionFont {
    QString face = QStringLiteral("ＭＳ Ｐゴシック");
    int characterHeight = 27; // pixels
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

// The program's one window: it gathers a composition's settings, runs it,
// shows the picture in a scrollable preview, saves it and prints it.
//
// A run replaces the picture only when it completes: after a failed or
// cancelled run the preview and Save keep the previous picture. Save, copy
// and print are enabled exactly while there is a picture with pixels.
//
// A PDF or SVG save and a print compose the picture's letter again from the
// same settings and seed, as outlines that stay sharp at any size; they
// refuse when the text has changed since it was composed.
//
// The window opens at its designed size and may grow: the controls keep their
// places against the top-left and top-right corners, and the preview panel
// takes the room gained.
//
// On demand a text pane opens to the right of the designed controls, in room
// the window grows by: the letter is then typed or pasted there, the path
// field says so, and the preview follows every change a pause later
// (TLivePreview), keeping the seed of the last "作成" so that the letter
// changes only from where it was changed on.
class THFormMain : public QDialog, private Ui::FormMain {
    Q_OBJECT

public:
    explicit THFormMain(std::shared_ptr<TModalRunner> modal = std::make_shared<TModalRunner>(),
                        QWidget* parent = nullptr);
    ~THFormMain() override;

    // What the next press of "作成" composes, apart from its new seed: the
    // pane's text while the pane is shown, else the file in the path field.
    CompositionSettings CurrentSettings() const;
    const std::shared_ptr<const PixelPicture>& Picture() const { return WorkBitmap; }

    QFileDialog* OpenDialog() const { return HDlgFileOpen; }
    QFontDialog* FontDialog() const { return HDlgFont; }
    TSavePictureDialog* SaveDialog() const { return HDlgSavePicture; }
    QFileDialog* SaveTextDialog() const { return HDlgSaveText; }

    // Lays the window out for a screen of `pixelsPerInch`: the window font
    // grows with it, and the window and its controls with the font's text
    // height. The window starts laid out for the screen it is made on.
    void ScaleToScreen(int pixelsPerInch);

    void FormCreate();
    void HBtnRefClick();
    void Button1Click();
    void HBtnCreateClick();
    void HBtnSaveClick();
    void HScrHScroll(TScrollBar* sender, TScrollCode code, int& position);
    void HScrVChange(QObject* sender);
    // Ctrl+E and the preview's menu: shows the text pane, or hides it.
    void HActTextPaneExecute();
    // Ctrl+Shift+S and the preview's menu: saves the pane's text.
    void HActSaveTextExecute();

    void ResetPreview();
    void UpdateScrollRanges();

    // How many screen pixels one picture pixel takes in the preview. Every
    // new picture starts at 1.
    double Zoom() const;
    bool ZoomFitsPicture() const { return zoomFits_; }
    // The next of the zoom steps (1/8 to 4) above or below the current zoom;
    // or the zoom that shows the whole picture in the panel, kept while the
    // window changes size. The point of the picture under `anchor` (panel
    // pixels; the panel's centre when none is given) stays where it is.
    void ZoomIn(std::optional<QPoint> anchor = std::nullopt);
    void ZoomOut(std::optional<QPoint> anchor = std::nullopt);
    void ZoomToFit();

    // Puts `path` in the path field and composes it as soon as the window
    // shows, as if "作成" had been pressed then.
    void ComposeWhenShown(const QString& path);

    // What "作成" runs; tests put a run of their own here.
    void SetComposer(TComposer compose);
    // True while a run is going on.
    bool Composing() const { return composing_; }

    // Makes the file the source, as the file dialog or a drop chooses it:
    // while the pane is shown, loads its text into the pane as a run would
    // read it, undoably.
    void ChooseSourceFile(const QString& path);

    // The text pane: made when first shown. While it is shown the window is
    // wider by the pane, the path field reads "(入力したテキスト)" and takes no
    // typing, and the pane's text is what runs compose.
    void ShowTextPane();
    void HideTextPane();
    bool TextPaneShown() const { return paneShown_; }
    // Shows the pane and types `text` into it where its cursor stands.
    void InsertIntoPane(const QString& text);
    // Saves the pane's text as a UTF-8 file the user names, asking before
    // replacing one; false when the user cancelled.
    bool SaveTypedText();
    // The seed live runs keep: the last "作成"'s, or one of their own.
    std::optional<std::uint32_t> LiveSeed() const { return liveSeed_; }
    const TLivePreview& LivePreview() const { return *live_; }

    // The comforts of a desktop program: a text file dropped on the window is
    // chosen as the source, the mouse wheel over the preview scrolls it
    // through the bars (with Shift, across), and Ctrl+C copies the picture.
    // With Ctrl the wheel zooms instead, about the point under the mouse
    // (`at`, in panel pixels). Text dropped or pasted (Ctrl+V where no edit
    // takes it) goes into the text pane.
    void WheelPreview(QPoint angleDelta, Qt::KeyboardModifiers modifiers, QPoint at = {});
    void CopyPicture();
    void PasteText();

    // "印刷..." in the preview's menu and Ctrl+P: the print preview, from
    // which the system's print dialog prints the letter on the chosen paper,
    // fitted to the page.
    void PrintPicture();
    // The preview's context menu: "保管...", "コピー", "印刷...".
    QMenu* PreviewMenu() const { return previewMenu_; }

    std::int32_t ScrollStepX = 8;
    std::int32_t ScrollStepY = 8;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // While it lives the window is busy with a run: it takes no input, and a
    // close asked for meanwhile happens when it ends.
    struct TRunning {
        explicit TRunning(THFormMain& form);
        ~TRunning();
        THFormMain& form;
    };

    // What tells whether the source text changed since it was composed.
    struct TSourceState {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        bool operator==(const TSourceState& other) const;
    };
    static std::optional<TSourceState> SourceStateOf(const std::string& path);

    // "詳細...": the look of the next 作成, chosen in its dialog.
    void ChooseLook();
    Look look_;

    // The settings of the picture shown, its seed fixed; fails with
    // "元になるﾃｷｽﾄﾌｧｲﾙが作成の後で変わりました" when its text changed since.
    const CompositionSettings& PictureSettings() const;
    // Saves the picture's letter composed again, in a vector format.
    void SaveLetter(const std::string& path, PictureFormat format);

    // Runs a handler as the event loop's caller would see it: an error that
    // escapes it goes to the top level, and the window carries on.
    void Guard(const std::function<void()>& handler);
    // Runs a file dialog that starts from `lastName`: the chosen file's full
    // path, or nothing when the user cancels.
    std::optional<QString> RunFileDialog(QFileDialog& dialog, const QString& lastName);
    void UpdatePictureActions();
    // Places the controls that follow the window's right and bottom edges.
    void LayOutForSize();
    // Sets a size field's text narrower when it would not show whole.
    void FitSizeText(QLineEdit& edit);
    // Gives the image the picture's size at `zoom` and lets the scroll bars
    // follow, keeping the picture's point under `anchor` in place.
    void SetZoom(double zoom, bool fits, QPoint anchor);
    void SetPageSteps();
    void FollowPanelSize();
    // Sizes the image again for the screen's pixel ratio after the window
    // moved to another screen.
    void FollowPixelRatio();
    void FollowPreviewSize();
    double FittingZoom() const;
    // The pane's width on this screen, and the least size of the window with
    // the pane as it is.
    int PaneWidth() const;
    QSize LeastSize() const;
    void MakeTextPane();
    void LayOutPane(int taller);
    // Grows the window by the pane as the screen allows, or gives back what it
    // grew by.
    void FitWindowToPane();
    // Something the picture depends on changed; the live preview follows
    // while the pane is shown.
    void LiveChange();
    CompositionSettings LiveSettings();
    // A live run's picture: shown with the zoom and scroll positions kept.
    void ShowLivePicture(std::unique_ptr<PixelPicture> picture, const CompositionSettings& settings);
    // Asks about unsaved typed text before the window closes: false to stay.
    bool MayClose();
    // Fails with the driver's message when saving the picture to `path`
    // would write over a text it was, or would be, composed from.
    void RefuseSavingOverSource(const QString& path) const;
    // The scroll steps and ranges count the screen's pixels, which the
    // picture meets one to one at a zoom of 1; the window's pixels are that
    // many times larger on a screen Qt scales.
    QSize PanelScreenSize() const;
    int WindowPixels(std::int64_t screenPixels) const;
    // Places the image's top-left corner, in the screen's pixels from the
    // panel's.
    void MoveImage(std::int64_t left, std::int64_t top);

    std::shared_ptr<TModalRunner> modal_;
    // Draws the push buttons' focus; theirs, not owned by them.
    std::unique_ptr<QStyle> focusFrameStyle_;
    TPlaced<QFileDialog>* HDlgFileOpen = nullptr;
    TPlaced<QFontDialog>* HDlgFont = nullptr;
    TSavePictureDialog* HDlgSavePicture = nullptr;
    TPlaced<QFileDialog>* HDlgSaveText = nullptr;
    QPlainTextEdit* HMemoText = nullptr;
    QLabel* HLabelStatus = nullptr;
    QAction* HActTextPane = nullptr;
    QAction* HActSaveText = nullptr;
    // 作成 keeps the seed of the picture shown, and so its layout.
    QAction* HActKeepLayout = nullptr;
    QAction* HActSeed = nullptr;
    TCompositionFont CompositionFont;
    QString lastOpenName_;
    QString lastSaveName_;
    QString lastTextName_;
    std::shared_ptr<const PixelPicture> WorkBitmap;
    std::optional<CompositionSettings> pictureSettings_;
    std::optional<TSourceState> pictureSource_;
    QMenu* previewMenu_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* copyAction_ = nullptr;
    QAction* printAction_ = nullptr;
    // Each control's place at 96 pixels per inch.
    std::vector<std::pair<QWidget*, QRect>> designGeometry_;
    int pixelsPerInch_ = 96;
    // The size fields' font, before FitSizeText sets a text narrower.
    QFont sizeFont_;
    // The designed client size on this screen; the window never gets smaller.
    QSize designSize_;
    int scaleNumerator_ = 1;
    int scaleDenominator_ = 1;
    QSize panelSize_;
    bool zoomFits_ = false;
    TComposer compose_;
    // The window's own composer holds nothing of the window's: a run of it
    // asked to stop is not waited for long. A test's stand-in is.
    TStopping stopping_ = TStopping::LeaveAfterGrace;
    TCancel cancelRun_;
    bool composing_ = false;
    bool closeAfterRun_ = false;
    bool composeWhenShown_ = false;
    bool placed_ = false;
    bool paneShown_ = false;
    // What the path field held before the pane took it over.
    QString pathBeforePane_;
    // How much wider the window was made for the pane.
    int paneGrownBy_ = 0;
    std::optional<std::uint32_t> liveSeed_;
    std::unique_ptr<TLivePreview> live_;
    // Wheel turns smaller than a notch, kept until they add up to one.
    QPoint wheelRemainder_;
    int zoomWheelRemainder_ = 0;
};

} // namespace morvaleth
