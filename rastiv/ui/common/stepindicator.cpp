#include "ui/common/stepindicator.hpp"

#include <QLabel>
#include <QPainter>

namespace rastiv {

StepFrame::StepFrame(QWidget* parent, const QRect& at) : QWidget(parent) {
    setGeometry(at);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void StepFrame::setColour(const QColor& c) {
    colour_ = c;
    update();
}

void StepFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(colour_, 2));
    p.drawRect(rect().adjusted(1, 1, -1, -1));
}

void StepIndicator::add(QWidget* parent, const char* labelName, const char* frameName, const QRect& labelAt,
                        const QRect& frameAt) {
    addLabel(parent, labelName, labelAt);
    addFrame(parent, frameName, frameAt);
}

void StepIndicator::addLabel(QWidget* parent, const char* name, const QRect& at) {
    auto* l = new QLabel(QStringLiteral("Step %1").arg(labels_.size() + 1), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(at);
    labels_.push_back(l);
}

void StepIndicator::addFrame(QWidget* parent, const char* name, const QRect& at) {
    auto* f = new StepFrame(parent, at);
    f->setObjectName(QString::fromLatin1(name));
    f->setVisible(false);
    f->raise();
    frames_.push_back(f);
}

void StepIndicator::show(int step) {
    shown_ = step;
    for (size_t i = 0; i < frames_.size(); ++i) {
        frames_[i]->setVisible(int(i) + 1 == step);
        if (int(i) + 1 == step) frames_[i]->raise();
    }
}

void StepIndicator::setScreenRed(bool red) {
    const QColor c = highlightColour(red);
    for (StepFrame* f : frames_) f->setColour(c);
    for (QLabel* l : labels_) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, c);
        l->setPalette(p);
    }
}

}  // namespace rastiv
