// The picture as the main window shows it: scrolled, zoomed, and its size
// and zoom in the status bar.
#pragma once

#include <QImage>
#include <QLabel>
#include <QScrollArea>

namespace rastiv {

// The picture, drawn at any zoom without smoothing when enlarged, so that
// every dot of a dithered picture stays visible.
class PictureLabel final : public QLabel {
public:
    explicit PictureLabel(QWidget* parent) : QLabel(parent) {}
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage picture_;
};

// The scroll area the picture lives in.  It knows nothing of files: the
// window hands it a decoded picture and the size 100% shows.
class PictureView final : public QScrollArea {
    Q_OBJECT
public:
    // 1.0 shows one picture pixel per screen pixel.
    static constexpr double kMinZoom = 1.0 / 16;
    static constexpr double kMaxZoom = 16;
    // Each Zoom In, Zoom Out or wheel notch.
    static constexpr double kZoomStep = 1.25;

    explicit PictureView(QWidget* parent);

    PictureLabel* label() const { return label_; }
    // For the status bar: "W × H pixels, … mm on paper" and "100%".
    QLabel* sizeLabel() const { return size_; }
    QLabel* zoomLabel() const { return zoomText_; }

    // Hidden while a picture is read, so that a failed read leaves nothing
    // half shown.
    void hidePicture();
    void showPicture(const QImage& picture, QSize actualSize);

    double zoom() const { return zoom_; }
    bool fitting() const { return fit_; }
    void zoomBy(double factor);
    void fit();
    void actualSize();
    // The area has changed size: a fitted picture follows it.
    void refit();

signals:
    // After every change of the zoom, with whether it fits the view.
    void zoomShown(bool fitting);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    void applyZoom();
    void showFacts();

    PictureLabel* label_;
    QLabel* size_;
    QLabel* zoomText_;
    double zoom_ = 1;
    bool fit_ = false;
    QSize actual_;  // as the header gives it; what 100% shows
};

}  // namespace rastiv
