// SPDX-License-Identifier: MIT
#include "app/gui/ImagePreview.h"

#include <QPainter>
#include <cstring>

#include "app/CoverImage.h"

namespace covrilo {

TImagePreview::TImagePreview(QWidget* Parent) : QWidget(Parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

QImage TImagePreview::Fit(const TRgbImage& Picture, int Width, int Height) {
    if (Picture.Width <= 0 || Picture.Height <= 0 || Width <= 0 || Height <= 0) return {};
    const auto scaled = ComputeScaledSize(Picture.Width, Picture.Height, Width, Height);
    const int destWidth = scaled ? scaled->Width : Picture.Width;
    const int destHeight = scaled ? scaled->Height : Picture.Height;
    const auto columns = NearestNeighbourMap(Picture.Width, destWidth);
    const auto rows = NearestNeighbourMap(Picture.Height, destHeight);
    QImage image(destWidth, destHeight, QImage::Format_RGB888);
    if (image.isNull()) return {};
    const size_t sourceStride = static_cast<size_t>(Picture.Width) * 3;
    for (int y = 0; y < destHeight; ++y) {
        const uint8_t* source = Picture.Pixels.data() + rows[static_cast<size_t>(y)] * sourceStride;
        uchar* dest = image.scanLine(y);
        for (int x = 0; x < destWidth; ++x)
            std::memcpy(dest + 3 * x, source + 3 * static_cast<size_t>(columns[static_cast<size_t>(x)]), 3);
    }
    return image;
}

void TImagePreview::SetPicture(const TRgbImage& Picture) {
    shown_ = Fit(Picture, width(), height());
    update();
}

void TImagePreview::Clear() {
    shown_ = QImage();
    update();
}

void TImagePreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (shown_.isNull()) return;
    // Whole pixels only: no smoothing can creep in between the sampling and the screen.
    const int left = (width() - shown_.width()) / 2;
    const int top = (height() - shown_.height()) / 2;
    painter.drawImage(left, top, shown_);
}

}  // namespace covrilo
