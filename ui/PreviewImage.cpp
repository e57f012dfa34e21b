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

QImage ImageOf(std::shared_ptr<const PixelPicture> picture)
{
    if (picture == nullptr || !picture->HasPixels())
        return {};
    const PixelPicture& bitmap = *picture;
    auto keeper = std::make_unique<std::shared_ptr<const PixelPicture>>(std::move(picture));
    // The rows are blue, green, red bytes, top row first: QImage's BGR888.
    QImage image(
        bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.Stride()),
        QImage::Format_BGR888,
        [](void* info) { delete static_cast<std::shared_ptr<const PixelPicture>*>(info); },
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

void TPreviewImage::SetPicture(std::shared_ptr<const PixelPicture> picture)
{
    image_ = ImageOf(picture);
    picture_ = std::move(picture);
    zoomed_ = QImage();
    if (!image_.isNull())
        SetZoom(1.0);
    else
        setAttribute(Qt::WA_OpaquePaintEvent, false);
    update();
}

QSize TPreviewImage::ScreenSize() const
{
    return QSizeF(QSizeF(size()) * PixelRatio()).toSize();
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
    shown_ = QSize(zoomed(image_.width()), zoomed(image_.height()));
    FollowPixelRatio();
    update();
}

void TPreviewImage::FollowPixelRatio()
{
    if (image_.isNull())
        return;
    const double ratio = PixelRatio();
    const QSize covering(int(std::ceil(shown_.width() / ratio)), int(std::ceil(shown_.height() / ratio)));
    // Where the picture ends inside the control's last pixel, the panel's
    // background shows beyond it.
    setAttribute(Qt::WA_OpaquePaintEvent, QSizeF(covering) * ratio == QSizeF(shown_));
    resize(covering);
}

void TPreviewImage::paintEvent(QPaintEvent* event)
{
    if (image_.isNull())
        return;
    // The event's rectangle is the part the panel shows, never the whole of
    // a large picture. Each pixel of an image drawn one to one lands on one
    // pixel of the screen, whatever the screen's pixel ratio.
    QPainter painter(this);
    const double ratio = PixelRatio();
    const QRect shown = event->rect() & rect();
    const QRectF onScreen(QPointF(shown.topLeft()) * ratio, QSizeF(shown.size()) * ratio);
    const auto drawOneToOne = [&](const QImage& image) {
        const QRectF source = onScreen & QRectF(image.rect());
        painter.drawImage(QRectF(source.topLeft() / ratio, source.size() / ratio), image, source);
    };
    if (zoom_ == 1.0) {
        drawOneToOne(image_);
        return;
    }
    if (zoomed_.isNull() && qint64(shown_.width()) * shown_.height() <= LargestZoomedCopy) {
        zoomed_ = QImage(shown_, QImage::Format_RGB32);
        QPainter scaler(&zoomed_);
        scaler.setRenderHint(QPainter::SmoothPixmapTransform);
        scaler.drawImage(QRectF(zoomed_.rect()), image_, QRectF(image_.rect()));
    }
    if (!zoomed_.isNull()) {
        drawOneToOne(zoomed_);
        return;
    }
    // Only the picture's pixels behind the part that shows are scaled.
    const double scaleX = double(shown_.width()) / image_.width();
    const double scaleY = double(shown_.height()) / image_.height();
    const QRectF source(onScreen.x() / scaleX, onScreen.y() / scaleY, onScreen.width() / scaleX,
                        onScreen.height() / scaleY);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(shown), image_, source);
}

} // namespace morvaleth
