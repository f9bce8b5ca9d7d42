#include "ui/common/headless.hpp"

#include <QCommandLineParser>
#include <QLoggingCategory>
#include <gtest/gtest.h>

using namespace rastiv;

namespace {
QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> vars) {
    QProcessEnvironment env;
    for (const auto& [name, value] : vars) env.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return env;
}

QStringList line(const char* text) { return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts); }
}  // namespace

TEST(NoDisplay, ADisplayIsNamedByAnyOfTheVariablesOrAPlatformArgument) {
    const QStringList plain = line("rastiv picture.bmp");
    EXPECT_FALSE(displayNamed(environment({}), plain));
    EXPECT_FALSE(displayNamed(environment({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}), plain));
    EXPECT_TRUE(displayNamed(environment({{"DISPLAY", ":0"}}), plain));
    EXPECT_TRUE(displayNamed(environment({{"WAYLAND_DISPLAY", "wayland-0"}}), plain));
    EXPECT_TRUE(displayNamed(environment({{"QT_QPA_PLATFORM", "offscreen"}}), plain));
    EXPECT_TRUE(displayNamed(environment({}), line("rastiv -platform offscreen")));
    EXPECT_TRUE(displayNamed(environment({}), line("rastiv picture.bmp --platform offscreen")));
    // After "--" it is a file name, not Qt's option.
    EXPECT_FALSE(displayNamed(environment({}), line("rastiv -- -platform")));
}

TEST(NoDisplay, HelpAndVersionAreFoundAmongOptionsOnlyQtKnows) {
    struct Row {
        const char* args;
        bool asks;
    } rows[] = {
        {"rastiv --help", true},       {"rastiv -h", true},          {"rastiv -v", true},
        {"rastiv -platform offscreen -v", true}, {"rastiv picture.bmp", false}, {"rastiv --help-all", false},
        {"rastiv -- --help", false},
    };
    for (const Row& r : rows) {
        QCommandLineParser options;
        options.addHelpOption();
        options.addVersionOption();
        EXPECT_EQ(asksForHelpOrVersion(options, line(r.args)), r.asks) << r.args;
    }
}

TEST(NoDisplay, TheRefusalIsOneLineWithQtsFirstPlatformReason) {
    using Kept = PlatformStartGuard::Kept;
    const std::vector<Kept> kept{{QtDebugMsg, "qt.core", QStringLiteral("unrelated")},
                                 {QtWarningMsg, "qt.qpa.xcb", QStringLiteral("could not connect to display :7")},
                                 {QtWarningMsg, "qt.qpa.plugin", QStringLiteral("Could not load \"xcb\"")}};
    const QString fatal = QStringLiteral("This application failed to start.\n\nAvailable platform plugins are: xcb.");
    EXPECT_EQ(PlatformStartGuard::reason(kept, fatal), QStringLiteral("could not connect to display :7"));
    EXPECT_EQ(PlatformStartGuard::reason({}, fatal), QStringLiteral("This application failed to start."));
    EXPECT_FALSE(noDisplayLine(PlatformStartGuard::reason({}, fatal)).contains(u'\n'));
}

namespace {
QStringList gHeard;
void hear(QtMsgType, const QMessageLogContext& context, const QString& text) {
    gHeard << QStringLiteral("%1: %2").arg(QString::fromLatin1(context.category ? context.category : "?"), text);
}
}  // namespace

TEST(NoDisplay, MessagesKeptWhileStartingReachThePreviousHandlerAfterwards) {
    gHeard.clear();
    const QtMessageHandler before = qInstallMessageHandler(hear);
    {
        PlatformStartGuard starting;
        // A category that outlives the message: the macro keeps a reference to it.
        static const QLoggingCategory platform("qt.qpa.test");
        qCWarning(platform) << "slow display";
        EXPECT_TRUE(gHeard.isEmpty());
    }
    qInstallMessageHandler(before);
    EXPECT_EQ(gHeard, QStringList{QStringLiteral("qt.qpa.test: slow display")});
}
