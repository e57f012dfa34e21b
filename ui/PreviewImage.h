#pragma once

#include "composer/PixelPicture.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace morvaleth {

// A view of the picture's own rows, without copying them. The view keeps the
// picture alive for as long as it or any copy of it exists. Null for a
// picture without pixels.
QImage ImageOf(std::shared_ptr<const PixelPicture> picture);

// The preview's image control: shows a picture at its own size, one picture
// pixel per screen pixel, or zoomed, smoothly scaled; it paints only the part
// its parent lets show.
class TPreviewImage : public QWidget {
    Q_OBJECT

public:
    explicit TPreviewImage(QWidget* parent = nullptr);

    // A picture with pixels gives the control its size and a zoom of 1; one
    // without pixels leaves the size as it was and shows nothing.
    void SetPicture(std::shared_ptr<const PixelPicture> picture);
    // Screen pixels per picture pixel: the control takes the picture's size
    // times `zoom`, at least one pixel each way. Nothing without a picture.
    void SetZoom(double zoom);
    double Zoom() const { return zoom_; }
    const std::shared_ptr<const PixelPicture>& Picture() const { return picture_; }
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const PixelPicture> picture_;
    QImage image_;
    double zoom_ = 1.0;
    // The whole picture at the zoom, made at the first paint after a change
    // when it is small enough: a fitted picture then repaints by copying
    // pixels instead of scaling a large picture again.
    QImage zoomed_;
};

} // namespace morvaleth
