// The window program's command line: morvaleth [FILE], --help, --version, and
// usage mistakes; and a file given there composed once the window shows.

#include "UiTestSupport.h"

#include "ui/StartUp.h"

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
    QStringList arguments;
    std::optional<int> exitStatus;
    QString file;
    QStringList textHas;
};

void PrintTo(const ArgumentsCase& c, std::ostream* out)
{
    *out << c.name;
}

class Arguments : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(Arguments, AreReadTheQtWay)
{
    const ArgumentsCase& c = GetParam();
    const QString version = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7"));
    const TStartUp start = ReadArguments(QStringList{QStringLiteral("morvaleth")} + c.arguments);
    QCoreApplication::setApplicationVersion(version);
    EXPECT_EQ(start.exitStatus, c.exitStatus);
    EXPECT_EQ(start.file, c.file);
    for (const QString& part : c.textHas)
        EXPECT_TRUE(start.text.contains(part)) << start.text.toStdString() << "\nlacks " << part.toStdString();
    if (c.textHas.isEmpty()) {
        EXPECT_TRUE(start.text.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Arguments,
    ::testing::Values(
        ArgumentsCase{"None", {}, std::nullopt, "", {}},
        ArgumentsCase{"AFile", {"letter.txt"}, std::nullopt, "letter.txt", {}},
        ArgumentsCase{"AFileAfterTheOptionsEnd", {"--", "--odd.txt"}, std::nullopt, "--odd.txt", {}},
        ArgumentsCase{"Help", {"--help"}, 0, "", {"[FILE]", "--help", "--version", "すぐに画像にするテキストファイル"}},
        ArgumentsCase{"ShortHelp", {"-h"}, 0, "", {"[FILE]"}},
        ArgumentsCase{"Version", {"--version"}, 0, "", {"Morvaleth 9.8.7\n"}},
        ArgumentsCase{"UnknownOption", {"--bogus"}, 2, "", {"'bogus' は未知のオプションです", "[FILE]"}},
        ArgumentsCase{"UnknownShortOption", {"-q", "letter.txt"}, 2, "", {"'q' は未知のオプションです", "[FILE]"}},
        ArgumentsCase{"TwoFiles", {"a.txt", "b.txt"}, 2, "", {"'b.txt'", "[FILE]"}}),
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
