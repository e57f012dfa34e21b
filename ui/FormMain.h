#pragma once

#include "composer/PixelPicture.h"
#include "composer/Composition.h"
#include "ui/BackgroundRun.h"
#include "ui/ModalRunner.h"
#include "ui/SavePictureDialog.h"
#include "ui/ScrollBar.h"
#include "ui_FormMain.h"

#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
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
class THFormMain : public QDialog, private Ui::FormMain {
    Q_OBJECT

public:
    explicit THFormMain(std::shared_ptr<TModalRunner> modal = std::make_shared<TModalRunner>(),
                        QWidget* parent = nullptr);
    ~THFormMain() override;

    // What the next press of "作成" composes.
    CompositionSettings CurrentSettings() const;
    const std::shared_ptr<const PixelPicture>& Picture() const { return WorkBitmap; }

    QFileDialog* OpenDialog() const { return HDlgFileOpen; }
    QFontDialog* FontDialog() const { return HDlgFont; }
    TSavePictureDialog* SaveDialog() const { return HDlgSavePicture; }

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
    void SetComposer(TComposer compose) { compose_ = std::move(compose); }
    // True while a run is going on.
    bool Composing() const { return composing_; }

    // Makes the file the source, as the file dialog or a drop chooses it.
    void ChooseSourceFile(const QString& path);

    // The comforts of a desktop program: a text file dropped on the window is
    // chosen as the source, the mouse wheel over the preview scrolls it
    // through the bars (with Shift, across), and Ctrl+C copies the picture.
    // With Ctrl the wheel zooms instead, about the point under the mouse
    // (`at`, in panel pixels).
    void WheelPreview(QPoint angleDelta, Qt::KeyboardModifiers modifiers, QPoint at = {});
    void CopyPicture();

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
    void UpdateSaveButton();
    // Places the controls that follow the window's right and bottom edges.
    void LayOutForSize();
    // Gives the image the picture's size at `zoom` and lets the scroll bars
    // follow, keeping the picture's point under `anchor` in place.
    void SetZoom(double zoom, bool fits, QPoint anchor);
    void SetPageSteps();
    void FollowPanelSize();
    double FittingZoom() const;

    std::shared_ptr<TModalRunner> modal_;
    TPlaced<QFileDialog>* HDlgFileOpen = nullptr;
    TPlaced<QFontDialog>* HDlgFont = nullptr;
    TSavePictureDialog* HDlgSavePicture = nullptr;
    TCompositionFont CompositionFont;
    QString lastOpenName_;
    QString lastSaveName_;
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
    // The designed client size on this screen; the window never gets smaller.
    QSize designSize_;
    int scaleNumerator_ = 1;
    int scaleDenominator_ = 1;
    QSize panelSize_;
    bool zoomFits_ = false;
    TComposer compose_;
    std::atomic<bool> cancelRun_{false};
    bool composing_ = false;
    bool closeAfterRun_ = false;
    bool composeWhenShown_ = false;
    bool placed_ = false;
    // Wheel turns smaller than a notch, kept until they add up to one.
    QPoint wheelRemainder_;
    int zoomWheelRemainder_ = 0;
};

} // namespace morvaleth
