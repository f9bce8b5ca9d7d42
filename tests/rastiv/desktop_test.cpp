// Desktop habits: Save again, Open Recent, the picture as it will print, the unsaved mark, changes made by another
// program, and in every window captions that fit and controls a keyboard and a screen reader can use.
#include "core/placement.hpp"
#include "mainshell.hpp"
#include "ui/batch/frmBatch.hpp"
#include "ui/picture/frmAdvanced.hpp"
#include "receipt/receiptrenderer.hpp"
#include "ui/picture/frmColorMap.hpp"
#include "ui/picture/frmColors.hpp"
#include "ui/picture/frmPhoto.hpp"
#include "ui/picture/frmResize.hpp"
#include "ui/picture/frmSaveOpts.hpp"
#include "ui/printer/frmComm.hpp"
#include "ui/printer/frmDownloadLogo.hpp"
#include "ui/printer/frmLegacy.hpp"
#include "ui/printer/frmLogo2.hpp"
#include "ui/printer/frmPrint.hpp"
#include "ui/printer/frmRibbonLogo.hpp"
#include "ui/printer/frmTextSub.hpp"
#include "ui/printer/frmVirtualPrinter.hpp"
#include "ui/printer/frmWatermark.hpp"

#include <QAccessible>
#include <QApplication>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

// Black, white and red: printable on the red paper the main window starts with.
static BmpBuilder printable(uint32_t w, uint32_t h) {
    return std::move(
        BmpBuilder(w, h, 8).colours({kWhite, kBlack, kRed}).each([](uint32_t x, uint32_t y) { return (x + y) % 3; }));
}

TEST(FileMenu, SaveWritesAgainWhereAndAsTheLastSaveDidAndTheTitleMarksWhatNoFileHolds) {
    Shell s;
    s.load(s.input("a.bmp", printable(40, 6)));
    s.main.cmdRotLeft->click();
    EXPECT_TRUE(s.main.isWindowModified());
    // Before any save, Save is Save As: the Save Options dialog.
    s.w.files.choose(s.w.path("out/kept.gfx"));
    whenModal<frmSaveOpts>([&](frmSaveOpts* d) { d->cmdSaveGfx->click(), d->accept(); });
    s.main.mnuFileSave->trigger();
    EXPECT_FALSE(s.main.isWindowModified());
    EXPECT_EQ(readFile(s.w.tmp.path("out/kept.gfx")).size(), 40u * 146);  // turned: one record a row
    s.main.cmdRotRight->click();
    s.main.mnuFileSave->trigger();  // no dialog: the same file, the same kind
    EXPECT_EQ(readFile(s.w.tmp.path("out/kept.gfx")).size(), 6u * 146);
    EXPECT_FALSE(s.main.isWindowModified());
    EXPECT_EQ(s.w.files.requests.size(), 2u);  // the Open and the one Save As
}

TEST(FileMenu, OpenRecentListsTheNewestFirstAndDropsAFileThatIsGone) {
    Shell s;
    const QString a = s.input("a.bmp", printable(8, 2)), b = s.input("b.bmp", printable(9, 2));
    for (const QString& f : {a, b, a}) s.load(f);
    EXPECT_EQ(s.main.recentFiles(), (QStringList{a, b}));
    QFile::remove(b);
    s.main.openRecent(b);
    ASSERT_EQ(s.w.messages.shown.size(), 1u);
    EXPECT_EQ(s.main.recentFiles(), QStringList{a});
    EXPECT_EQ(s.main.mnuFileRecent->actions().size(), 1);
}

TEST(FileMenu, ExportIsThePrintedDotsOnPaperWidePlacedAsThePrinterPlacesThem) {
    Shell s;
    s.load(s.input("a.bmp", printable(100, 5)));
    storePlacement(s.w.settings, Placement::Centre);
    s.w.files.choose(s.w.path("out/receipt"));
    s.main.mnuFileExport->trigger();
    const QImage png(s.w.path("out/receipt.png"));
    ASSERT_EQ(png.size(), QSize(576, 5));
    const QImage bmp(s.w.working());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 576; ++x)
            ASSERT_EQ(png.pixel(x, y), x < 238 || x >= 338 ? qRgb(255, 255, 255) : bmp.pixel(x - 238, y)) << x;
}

