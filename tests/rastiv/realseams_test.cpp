// The real message box, file dialog and F1 key, driven offscreen.
#include "ui/common/qtfiledialogs.hpp"
#include "ui/common/f1help.hpp"
#include "fakes.hpp"
#include "ui/main/frmMain.hpp"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace rastiv;
using namespace rastiv::testing;
using namespace testing_support;

TEST(RealMessageBox, HelpOpensTheTopicAndTheQuestionComesBackWithItsDetails) {
    World w;
    const QString help = w.path("index.html");
    writeFile(help.toStdString(), {'<', '/', '>'});
    QtMessageBoxes boxes(w.desktop);
    Message m;
    m.text = QStringLiteral("Replace the logo?");
    m.title = QStringLiteral("Download Confirmation");
    m.icon = MsgIcon::Exclamation;
    m.buttons = MsgButtons::OkCancel;
    m.helpFile = help;
    m.helpTopic = 5;
    m.details = QStringLiteral("File: /in/notes.bmp\nReason: The file is empty.");

    int shown = 0;
    std::function<void(QDialog*)> answer = [&](QDialog* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        ASSERT_NE(box, nullptr);
        ++shown;
        EXPECT_EQ(box->windowTitle(), m.title);
        EXPECT_EQ(box->text(), m.text);
        EXPECT_EQ(box->detailedText(), m.details);
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        ASSERT_NE(box->button(QMessageBox::Ok), nullptr);
        ASSERT_NE(box->button(QMessageBox::Cancel), nullptr);
        ASSERT_NE(box->button(QMessageBox::Help), nullptr);
        if (shown == 1) {
            whenModal(answer);
            box->button(QMessageBox::Help)->click();
        } else {
            box->button(QMessageBox::Cancel)->click();
        }
    };
    whenModal(answer);
    EXPECT_EQ(boxes.show(m), MsgResult::Cancel);
    EXPECT_EQ(shown, 2);
    ASSERT_EQ(w.desktop.urls.size(), 1u);
    EXPECT_EQ(w.desktop.urls[0], helpUrl(help, 5));

    // Without a topic there is no Help button; Escape answers OK on an OK-only box.
    Message plain;
    plain.text = QStringLiteral("Unable to Launch MS Paint");
    plain.title = QStringLiteral("Application Error");
    plain.icon = MsgIcon::Stop;
    whenModal([](QDialog* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->button(QMessageBox::Help), nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(boxes.show(plain), MsgResult::Ok);
}

TEST(RealFileDialog, ReturnsPathAndBareNameWithTheOperatorsFilters) {
    World w;
    const QString chosen = w.path("in/photo.bmp");
    palettePicture(4, 4).write(chosen.toStdString());
    QtFileDialogs files;
    FileRequest r;
    r.mode = FileRequest::Mode::Open;
    r.title = QStringLiteral("Open a Bitmap File");
    r.startFolder = w.path("in/");
    r.filter = QStringLiteral("BMP file (*.bmp)|*.bmp|All Files (*.*)|*.*");
    r.defaultExtension = QStringLiteral(".BMP");
    whenModal([&](QDialog* d) {
        auto* dialog = qobject_cast<QFileDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), r.title);
        EXPECT_EQ(dialog->nameFilters(), qtNameFilters(r.filter));
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("BMP"));
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(w.path("in")).canonicalPath());
        dialog->selectFile(chosen);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const FileChoice c = files.ask(r);
    EXPECT_EQ(QFileInfo(c.path).canonicalFilePath(), QFileInfo(chosen).canonicalFilePath());
    EXPECT_EQ(c.name, QStringLiteral("photo.bmp"));

    whenModal([](QDialog* d) { d->reject(); });
    EXPECT_TRUE(files.ask(r).cancelled());
}

TEST(F1Key, OpensTheFocusedControlsTopic) {
    World w;
    const QString help = w.path("index.html");
    writeFile(help.toStdString(), {'<', '/', '>'});
    F1Help f1(w.desktop, w.messages, w.g.gHelpFile);
    qApp->installEventFilter(&f1);
    {
        frmMain main(w.env);
        main.endProgram = [] {};
        w.g.gHelpFile = help;
        main.show();
        QApplication::setActiveWindow(&main);
        main.cmdSaveOpts->setFocus();
        QTest::keyClick(main.cmdSaveOpts, Qt::Key_F1);
        main.cmdRotLeft->setFocus();
        QTest::keyClick(main.cmdRotLeft, Qt::Key_F1);
        main.cmdExit->setFocus();
        QTest::keyClick(main.cmdExit, Qt::Key_F1);  // no topic: nothing opens
    }
    qApp->removeEventFilter(&f1);
    ASSERT_EQ(w.desktop.urls.size(), 2u);
    EXPECT_EQ(w.desktop.urls[0].fragment(), QStringLiteral("topic-4"));
    EXPECT_EQ(w.desktop.urls[1].fragment(), QStringLiteral("topic-10"));
}

// Record Batch File through the real dialog: a recording is usually a new file.
TEST(RealFileDialog, RecordBatchFileAcceptsANewName) {
    World w;
    QtFileDialogs real;
    Env env{w.g, w.pixmill, w.messages, real, w.settings, w.clock, w.desktop, w.link, w.batch,
            w.env.workDir};
    frmMain main(env);
    main.endProgram = [] {};
    main.show();
    const QString fresh = w.path("out/new.cpb");
    w.settings.write(Key::InitBatDir, w.path("out/"));
    bool refused = false, stillOpen = false;
    whenModal([&](QDialog* d) {
        auto* dialog = qobject_cast<QFileDialog*>(d);
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(fresh);
        // A dialog that insists on an existing file says "File not found" in a box of its own.
        whenModal<QMessageBox>([&](QMessageBox* box) {
            refused = true;
            box->reject();
        });
        QMetaObject::invokeMethod(dialog, "accept");
        stillOpen = dialog->isVisible();
        if (stillOpen) dialog->reject();
    });
    main.mnuBatchModeEnable->trigger();
    EXPECT_FALSE(refused);
    EXPECT_FALSE(stillOpen);
    EXPECT_TRUE(w.batch.enabled());
    EXPECT_TRUE(main.mnuBatchModeEnable->isChecked());
    EXPECT_TRUE(QFileInfo::exists(fresh));
    EXPECT_EQ(w.settings.read(Key::InitBatDir), w.path("out/"));
    main.mnuBatchModeEnable->trigger();
    EXPECT_FALSE(w.batch.isOpen());
}
