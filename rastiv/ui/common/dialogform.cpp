#include "ui/common/dialogform.hpp"

#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QScreen>

#include "core/placement.hpp"
#include "ui/common/f1help.hpp"

namespace rastiv {

void setUpDialog(QDialog& dialog, const char* name, const QString& title, int helpTopic, QSize size) {
    dialog.setObjectName(QString::fromLatin1(name));
    dialog.setWindowTitle(title);
    setHelpTopic(&dialog, helpTopic);
    QFont small = dialog.font();
    small.setPointSizeF(8);
    dialog.setFont(small);
    dialog.setFixedSize(size);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& at) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(at);
    return l;
}

QComboBox* makePlacementChoice(QWidget* parent, SettingsStore& settings, const QString& toolTip, const QRect& label,
                               const QRect& list, QLabel*& labelOut) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("cbPlacement"));
    box->setGeometry(list);
    for (Placement p : {Placement::Left, Placement::Centre, Placement::Right}) box->addItem(placementName(p), int(p));
    box->setCurrentIndex(box->findData(int(storedPlacement(settings))));
    box->setAccessibleName(QStringLiteral("Place on the paper"));
    box->setToolTip(toolTip);
    labelOut = makeLabel(parent, "lblPlacement", QStringLiteral("&Place on the paper:"), label);
    labelOut->setBuddy(box);
    QObject::connect(box, &QComboBox::currentIndexChanged, box,
                     [box, &settings] { storePlacement(settings, Placement(box->currentData().toInt())); });
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QRect& at) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(at);
    return b;
}

QPlainTextEdit* noteBox(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setFrameShape(QFrame::NoFrame);
    box->setBackgroundRole(QPalette::Window);
    box->viewport()->setBackgroundRole(QPalette::Window);
    box->setFocusPolicy(Qt::NoFocus);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->document()->setDocumentMargin(0);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setPlainText(text);
    box->setGeometry(geometry);
    return box;
}

int runModal(QDialog& dialog) {
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

namespace {
// Pixels the caption's widest line lacks in the place the style draws it.
int captionShortfall(const QPushButton& b) {
    QStyleOptionButton o;
    o.initFrom(&b);
    o.rect = b.rect();
    const int room = b.style()->subElementRect(QStyle::SE_PushButtonContents, &o, &b).width();
    int need = 0;
    for (const QString& line : QString(b.text()).remove(u'&').split(u'\n'))
        need = qMax(need, b.fontMetrics().horizontalAdvance(line));
    return need - room;
}
}  // namespace

void fitCaption(QPushButton& button, int growth) {
    const int short_ = captionShortfall(button);
    if (short_ <= 0) return;
    const int side = qMin(growth, (short_ + 1) / 2);
    button.setGeometry(button.geometry().adjusted(-side, 0, side, 0));
    constexpr qreal kSmallest = 6;
    QFont f = button.font();
    while (captionShortfall(button) > 0 && f.pointSizeF() - 0.5 >= kSmallest) {
        f.setPointSizeF(f.pointSizeF() - 0.5);
        button.setFont(f);
    }
}

void centreOnScreen(QWidget& window) {
    if (QScreen* s = QGuiApplication::primaryScreen())
        window.move(s->availableGeometry().center() - window.rect().center());
}

}  // namespace rastiv
