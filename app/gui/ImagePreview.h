// SPDX-License-Identifier: MIT
// The picture view of the window: a white area that shows a decoded picture centred, at
// its natural size when it fits and otherwise shrunk with its aspect ratio kept, sampled
// nearest-neighbour exactly as the cover preparation scales (so the preview shows the
// pixels that will be embedded, decoded by our own JPEG loader).
#pragma once

#include <QImage>
#include <QWidget>

namespace covrilo {

struct TRgbImage;

class TImagePreview : public QWidget {
    Q_OBJECT
   public:
    explicit TImagePreview(QWidget* Parent = nullptr);

    // Shows Picture fitted to the widget's current size.
    void SetPicture(const TRgbImage& Picture);
    // Back to plain white.
    void Clear();
    // What is shown (null when nothing is): the fitted picture, before centring.
    const QImage& Shown() const { return shown_; }

    // Picture fitted into Width x Height: the same size and sampling as the cover preparation.
    static QImage Fit(const TRgbImage& Picture, int Width, int Height);

   protected:
    void paintEvent(QPaintEvent* Event) override;

   private:
    QImage shown_;
};

}  // namespace covrilo
