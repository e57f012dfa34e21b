#include "ui/PreviewImage.h"

#include <QAccessibleWidget>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace morvaleth {

namespace {

// The largest zoomed copy kept, in pixels: 16 MiB at 4 bytes a pixel.
constexpr qint64 LargestZoomedCopy = 4 * 1024 * 1024;

// Screen readers take the preview for a picture, which its description
// describes, rather than for an empty area.
QAccessibleInterface* PreviewAccessible(const QString& className, QObject* object)
{
    if (className != QLatin1String(TPreviewImage::staticMetaObject.className()) || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
}

} // namespace

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

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent)
{
    static const bool accessible = (QAccessible::installFactory(PreviewAccessible), true);
    (void)accessible;
}

void TPreviewImage::SetPicture(std::shared_ptr<const TBitmap> picture)
{
    image_ = ImageOf(picture);
    zoomed_ = QImage();
    picture_ = std::move(picture);
    setAttribute(Qt::WA_OpaquePaintEvent, !image_.isNull());
    if (!image_.isNull()) {
        zoom_ = 1.0;
        resize(image_.size());
    }
    update();
}

void TPreviewImage::SetZoom(double zoom)
{
    if (image_.isNull())
        return;
    zoom_ = zoom;
    zoomed_ = QImage();
    const auto zoomed = [zoom](int side) {
        return int(std::clamp<double>(std::lround(side * zoom), 1, QWIDGETSIZE_MAX));
    };
    resize(zoomed(image_.width()), zoomed(image_.height()));
    update();
}

void TPreviewImage::paintEvent(QPaintEvent* event)
{
    if (image_.isNull())
        return;
    // The event's rectangle is the part the panel shows, never the whole of
    // a large picture.
    QPainter painter(this);
    if (zoom_ == 1.0) {
        const QRect shown = event->rect() & image_.rect();
        painter.drawImage(shown.topLeft(), image_, shown);
        return;
    }
    if (zoomed_.isNull() && qint64(width()) * height() <= LargestZoomedCopy) {
        zoomed_ = QImage(size(), QImage::Format_RGB32);
        QPainter scaler(&zoomed_);
        scaler.setRenderHint(QPainter::SmoothPixmapTransform);
        scaler.drawImage(QRectF(zoomed_.rect()), image_, QRectF(image_.rect()));
    }
    if (!zoomed_.isNull()) {
        const QRect shown = event->rect() & rect();
        painter.drawImage(shown.topLeft(), zoomed_, shown);
        return;
    }
    // Only the picture's pixels behind the part that shows are scaled.
    const QRectF shown = event->rect() & rect();
    const double scaleX = double(width()) / image_.width();
    const double scaleY = double(height()) / image_.height();
    const QRectF source(shown.x() / scaleX, shown.y() / scaleY, shown.width() / scaleX,
                        shown.height() / scaleY);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(shown, image_, source);
}

} // namespace morvaleth
