#pragma once

#include "composer/Bitmap.h"
#include "composer/ComposePicture.h"
#include "ui/BackgroundRun.h"
#include "ui/ModalRunner.h"
#include "ui/SavePictureDialog.h"
#include "ui/ScrollBar.h"
#include "ui_FormMain.h"

#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace morvaleth {

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
// shows the picture in a scrollable preview and saves it.
//
// A run replaces the picture only when it completes: after a failed or
// cancelled run the preview and Save keep the previous picture. Save is
// enabled exactly while there is a picture with pixels.
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
    const std::shared_ptr<const TBitmap>& Picture() const { return WorkBitmap; }

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
    // Sizes the image again for the screen's pixel ratio after the window
    // moved to another screen.
    void FollowPixelRatio();
    void FollowPreviewSize();
    double FittingZoom() const;
    // The scroll steps and ranges count the screen's pixels, which the
    // picture meets one to one at a zoom of 1; the window's pixels are that
    // many times larger on a screen Qt scales.
    QSize PanelScreenSize() const;
    int WindowPixels(std::int64_t screenPixels) const;
    // Places the image's top-left corner, in the screen's pixels from the
    // panel's.
    void MoveImage(std::int64_t left, std::int64_t top);

    std::shared_ptr<TModalRunner> modal_;
    TPlaced<QFileDialog>* HDlgFileOpen = nullptr;
    TPlaced<QFontDialog>* HDlgFont = nullptr;
    TSavePictureDialog* HDlgSavePicture = nullptr;
    TCompositionFont CompositionFont;
    QString lastOpenName_;
    QString lastSaveName_;
    std::shared_ptr<const TBitmap> WorkBitmap;
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
