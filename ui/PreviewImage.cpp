#include "ui/PreviewImage.h"

#include <QPaintEvent>
#include <QPainter>

namespace morvaleth {

QImage ImageOf(std::shared_ptr<const TBitmap> picture)
{
    if (picture == nullptr || !picture->HasPixels())
        return {};
    const TBitmap& bitmap = *picture;
    auto keeper = std::make_unique<std::shared_ptr<const TBitmap>>(std::move(picture));
    // The rows are blue, green, red bytes, top row first: QImage's BGR888.
    QImage image(
        bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.Stride()),
        QImage::Format_BGR888,
        [](void* info) { delete static_cast<std::shared_ptr<const TBitmap>*>(info); },
        keeper.get());
    // A QImage that could not be made never calls its cleanup function.
    if (!image.isNull())
        keeper.release();
    return image;
}

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent) {}

void TPreviewImage::SetPicture(std::shared_ptr<const TBitmap> picture)
{
    image_ = ImageOf(picture);
    picture_ = std::move(picture);
    setAttribute(Qt::WA_OpaquePaintEvent, !image_.isNull());
    if (!image_.isNull())
        resize(image_.size());
    update();
}

void TPreviewImage::paintEvent(QPaintEvent* event)
{
    if (image_.isNull())
        return;
    // The event's rectangle is the part the panel shows, never the whole of
    // a large picture.
    const QRect shown = event->rect() & image_.rect();
    QPainter painter(this);
    painter.drawImage(shown.topLeft(), image_, shown);
}

} // namespace morvaleth
