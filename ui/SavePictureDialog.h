#pragma once

#include "ui/ModalRunner.h"

#include <QDialog>
#include <QFileDialog>
#include <QFrame>
#include <QImage>

#include <functional>

class QLabel;
class QToolButton;

namespace morvaleth {

// Where a picture of `picture` size goes in an area of `area` size: centred
// when it fits; otherwise scaled with its proportions kept and anchored at the
// top-left, to the area's width when it is wider than tall and to the area's
// height otherwise. The other side is not compared and may be cut off.
QRect PreviewPlacement(QSize picture, QSize area);

// The picture of the file selected in the save dialog, or "(なし)".
class TPictureBox : public QFrame {
    Q_OBJECT

public:
    explicit TPictureBox(QWidget* parent = nullptr);

    void SetPicture(QImage picture);
    const QImage& Picture() const { return picture_; }

signals:
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};

// The picture on its own, in a resizable window titled "ﾌﾟﾚﾋﾞｭｰ" that Esc closes.
// The picture is shrunk to fit the window, never enlarged.
class TPicturePreviewWindow : public QDialog {
    Q_OBJECT

public:
    explicit TPicturePreviewWindow(QImage picture, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

// The picture-save dialog: Qt's own file dialog with a preview area to the
// right of its usual controls. The default suffix follows the selected filter
// when that names one extension, and is the dialog's default extension
// otherwise.
class TSavePictureDialog : public TPlaced<QFileDialog> {
    Q_OBJECT

public:
    explicit TSavePictureDialog(QWidget* parent = nullptr);

    // `pairs` as for NameFilters; `selected` counts from 0.
    void SetFilter(const QString& pairs, int selected);
    void SetDefaultExtension(const QString& extension);

    QLabel* PictureCaption() const { return caption_; }
    QToolButton* PreviewButton() const { return previewButton_; }
    TPictureBox* PictureBox() const { return pictureBox_; }

    // Shows the file at `path` in the preview area when it loads as a picture.
    void ShowPreviewOf(const QString& path);
    void OpenPreviewWindow();

    // Asked about the file chosen before the dialog takes it, and so before
    // it asks whether to replace an existing one: true refuses the file
    // (`refuse` has told the user why), and the dialog stays open for
    // another name.
    void SetRefusal(std::function<bool(const QString& path)> refuse) { refuse_ = std::move(refuse); }

    void accept() override;

private:
    void FollowFilter(const QString& nameFilter);

    QStringList filters_;
    QString defaultExtension_;
    // In full: with the details hidden, selectedNameFilter() gives the
    // description alone.
    QString currentFilter_;
    QLabel* caption_ = nullptr;
    QToolButton* previewButton_ = nullptr;
    TPictureBox* pictureBox_ = nullptr;
    std::function<bool(const QString&)> refuse_;
};

} // namespace morvaleth
