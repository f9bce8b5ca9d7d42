#include "ui/main/pictureview.hpp"

#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace rastiv {

namespace {
// The printer prints 8 dots per millimetre.
constexpr double kDotsPerMm = 8;
}  // namespace

void PictureLabel::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PictureLabel::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    // Enlarged pictures keep hard dot edges; reduced ones are averaged so that
    // a dither reads as the shade it makes on paper.
    p.setRenderHint(QPainter::SmoothPixmapTransform, width() < picture_.width());
    p.drawImage(rect(), picture_);
}

PictureView::PictureView(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("picArea"));
    setAccessibleName(QStringLiteral("Picture"));
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidgetResizable(false);
    // Reached by Tab after the tools, so that the arrow and page keys
    // scroll a picture larger than the window.
    setFocusPolicy(Qt::StrongFocus);
    label_ = new PictureLabel(this);
    label_->setObjectName(QStringLiteral("image1"));
    label_->resize(1, 1);
    setWidget(label_);
    label_->hide();
    // The window puts these in its status bar.
    size_ = new QLabel(this);
    size_->setObjectName(QStringLiteral("lbPictureSize"));
    zoomText_ = new QLabel(this);
    zoomText_->setObjectName(QStringLiteral("lbZoom"));
}

void PictureView::hidePicture() { label_->hide(); }

void PictureView::showPicture(const QImage& picture, QSize actualSize) {
    actual_ = actualSize;
    label_->setPicture(picture);
    applyZoom();
    label_->show();
    showFacts();
}

void PictureView::applyZoom() {
    if (actual_.isEmpty()) return;
    if (fit_) {
        // Fit shows the whole picture, never larger than it is.
        const QSize room = maximumViewportSize();
        const double fit = std::min({1.0, double(room.width()) / actual_.width(),
                                     double(room.height()) / actual_.height()});
        zoom_ = std::clamp(fit, kMinZoom, 1.0);
    }
    // Screen pixels, not the desktop's scaled units, so that 100% is exact on
    // a high-density screen too.
    const double scale = zoom_ / devicePixelRatioF();
    label_->resize(qMax(1, int(std::lround(actual_.width() * scale))),
                   qMax(1, int(std::lround(actual_.height() * scale))));
    zoomText_->setText(QStringLiteral("%1%").arg(std::lround(zoom_ * 100)));
    emit zoomShown(fit_);
}

void PictureView::zoomBy(double factor) {
    fit_ = false;
    zoom_ = std::clamp(zoom_ * factor, kMinZoom, kMaxZoom);
    // Whole steps stay whole: 80% and 125% lead back to exactly 100%.
    if (std::abs(zoom_ - 1) < 1e-9) zoom_ = 1;
    applyZoom();
}

void PictureView::fit() {
    fit_ = true;
    applyZoom();
}

void PictureView::actualSize() {
    fit_ = false;
    zoom_ = 1;
    applyZoom();
}

void PictureView::refit() {
    if (fit_) applyZoom();
}

void PictureView::showFacts() {
    if (actual_.isEmpty()) {
        size_->clear();
        return;
    }
    const int w = actual_.width(), h = actual_.height();
    size_->setText(QStringLiteral("%1 × %2 pixels, %3 × %4 mm on paper")
                       .arg(w)
                       .arg(h)
                       .arg(w / kDotsPerMm, 0, 'f', 1)
                       .arg(h / kDotsPerMm, 0, 'f', 1));
}

void PictureView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QScrollArea::wheelEvent(event);
        return;
    }
    // A notch is 120; touchpads send smaller steps, which zoom smoothly.
    const int delta = event->angleDelta().y();
    if (delta != 0) zoomBy(std::pow(kZoomStep, delta / 120.0));
    event->accept();
}

}  // namespace rastiv