TEST(OutsideEdits, AChangeByAnotherProgramIsUnsavedWorkThatQuittingAsksAbout) {
    // Whether or not the window was activated again since (the paint program may still be open).
    for (bool backInFocus : {true, false}) {
        Shell s;
        s.load(s.input("a.bmp", printable(12, 4)));
        printable(12, 5).write(s.w.working().toStdString());  // as the paint program saves it
        if (backInFocus) {
            s.main.checkOutsideEdit();
            EXPECT_TRUE(s.main.isWindowModified());
            EXPECT_EQ(s.main.picture().height, 5u);  // shown as it is now
        }
        s.w.messages.answers = {MsgResult::Cancel};
        s.main.mnuFileQuit->trigger();
        ASSERT_EQ(s.w.messages.shown.size(), 1u) << backInFocus;
        EXPECT_EQ(s.w.messages.shown.at(0).text, "Save the changes to the picture before quitting?");
        EXPECT_EQ(s.ended, 0);
    }
}

// The main window and every dialog and window it opens, each shown.
struct AllWindows {
    Shell s;
    RecordingWorkflow flow{s.w.picture};
    ReceiptRenderer paper;
    std::vector<std::unique_ptr<QWidget>> dialogs;
    AllWindows() {
        s.w.workingBitmap(40, 10);
        Env& e = s.w.env;
        const WorkingPicture& p = s.w.picture;
        dialogs.push_back(std::make_unique<frmSaveOpts>(e, p, flow));
        dialogs.push_back(std::make_unique<frmAdvanced>(e));
        dialogs.push_back(std::make_unique<frmResize>(e, p, flow));
        dialogs.push_back(std::make_unique<frmLegacy>(e));
        dialogs.push_back(std::make_unique<frmColors>(e, p, flow));
        dialogs.push_back(std::make_unique<frmColorMap>(e, p, flow, ColourHandOver{{kRed, 60}, {kBlue, 40}}));
        dialogs.push_back(std::make_unique<frmTextSub>(e, 1));
        dialogs.push_back(std::make_unique<frmPhoto>(e, p, flow));
        dialogs.push_back(std::make_unique<frmBatch>(e));
        dialogs.push_back(std::make_unique<frmPrint>(e, p, flow));
        dialogs.push_back(std::make_unique<frmComm>(e, flow));
        dialogs.push_back(std::make_unique<frmLogo2>(e, p));
        dialogs.push_back(std::make_unique<frmDownloadLogo>(e, ""));
        dialogs.push_back(std::make_unique<frmWatermark>(e, ""));
        dialogs.push_back(std::make_unique<frmRibbonLogo>(e, ""));
        dialogs.push_back(std::make_unique<frmVirtualPrinter>(e, paper));
    }
    std::vector<QWidget*> windows() {
        std::vector<QWidget*> all{&s.main};
        for (const auto& d : dialogs) all.push_back(d.get());
        return all;
    }
};

// Every caption whole, in every window, at the desktop's usual font and a larger one.
TEST(Captions, NoButtonOrLabelIsCutInAnyDialog) {
    const QFont usual = QApplication::font();
    for (qreal points : {usual.pointSizeF(), usual.pointSizeF() * 1.5}) {
        QApplication::setFont(QFont(usual.family(), int(points)));
        AllWindows all;
        for (QWidget* window : all.windows()) {
            window->show();
            for (QWidget* c : window->findChildren<QWidget*>()) {
                const auto* b = qobject_cast<QAbstractButton*>(c);
                const auto* l = qobject_cast<QLabel*>(c);
                if (!c->isVisibleTo(window) || (b ? b->text() : l ? l->text() : QString()).isEmpty()) continue;
                // A push button's hint has a floor of its own: what counts is whether its text fits where the style
                // draws it.
                int need = c->sizeHint().width(), room = c->width();
                if (const auto* p = qobject_cast<const QPushButton*>(c)) {
                    QStyleOptionButton o;
                    o.initFrom(p);
                    o.rect = p->rect();
                    room = p->style()->subElementRect(QStyle::SE_PushButtonContents, &o, p).width();
                    need = 0;
                    for (const QString& line : QString(p->text()).remove(u'&').split(u'\n'))
                        need = qMax(need, p->fontMetrics().horizontalAdvance(line));
                }
                const bool fits = l && l->wordWrap() ? l->heightForWidth(l->width()) <= l->height() : need <= room;
                EXPECT_TRUE(fits) << window->objectName().toStdString() << "." << c->objectName().toStdString()
                                  << " at " << points << " points: " << need << " in " << room;
            }
            window->hide();
        }
    }
    QApplication::setFont(usual);
}

