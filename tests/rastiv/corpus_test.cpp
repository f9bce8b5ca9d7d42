// Real-world and deliberately odd bitmaps through the whole picture path.
#include "fakes.hpp"
#include "ui/main/frmMain.hpp"

#include <QDirIterator>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;

TEST(Corpus, EveryFileLoadsOrIsReportedAndThePathStaysUsable) {
    const QString root = QStringLiteral(RASTIV_TESTDATA);
    if (!QFileInfo::exists(root)) GTEST_SKIP() << "no test corpus at " << root.toStdString();
    QStringList files;
    for (QDirIterator it(root, {QStringLiteral("*.bmp")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << it.next();
    files.sort();
    ASSERT_FALSE(files.isEmpty());

    // Every box the picture path may show, by title.  Pictures whose headers only the display's stricter reader
    // refuses (planes other than 1, odd header or palette sizes) are worked on but cannot be shown: the box says so.
    const QSet<QString> known{QStringLiteral("Bitmap Translation Message"), QStringLiteral("PIXMILL DLL Error"),
                              QStringLiteral("Bitmap Size Error"), QStringLiteral("Rastiv")};
    int loaded = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        World w;
        frmMain main(w.env);
        main.endProgram = [] {};
        main.show();
        w.files.choose(file);
        main.cmdLoad->click();
        bool refused = false;
        for (const Message& m : w.messages.shown) {
            EXPECT_TRUE(known.contains(m.title)) << m.title.toStdString() << ": " << m.text.toStdString();
            EXPECT_TRUE(m.title != QStringLiteral("Rastiv") || m.text == QStringLiteral("481: Invalid picture"));
            refused = refused || m.title == QStringLiteral("PIXMILL DLL Error");
        }
        EXPECT_TRUE(main.cmdLoad->isEnabled());
        if (refused) continue;
        ++loaded;
        w.messages.shown.clear();
        main.cmdRotLeft->click();
        EXPECT_TRUE(main.cmdLoad->isEnabled());
        // Well-formed pictures the library accepted are on screen, also after a turn.
        if (file.contains(QStringLiteral("/good/")) || file.contains(QStringLiteral("/realworld/"))) {
            EXPECT_TRUE(main.image1->isVisible());
            EXPECT_TRUE(w.messages.shown.empty()) << w.messages.shown.front().text.toStdString();
        }
    }
    EXPECT_GT(loaded, 10);
}
