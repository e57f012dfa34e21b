// The window program's command line: morvaleth [FILE], --help, --version, and
// usage mistakes; and a file given there composed once the window shows.

#include "UiTestSupport.h"

#include "support/RunProgram.h"
#include "ui/StartUp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>

namespace morvaleth::test {
namespace {

struct ArgumentsCase {
    const char* name;
    std::vector<std::string> arguments;
    std::optional<int> exitStatus;
    QString file;
    QStringList textHas;
};

void PrintTo(const ArgumentsCase& c, std::ostream* out)
{
    *out << c.name;
}

class Arguments : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(Arguments, AreReadBeforeTheDisplayIsOpened)
{
    const ArgumentsCase& c = GetParam();
    std::vector<std::string> arguments{"morvaleth"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const TStartUp start = ReadArguments(arguments, QStringLiteral("9.8.7"));
    EXPECT_EQ(start.exitStatus, c.exitStatus);
    EXPECT_EQ(start.file, c.file);
    for (const QString& part : c.textHas)
        EXPECT_TRUE(start.text.contains(part)) << start.text.toStdString() << "\nlacks " << part.toStdString();
    if (c.textHas.isEmpty()) {
        EXPECT_TRUE(start.text.isEmpty());
    }
    // One language: the help says nothing in English.
    for (const char* english : {"Usage", "Options", "Displays", "Arguments", "Unknown"})
        EXPECT_FALSE(start.text.contains(QLatin1String(english))) << english;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Arguments,
    ::testing::Values(
        ArgumentsCase{"None", {}, std::nullopt, "", {}},
        ArgumentsCase{"AFile", {"letter.txt"}, std::nullopt, "letter.txt", {}},
        ArgumentsCase{"AFileAfterTheOptionsEnd", {"--", "--odd.txt"}, std::nullopt, "--odd.txt", {}},
        ArgumentsCase{"StandardInputIsAFile", {"-"}, std::nullopt, "-", {}},
        ArgumentsCase{"Help", {"--help"}, 0, "", {"使い方: morvaleth [ｵﾌﾟｼｮﾝ] [ﾌｧｲﾙ]", "--help", "--version", "すぐに画像にするテキストファイル"}},
        ArgumentsCase{"ShortHelp", {"-h"}, 0, "", {"使い方"}},
        ArgumentsCase{"Version", {"--version"}, 0, "", {"Morvaleth 9.8.7\n"}},
        ArgumentsCase{"ShortVersion", {"-v", "letter.txt"}, 0, "", {"Morvaleth 9.8.7\n"}},
        // Qt's own options, with their values, are Qt's.
        ArgumentsCase{"QtsOptions", {"-platform", "offscreen", "--style=fusion", "-reverse", "letter.txt"}, std::nullopt,
                      "letter.txt", {}},
        ArgumentsCase{"QtsOptionWithoutItsValue", {"-platform"}, 2, "", {"ｵﾌﾟｼｮﾝ '-platform' には値が要ります"}},
        // An unknown option is named whole, as given.
        ArgumentsCase{"UnknownOption", {"--bogus"}, 2, "", {"'--bogus' は未知のｵﾌﾟｼｮﾝです", "使い方"}},
        ArgumentsCase{"UnknownShortOptions", {"-qq", "letter.txt"}, 2, "", {"'-qq' は未知のｵﾌﾟｼｮﾝです"}},
        ArgumentsCase{"AFileNameLikeAnOption", {"-dash.txt"}, 2, "", {"'-dash.txt' は未知のｵﾌﾟｼｮﾝです"}},
        ArgumentsCase{"TwoFiles", {"a.txt", "b.txt"}, 2, "", {"'b.txt'", "使い方"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The program itself, where no display can be opened: what only prints
// prints, and ends as it says, without the window system.
struct WithoutDisplayCase {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    std::string out;
    std::string err;
};

void PrintTo(const WithoutDisplayCase& c, std::ostream* out)
{
    *out << c.name;
}

class WithoutADisplay : public ::testing::TestWithParam<WithoutDisplayCase> {};

TEST_P(WithoutADisplay, PrintsAndEnds)
{
    const WithoutDisplayCase& c = GetParam();
    testing::ChildSetup setup;
    setup.environment = {"QT_QPA_PLATFORM=xcb", "DISPLAY=", "WAYLAND_DISPLAY="};
    const testing::ProgramResult result = testing::RunProgram("morvaleth", c.arguments, "/dev/null", setup);
    EXPECT_EQ(result.signal, 0) << result.err;
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_THAT(result.out, ::testing::StartsWith(c.out));
    EXPECT_THAT(result.err, ::testing::StartsWith(c.err));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, WithoutADisplay,
    ::testing::Values(WithoutDisplayCase{"Help", {"--help"}, 0, "使い方: morvaleth", ""},
                      WithoutDisplayCase{"ShortHelp", {"-h"}, 0, "使い方: morvaleth", ""},
                      WithoutDisplayCase{"Version", {"--version"}, 0, "Morvaleth " MORVALETH_TEST_VERSION "\n", ""},
                      WithoutDisplayCase{"ShortVersion", {"-v"}, 0, "Morvaleth " MORVALETH_TEST_VERSION "\n", ""},
                      WithoutDisplayCase{"UnknownOption", {"-dash.txt"}, 2, "", "'-dash.txt' は未知のｵﾌﾟｼｮﾝです\n\n使い方"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartUp, AFileGivenIsComposedOnceTheWindowShows)
{
    auto runner = std::make_shared<TRecordingRunner>();
    THFormMain form(runner);
    const QString letter = ExamplePath("letter-sjis.txt");
    const QString relative = QDir::current().relativeFilePath(letter);
    form.ComposeWhenShown(relative);
    EXPECT_EQ(form.findChild<QLineEdit*>("HEditPath")->text(), letter) << "the full path, as chosen";
    EXPECT_EQ(form.Picture(), nullptr) << "nothing composes before the window shows";
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Picture() != nullptr; }));
    EXPECT_EQ(form.Picture()->Width(), 640);
    EXPECT_TRUE(runner->messages.empty());
}

TEST(StartUp, TheApplicationIsNamedByTheDesktopEntryItInstalls)
{
    // Wayland compositors look the window's icon and name up by this name.
    const QString name = QGuiApplication::desktopFileName();
    ASSERT_FALSE(name.isEmpty());
    QFile entry(QStringLiteral(MORVALETH_SOURCE_DIR "/data/") + name + QStringLiteral(".desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly)) << entry.fileName().toStdString();
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.contains("\nExec=morvaleth %f\n"));
    EXPECT_TRUE(text.contains("\nName=Morvaleth\n"));
}

} // namespace
} // namespace morvaleth::test
