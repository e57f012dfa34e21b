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
// pixel per pixel of the screen, or zoomed, smoothly scaled; it paints only the
// part its parent lets show.
//
// On a screen that Qt scales (a device pixel ratio of 2, say) the picture still
// takes one of the screen's own pixels per picture pixel at a zoom of 1, so it
// stays crisp: the control is the picture's size divided by the ratio, in the
// window's pixels.
class TPreviewImage : public QWidget {
    Q_OBJECT

public:
    explicit TPreviewImage(QWidget* parent = nullptr);

    // A picture with pixels gives the control its size and a zoom of 1; one
    // without pixels leaves the size as it was and shows nothing.
    void SetPicture(std::shared_ptr<const PixelPicture> picture);
    // Screen pixels per picture pixel: the picture covers its size times
    // `zoom` of the screen's pixels, at least one each way. Nothing without a
    // picture.
    void SetZoom(double zoom);
    double Zoom() const { return zoom_; }
    const std::shared_ptr<const PixelPicture>& Picture() const { return picture_; }
    const QImage& Image() const { return image_; }

    // The screen's pixels per pixel of the window where the control is.
    double PixelRatio() const { return devicePixelRatioF(); }
    // The control's size in the screen's pixels: the picture's at the zoom,
    // up to the next whole pixel of the window.
    QSize ScreenSize() const;
    // Sizes the control again for the pixel ratio of the screen it is on now.
    void FollowPixelRatio();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const PixelPicture> picture_;
    QImage image_;
    double zoom_ = 1.0;
    // The screen's pixels the picture covers at the zoom.
    QSize shown_;
    // The whole picture at the zoom, made at the first paint after a change
    // when it is small enough: a fitted picture then repaints by copying
    // pixels instead of scaling a large picture again.
    QImage zoomed_;
};

} // namespace morvaleth
