// Scripted stand-ins for the program's seams and one environment built from
// them, with the real Pixmill library.
#pragma once

#include "link/clock.hpp"
#include "core/desktop.hpp"
#include "core/env.hpp"
#include "core/filedialogs.hpp"
#include "ui/common/qtmessageboxes.hpp"
#include "core/modGlobal.hpp"
#include "core/workingpicture.hpp"
#include "core/pixmill.hpp"
#include "core/settings.hpp"
#include "core/batchmode.hpp"
#include "link/commlink.hpp"
#include "link/connectiontest.hpp"
#include "link/virtualprinter.hpp"
#include "bmp_builder.hpp"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QDialog>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <type_traits>
#include <vector>

namespace rastiv::testing {

// A box as the operator sees it: its text, title, icon, buttons and help
// topic (-1: none), and whether it offers Help on the program's help file.
struct Box {
    QString text, title;
    MsgIcon icon = MsgIcon::None;
    int topic = -1;
    MsgButtons buttons = MsgButtons::Ok;
    bool help = false;
    Box(QString text, QString title, MsgIcon icon = MsgIcon::None, int topic = -1,
        MsgButtons buttons = MsgButtons::Ok, std::optional<bool> help = {})
        : text(std::move(text)), title(std::move(title)), icon(icon), topic(topic), buttons(buttons),
          help(help.value_or(topic >= 0)) {}
    explicit Box(const Message& m)
        : Box(m.text, m.title, m.icon, m.helpTopic, m.buttons,
              m.hasHelpButton() && m.helpFile == QLatin1String("/opt/rastiv/help/index.html")) {}
    bool operator==(const Box&) const = default;
    friend std::ostream& operator<<(std::ostream& o, const Box& b) {
        return o << "\n  {\"" << b.text.toStdString() << "\", \"" << b.title.toStdString() << "\", icon "
                 << int(b.icon) << ", topic " << b.topic << ", buttons " << int(b.buttons)
                 << (b.help ? ", Help}" : ", no Help}");
    }
};

// Records every box and answers OK unless told otherwise.
class ScriptedMessages final : public MessageBoxes {
public:
    MsgResult show(const Message& m) override {
        shown.push_back(m);
        if (onShow) onShow(m);
        if (answers.empty()) return MsgResult::Ok;
        const MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    // Every box shown so far, as the operator saw it.
    std::vector<Box> boxes() const { return {shown.begin(), shown.end()}; }
    std::vector<Message> shown;
    std::deque<MsgResult> answers;
    std::function<void(const Message&)> onShow;
};

// Answers file dialogs from a queue; with the queue empty it cancels.
class ScriptedFiles final : public FileDialogs {
public:
    FileChoice ask(const FileRequest& r) override {
        requests.push_back(r);
        if (answers.empty()) return {};
        FileChoice c = answers.front();
        answers.pop_front();
        return c;
    }
    void choose(const QString& path) {
        const qsizetype slash = path.lastIndexOf(u'/');
        answers.push_back({path, path.mid(slash + 1)});
    }
    std::vector<FileRequest> requests;
    std::deque<FileChoice> answers;
};

class RecordingDesktop final : public Desktop {
public:
    bool openUrl(const QUrl& url) override {
        urls.push_back(url);
        return true;
    }
    QString findPaintProgram() override { return paintProgram; }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started.push_back({program, arguments});
        return true;
    }
    std::vector<QUrl> urls;
    QString paintProgram;
    std::vector<std::pair<QString, QStringList>> started;
};

// The main window's operations as the image dialogs see them.
class RecordingWorkflow final : public Workflow {
public:
    explicit RecordingWorkflow(WorkingPicture& picture) : picture_(picture) {}
    void ShowBitmap(const QString& path) override {
        shown.push_back(path);
        ReadBitmapSize(path);
    }
    void ReadBitmapSize(const QString& path) override {
        const auto bytes = testing_support::readFile(path.toStdString());
        if (bytes.size() < 26) return;
        picture_.width = testing_support::get32(bytes, 18);
        picture_.height = testing_support::get32(bytes, 22);
    }
    void ShowPicture(const QImage& picture) override { pictures.push_back(picture); }
    void MoveStepMarker(int step) override { markerSteps.push_back(step); }
    void EnableButtons() override { ++enables; }
    void DisableButtons() override {}
    void PictureSaved() override { ++saves; }
    std::vector<QString> shown;
    std::vector<QImage> pictures;
    std::vector<int> markerSteps;
    int enables = 0, saves = 0;

private:
    WorkingPicture& picture_;
};

// One test's world: a scratch folder for settings and working files, the real
// library built beside the tests, and scripted boxes, dialogs and time.
struct World {
    explicit World(QStringList pixmillCandidates = {QStringLiteral(RASTIV_PIXMILL_PATH)})
        : pixmill(std::move(pixmillCandidates)),
          settings(QString::fromStdString(tmp.path("settings.ini"))),
          link(clock, messages, g.gHelpFile),
          batch(pixmill, messages),
          env{g, pixmill, messages, files, settings, clock, desktop, link, batch,
              QString::fromStdString(tmp.path("work"))} {
        g.gHelpFile = QStringLiteral("/opt/rastiv/help/index.html");
        link.setBatchCopy([this](const QByteArray& s) { batch.WriteBatchFile(s); });
        std::filesystem::create_directories(tmp.path("work"));
        std::filesystem::create_directories(tmp.path("in"));
        std::filesystem::create_directories(tmp.path("out"));
        pixmill.setProblemReporter(
            [this](const QString& t) { tell(env, t, QStringLiteral("Image Library Problem"), MsgIcon::Stop); });
    }
    QString path(const char* name) const { return QString::fromStdString(tmp.path(name)); }
    QString working() const { return env.workPath("tmpfile.bmp"); }
    // The line as a connection leaves it: a virtual printer, open and answered.
    void connectVirtualPrinter() {
        PortError error;
        connectPrinter(link, std::make_unique<VirtualPrinter>(clock), {kVirtualPrinterDevice, 9600, 'N'}, error);
    }
    // A black-and-white working bitmap, loaded as the main window would leave it.
    void workingBitmap(int32_t width, int32_t height) {
        using namespace testing_support;
        BmpBuilder(width, height, 1).colours({kBlack, kWhite}).each([](uint32_t x, uint32_t y) {
            return (x / 3 + y) % 2;
        }).write(working().toStdString());
        picture.current = working();
        picture.width = uint32_t(width);
        picture.height = uint32_t(height);
    }