// What a screen reader or a keyboard needs, in every window: each control inside the window, reached by Tab and named
// (a button by its caption, read as one line), each progress bar named, and no access key taken twice among what is
// shown.
TEST(Accessibility, EveryControlIsInsideReachedByTabAndNamedAndNoAccessKeyIsTakenTwice) {
    AllWindows all;
    EXPECT_FALSE(all.s.main.mnuBatchMode->actions().contains(all.s.main.mnuBatchModeOmit));
    static const QRegularExpression mnemonic(QStringLiteral("(?<!&)&([^&])"));
    for (QWidget* window : all.windows()) {
        window->show();
        const std::string where = window->objectName().toStdString() + ".";
        QStringList captions;
        if (window == &all.s.main)
            for (QAction* a : all.s.main.menuBar()->actions()) captions << a->text();
        for (QWidget* c : window->findChildren<QWidget*>()) {
            // Qt's own parts, and those inside a list, a scroll area, a combo or a spin box, are theirs.
            bool part = c->objectName().startsWith(QLatin1String("qt_"));
            for (QWidget* up = c->parentWidget(); up && up != window; up = up->parentWidget())
                part = part || qobject_cast<QAbstractScrollArea*>(up) || qobject_cast<QComboBox*>(up) ||
                       qobject_cast<QAbstractSpinBox*>(up);
            const auto* text = qobject_cast<QPlainTextEdit*>(c);
            if (part || c->window() != window || (text && text->isReadOnly())) continue;
            auto* b = qobject_cast<QAbstractButton*>(c);
            const bool control = b || qobject_cast<QLineEdit*>(c) || qobject_cast<QAbstractSlider*>(c) ||
                                 qobject_cast<QAbstractScrollArea*>(c) || qobject_cast<QComboBox*>(c) ||
                                 qobject_cast<QAbstractSpinBox*>(c);
            if (control || qobject_cast<QProgressBar*>(c)) {  // a progress bar is heard, never tabbed to
                const std::string what = where + c->objectName().toStdString();
                const QString name = QAccessible::queryAccessibleInterface(c)->text(QAccessible::Name);
                EXPECT_TRUE(!control || c->focusPolicy() & Qt::TabFocus) << what;
                EXPECT_TRUE(window->rect().contains(QRect(c->mapTo(window, QPoint()), c->size()))) << what;
                EXPECT_FALSE(name.trimmed().isEmpty()) << what;
                // What is seen is what is heard, if in more words ("Photo" for "Photo...").
                QString caption = b ? b->text().remove(u'&').replace(u'\n', u' ') : QString();
                if (caption.endsWith(QLatin1String("..."))) caption.chop(3);
                EXPECT_TRUE(name.contains(caption, Qt::CaseInsensitive)) << what << ": " << name.toStdString();
            }
            if (!c->isVisibleTo(window)) continue;
            if (b) captions << b->text();
            if (auto* g = qobject_cast<QGroupBox*>(c)) captions << g->title();
            if (auto* l = qobject_cast<QLabel*>(c); l && l->buddy()) captions << l->text();
        }
        std::map<QChar, QStringList> keys;
        for (const QString& t : captions)
            if (const auto m = mnemonic.match(t); m.hasMatch()) keys[m.captured(1).at(0).toLower()] << t;
        for (const auto& [key, taken] : keys) EXPECT_EQ(taken.size(), 1) << where << taken.join(u'/').toStdString();
        window->hide();
    }
}
