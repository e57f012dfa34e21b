#include "ui/SavePictureDialog.h"

#include "ui/FileFilter.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace morvaleth {

namespace {

constexpr int PictureBoxSide = 160;

QSize ShrunkToFit(QSize picture, QSize area)
{
    if (picture.width() <= area.width() && picture.height() <= area.height())
        return picture;
    return picture.scaled(area, Qt::KeepAspectRatio);
}

} // namespace

QRect PreviewPlacement(QSize picture, QSize area)
{
    if (picture.width() <= area.width() && picture.height() <= area.height())
        return {QPoint((area.width() - picture.width()) / 2, (area.height() - picture.height()) / 2),
                picture};
    if (picture.width() > picture.height())
        return {0, 0, area.width(),
                int(std::int64_t(picture.height()) * area.width() / picture.width())};
    return {0, 0, int(std::int64_t(picture.width()) * area.height() / picture.height()),
            area.height()};
}

TPictureBox::TPictureBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setMinimumSize(PictureBoxSide, PictureBoxSide);
}

void TPictureBox::SetPicture(QImage picture)
{
    picture_ = std::move(picture);
    update();
}

void TPictureBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    if (picture_.isNull()) {
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("(なし)"));
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PreviewPlacement(picture_.size(), area.size()).translated(area.topLeft()),
                      picture_);
}

void TPictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QFrame::mouseDoubleClickEvent(event);
    if (!picture_.isNull())
        emit DoubleClicked();
}

TPicturePreviewWindow::TPicturePreviewWindow(QImage picture, QWidget* parent)
    : QDialog(parent), picture_(std::move(picture))
{
    setWindowTitle(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    setSizeGripEnabled(true);
    QSize largest(800, 600);
    if (const QScreen* shown = screen())
        largest = shown->availableGeometry().size() * 3 / 4;
    resize(ShrunkToFit(picture_.size(), largest).expandedTo(QSize(160, 120)));
}

void TPicturePreviewWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QRect shown(QPoint(0, 0), ShrunkToFit(picture_.size(), size()));
    shown.moveCenter(rect().center());
    painter.drawImage(shown, picture_);
}

TSavePictureDialog::TSavePictureDialog(QWidget* parent) : TPlaced<QFileDialog>(parent)
{
    // The preview area is added to Qt's own dialog, which a native one lacks.
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::HideNameFilterDetails);
    // An existing file is replaced only once the user says so.
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);

    auto* area = new QWidget(this);
    area->setObjectName(QStringLiteral("PicturePreviewArea"));
    caption_ = new QLabel(QStringLiteral("画像:"), area);
    caption_->setObjectName(QStringLiteral("PictureCaption"));
    previewButton_ = new QToolButton(area);
    previewButton_->setObjectName(QStringLiteral("PreviewButton"));
    previewButton_->setToolTip(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    // A button with an icon alone is named by its hint.
    previewButton_->setAccessibleName(previewButton_->toolTip());
    previewButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    previewButton_->setEnabled(false);
    pictureBox_ = new TPictureBox(area);
    pictureBox_->setObjectName(QStringLiteral("PictureBox"));
    pictureBox_->setAccessibleName(QStringLiteral("画像"));
    caption_->setBuddy(pictureBox_);

    auto* captionRow = new QHBoxLayout;
    captionRow->addWidget(caption_, 1);
    captionRow->addWidget(previewButton_);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(captionRow);
    column->addWidget(pictureBox_, 1);

    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(area, 0, grid->columnCount(), grid->rowCount(), 1);

    connect(this, &QFileDialog::currentChanged, this, &TSavePictureDialog::ShowPreviewOf);
    // filterSelected() hands over the description alone while the details are
    // hidden; the entry's place finds the whole filter.
    if (auto* filterBox = findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        connect(filterBox, &QComboBox::activated, this, [this](int entry) {
            if (entry >= 0 && entry < filters_.size())
                FollowFilter(filters_[entry]);
        });
    connect(previewButton_, &QToolButton::clicked, this, &TSavePictureDialog::OpenPreviewWindow);
    connect(pictureBox_, &TPictureBox::DoubleClicked, this, &TSavePictureDialog::OpenPreviewWindow);
}

void TSavePictureDialog::SetFilter(const QString& pairs, int selected)
{
    filters_ = NameFilters(pairs);
    setNameFilters(filters_);
    if (selected >= 0 && selected < filters_.size()) {
        selectNameFilter(filters_[selected]);
        FollowFilter(filters_[selected]);
    }
}

void TSavePictureDialog::SetDefaultExtension(const QString& extension)
{
    defaultExtension_ = extension;
    FollowFilter(currentFilter_);
}

void TSavePictureDialog::FollowFilter(const QString& nameFilter)
{
    currentFilter_ = nameFilter;
    const QString extension = SingleExtension(nameFilter);
    setDefaultSuffix(extension.isEmpty() ? defaultExtension_ : extension);
}

void TSavePictureDialog::ShowPreviewOf(const QString& path)
{
    QImage picture;
    if (QFileInfo(path).isFile()) {
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        picture = reader.read();
    }
    pictureBox_->SetPicture(picture);
    previewButton_->setEnabled(!picture.isNull());
    caption_->setText(picture.isNull() ? QStringLiteral("画像:")
                                       : QStringLiteral("画像: (%1x%2)")
                                             .arg(picture.width())
                                             .arg(picture.height()));
}

void TSavePictureDialog::accept()
{
    const QStringList chosen = selectedFiles();
    if (refuse_ && !chosen.isEmpty() && refuse_(chosen.front()))
        return;
    TPlaced<QFileDialog>::accept();
}

void TSavePictureDialog::OpenPreviewWindow()
{
    if (pictureBox_->Picture().isNull())
        return;
    TPicturePreviewWindow window(pictureBox_->Picture(), this);
    window.exec();
}

} // namespace morvaleth