    testing_support::TempDir tmp;
    modGlobal g;
    WorkingPicture picture;  // the main window's, for the dialogs tested alone
    PixmillBinding pixmill;
    ScriptedMessages messages;
    ScriptedFiles files;
    SettingsStore settings;
    VirtualClock clock;
    RecordingDesktop desktop;
    CommLink link;
    BatchRecording batch;
    Env env;
};

// A World for the dialogs of the picture steps on their own: they work on the
// working bitmap (made from `bitmap` when given), the screen red, and report
// to a recorded main window.
struct PictureWorld : World {
    RecordingWorkflow main{picture};
    explicit PictureWorld(const std::optional<testing_support::BmpBuilder>& bitmap = {}) {
        picture.current = working();
        g.gScreenRed = true;
        if (!bitmap) return;
        bitmap->write(working().toStdString());
        main.ReadBitmapSize(working());
    }
};

// Runs f on the next visible modal dialog of type T (and this title, when
// given) once its event loop runs (exec() blocks); others pass by.
template <class T = QDialog>
void whenModal(std::type_identity_t<std::function<void(T*)>> f, QString title = {}, int triesLeft = 2000) {
    QTimer::singleShot(0, [f = std::move(f), title, triesLeft]() mutable {
        auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
        if (d && d->isVisible() && (title.isEmpty() || d->windowTitle() == title)) f(d);
        else if (triesLeft > 0) whenModal<T>(std::move(f), title, triesLeft - 1);
    });
}

// "1D 23 F0" -> the three bytes.
inline QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

// The whole of a file, empty when there is none.
inline QByteArray fileBytes(const QString& path) {
    const testing_support::ByteVec v = testing_support::readFile(path.toStdString());
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

// An 8-bit picture with black, white, pure red and pure blue in its palette;
// each pixel's index is (x + 2y) % 4, so every position can be told apart
// after a rotation when the picture is small.
inline testing_support::BmpBuilder palettePicture(int32_t w, int32_t h) {
    using namespace testing_support;
    BmpBuilder b(w, h, 8);
    b.colours({kBlack, kWhite, kRed, kBlue});
    for (uint32_t i = 4; i < 256; ++i) b.entry(i, kWhite);
    b.each([](uint32_t x, uint32_t y) { return (x + 2 * y) % 4; });
    return b;
}

}  // namespace rastiv::testing
