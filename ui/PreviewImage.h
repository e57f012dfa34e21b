#pragma once

#include "composer/Bitmap.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace morvaleth {

// A view of the picture's own rows, without copying them. The view keeps the
// picture alive for as long as it or any copy of it exists. Null for a
// picture without pixels.
QImage ImageOf(std::shared_ptr<const TBitmap> picture);

// The preview's image control: shows a picture at its own size, one picture
// pixel per screen pixel, and paints only the part its parent lets show.
class TPreviewImage : public QWidget {
    Q_OBJECT

public:
    explicit TPreviewImage(QWidget* parent = nullptr);

    // A picture with pixels gives the control its size; one without pixels
    // leaves the size as it was and shows nothing.
    void SetPicture(std::shared_ptr<const TBitmap> picture);
    const std::shared_ptr<const TBitmap>& Picture() const { return picture_; }
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const TBitmap> picture_;
    QImage image_;
};

} // namespace morvaleth
