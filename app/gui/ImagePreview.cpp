// SPDX-License-Identifier: MIT
#include "app/gui/ImagePreview.h"

#include "app/CoverImage.h"

#include <QPainter>

#include <cstring>

namespace covrilo {

TImagePreview::TImagePreview(QWidget* Parent) : QWidget(Parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage TImagePreview::Fit(const TRgbImage& Picture, int Width, int Height) {
    if (Picture.Width <= 0 || Picture.Height <= 0 || Width <= 0 || Height <= 0) return {};
    const auto Scaled = ComputeScaledSize(Picture.Width, Picture.Height, Width, Height);
    const int DestWidth = Scaled ? Scaled->Width : Picture.Width;
    const int DestHeight = Scaled ? Scaled->Height : Picture.Height;
    const auto Columns = NearestNeighbourMap(Picture.Width, DestWidth);
    const auto Rows = NearestNeighbourMap(Picture.Height, DestHeight);
    QImage Image(DestWidth, DestHeight, QImage::Format_RGB888);
    if (Image.isNull()) return {};
    const size_t SourceStride = static_cast<size_t>(Picture.Width) * 3;
    for (int Y = 0; Y < DestHeight; ++Y) {
        const uint8_t* Source = Picture.Pixels.data() + Rows[static_cast<size_t>(Y)] * SourceStride;
        uchar* Dest = Image.scanLine(Y);
        for (int X = 0; X < DestWidth; ++X)
            std::memcpy(Dest + 3 * X, Source + 3 * static_cast<size_t>(Columns[static_cast<size_t>(X)]), 3);
    }
    return Image;
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
    QPainter Painter(this);
    Painter.fillRect(rect(), Qt::white);
    if (shown_.isNull()) return;
    // Whole pixels only: no smoothing can creep in between the sampling and the screen.
    const int Left = (width() - shown_.width()) / 2;
    const int Top = (height() - shown_.height()) / 2;
    Painter.drawImage(Left, Top, shown_);
}

}  // namespace covrilo
