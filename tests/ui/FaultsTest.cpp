// The window under faults: a source that cannot be opened or read, a size the
// picture refuses, a save that cannot be created or written. Each ends in the
// error box and leaves the window as it was: the picture, the preview and
// where it was scrolled to, the Save button, what the user typed, and on disk
// an earlier picture byte for byte. Then the window composes and saves again.

#include "UiTestSupport.h"

#include "ui/PreviewImage.h"
#include "ui/ScrollBar.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <variant>

namespace morvaleth::test {
namespace {

// While it lives, this process acts as nobody: permissions then bind as they
// do for a user, also when the tests run as root. Only the effective ids
// change, so that the process can become root again.
class TUnprivileged {
public:
    TUnprivileged() { active_ = ::geteuid() == 0 && ::setegid(65534) == 0 && ::seteuid(65534) == 0; }
    ~TUnprivileged()
    {
        if (active_ && ::seteuid(0) == 0)
            ::setegid(0);
    }
    TUnprivileged(const TUnprivileged&) = delete;
    TUnprivileged& operator=(const TUnprivileged&) = delete;

private:
    bool active_ = false;
};

// While it lives, every file descriptor this process may have is in use: the
// open-files limit stands at the lowest free one.
class TOpenFilesUsedUp {
public:
    TOpenFilesUsedUp()
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowestFree);
        rlimit limit = saved_;
        limit.rlim_cur = rlim_t(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    ~TOpenFilesUsedUp() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    TOpenFilesUsedUp(const TOpenFilesUsedUp&) = delete;
    TOpenFilesUsedUp& operator=(const TOpenFilesUsedUp&) = delete;

private:
    rlimit saved_{};
};

// While it lives, no file may grow beyond 64 KiB: a write past that fails
// with EFBIG rather than ending the process with SIGXFSZ.
class TFileSizeLimited {
public:
    TFileSizeLimited()
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimited()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedHandler_);
    }
    TFileSizeLimited(const TFileSizeLimited&) = delete;
    TFileSizeLimited& operator=(const TFileSizeLimited&) = delete;

private:
    rlimit saved_{};
    void (*savedHandler_)(int) = SIG_DFL;
};

enum class Fault { None, Unprivileged, OpenFilesUsedUp, FileSizeLimited };

using TFaultScope = std::variant<std::monostate, TUnprivileged, TOpenFilesUsedUp, TFileSizeLimited>;

void Enter(TFaultScope& scope, Fault fault)
{
    switch (fault) {
    case Fault::None:
        break;
    case Fault::Unprivileged:
        scope.emplace<TUnprivileged>();
        break;
    case Fault::OpenFilesUsedUp:
        scope.emplace<TOpenFilesUsedUp>();
        break;
    case Fault::FileSizeLimited:
        scope.emplace<TFileSizeLimited>();
        break;
    }
}

// Everything of the window a failed run or save must leave as it was.
struct TWindowState {
    std::shared_ptr<const PixelPicture> picture;
    std::shared_ptr<const PixelPicture> preview;
    QImage pixels;
    QRect image;
    int horizontal = 0;
    int vertical = 0;
    int horizontalMax = 0;
    int verticalMax = 0;
    bool saveEnabled = false;
    QString path, width, height;

    friend bool operator==(const TWindowState&, const TWindowState&) = default;
};

void PrintTo(const TWindowState& state, std::ostream* out)
{
    *out << "picture " << state.picture.get() << ", preview " << state.preview.get() << " at ("
         << state.image.x() << ", " << state.image.y() << "), bars " << state.horizontal << "/"
         << state.horizontalMax << " and " << state.vertical << "/" << state.verticalMax << ", Save "
         << (state.saveEnabled ? "on" : "off") << ", edits '" << state.path.toStdString() << "' '"
         << state.width.toStdString() << "' '" << state.height.toStdString() << "'";
}

struct TFaultFixture : TFormFixture {
    TWindowState State() const
    {
        const auto* image = Find<TPreviewImage>("HImage");
        return {form->Picture(),
                image->Picture(),
                ImageCopyOf(form->Picture()),
                image->geometry(),
                Find<TScrollBar>("HScrH")->Position(),
                Find<TScrollBar>("HScrV")->Position(),
                Find<TScrollBar>("HScrH")->Max(),
                Find<TScrollBar>("HScrV")->Max(),
                Find<QPushButton>("HBtnSave")->isEnabled(),
                Find<QLineEdit>("HEditPath")->text(),
                Find<QLineEdit>("HEditX")->text(),
                Find<QLineEdit>("HEditY")->text()};
    }

    // Fills the edits as the user would, without pressing anything.
    void Type(const QString& path, const QString& width, const QString& height)
    {
        Find<QLineEdit>("HEditPath")->setText(path);
        Find<QLineEdit>("HEditX")->setText(width);
        Find<QLineEdit>("HEditY")->setText(height);
    }

    QTemporaryDir folder;
};

struct FaultCase {
    const char* name = "";
    // Composing: the path (a name in the case's folder, or a full path) and
    // the size texts. Saving, when `saveAs` is not empty: that name in the
    // case's folder.
    QString path = {};
    QString width = "640";
    QString height = "480";
    QString saveAs = {};
    Fault fault = Fault::None;
    // Sets the case's folder up before the fault.
    std::function<void(const QString& folder)> prepare = {};
    QString message = {}; // "%1" stands for the folder
    QString detail = {};  // the system's reason below it, as the message
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.name;
}

QString InFolder(const QString& name, const QString& folder)
{
    return name.startsWith('/') ? name : folder + "/" + name;
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class WindowUnderFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(WindowUnderFaults, ShowsTheErrorAndCarriesOnAsItWas)
{
    const FaultCase& c = GetParam();
    TFaultFixture fixture;
    const QString folder = fixture.folder.path();
    const QByteArray earlier = "an earlier picture, which no failed save may touch";
    WriteBytes(folder + "/earlier.bmp", earlier);
    if (c.prepare)
        c.prepare(folder);
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);

    // A picture larger than the preview, scrolled away from its corner.
    fixture.Compose(ExamplePath("letter-sjis.txt"), "1000", "700");
    ASSERT_NE(fixture.form->Picture(), nullptr);
    QTest::keyClick(fixture.Find<TScrollBar>("HScrH"), Qt::Key_Right);
    fixture.Find<TScrollBar>("HScrV")->SetPosition(5);
    ASSERT_EQ(fixture.Find<TPreviewImage>("HImage")->pos(), QPoint(-8, -40));

    TFaultScope scope;
    if (c.saveAs.isEmpty()) {
        fixture.Type(InFolder(c.path, folder), c.width, c.height);
        const TWindowState before = fixture.State();
        Enter(scope, c.fault);
        QTest::mouseClick(fixture.Find<QPushButton>("HBtnCreate"), Qt::LeftButton);
        scope.emplace<std::monostate>();
        EXPECT_EQ(fixture.State(), before);
    } else {
        const TWindowState before = fixture.State();
        // The fault starts once the dialog has been answered: it is the
        // save that meets it.
        const QString saveAs = InFolder(c.saveAs, folder);
        const auto typeName = TypeName(saveAs, QFileInfo::exists(saveAs) ? TReplace::Yes : TReplace::NotAsked);
        fixture.runner->answers.push_back([&](QDialog& dialog) {
            const bool confirmed = typeName(dialog);
            Enter(scope, c.fault);
            return confirmed;
        });
        QTest::mouseClick(fixture.Find<QPushButton>("HBtnSave"), Qt::LeftButton);
        scope.emplace<std::monostate>();
        EXPECT_EQ(fixture.State(), before);
    }

    ASSERT_EQ(fixture.runner->messages.size(), 1u);
    EXPECT_EQ(fixture.runner->messages[0].caption, "Morvaleth");
    EXPECT_EQ(fixture.runner->messages[0].text, QString(c.message).replace("%1", folder));
    EXPECT_EQ(fixture.runner->messages[0].detail, QString(c.detail).replace("%1", folder));
    EXPECT_EQ(fixture.runner->messages[0].icon, TMessageIcon::Stop);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), entries)
        << "a file appeared or went";
    EXPECT_EQ(ReadBytes(folder + "/earlier.bmp"), earlier);
    struct stat full {};
    EXPECT_TRUE(::stat("/dev/full", &full) == 0 && S_ISCHR(full.st_mode)) << "/dev/full is no longer a device";

    // The window carries on: it composes and saves as before.
    ::chmod(folder.toLocal8Bit().constData(), 0700);
    fixture.Compose(ExamplePath("letter-ascii.txt"), "320", "200");
    ASSERT_EQ(fixture.runner->messages.size(), 1u) << fixture.runner->messages.back().text.toStdString();
    EXPECT_EQ(fixture.form->Picture()->Width(), 320);
    EXPECT_EQ(fixture.Find<TPreviewImage>("HImage")->geometry(), QRect(0, 0, 320, 200));
    fixture.runner->answers.push_back(TypeName(folder + "/earlier.bmp", TReplace::Yes));
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnSave"), Qt::LeftButton);
    EXPECT_EQ(fixture.runner->messages.size(), 1u);
    EXPECT_EQ(ReadBytes(folder + "/earlier.bmp").size(), 54 + 960 * 200);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WindowUnderFaults,
    ::testing::Values(
        // Sources that cannot be opened.
        FaultCase{.name = "MissingFile", .path = "missing.txt", .message = "ﾌｧｲﾙが見つかりません."},
        FaultCase{.name = "MissingFolderOnTheWay", .path = "gone/letter.txt", .message = "不正なﾌｧｲﾙ名です."},
        FaultCase{.name = "AFolder", .path = "/tmp", .message = "ﾌｧｲﾙではなくﾌｫﾙﾀﾞです."},
        FaultCase{.name = "ReadPermissionDenied", .path = "secret.txt", .fault = Fault::Unprivileged,
                  .prepare = [](const QString& folder) {
                      ::chmod(folder.toLocal8Bit().constData(), 0755);
                      WriteBytes(folder + "/secret.txt", "secret\r\n");
                      ::chmod((folder + "/secret.txt").toLocal8Bit().constData(), 0);
                  },
                  .message = "ﾌｧｲﾙへのｱｸｾｽが拒否されました."},
        FaultCase{.name = "TooManyOpenFiles", .path = ExamplePath("letter-ascii.txt"), .fault = Fault::OpenFilesUsedUp,
                  .message = "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます."},

        // Sizes the picture refuses or that are not numbers.
        FaultCase{.name = "WidthMinusOne", .path = ExamplePath("letter-ascii.txt"), .width = "-1", .message = "画像の大きさに負の数 -1 は使えません."},
        FaultCase{.name = "WidthHexMinusOne", .path = ExamplePath("letter-ascii.txt"), .width = "$FFFFFFFF", .message = "画像の大きさに負の数 -1 は使えません."},
        FaultCase{.name = "Huge", .path = ExamplePath("letter-ascii.txt"), .width = "99999", .height = "99999", .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません."},
        FaultCase{.name = "LargestBoth", .path = ExamplePath("letter-ascii.txt"), .width = "2147483647", .height = "2147483647", .message = "ｼｽﾃﾑ ﾘｿｰｽが足りません."},
        FaultCase{.name = "FullWidthDigitsAndATrailingSpace", .path = ExamplePath("letter-ascii.txt"), .width = "６４０　", .message = "'６４０　' は整数ではありません."},
        FaultCase{.name = "EmptyHeight", .path = ExamplePath("letter-ascii.txt"), .height = "", .message = "'' は整数ではありません."},

        // Saves that cannot be created or written.
        FaultCase{.name = "SaveIntoAMissingFolder", .saveAs = "gone/letter.bmp", .message = "ﾌｧｲﾙ %1/gone/letter.bmp を作成できません.",
                  .detail = "ﾌｫﾙﾀﾞ %1/gone がありません"},
        // A file the user may write, in a folder the user may not.
        FaultCase{.name = "SaveIntoAReadOnlyFolder", .saveAs = "earlier.bmp", .fault = Fault::Unprivileged,
                  .prepare = [](const QString& folder) {
                      ::chmod((folder + "/earlier.bmp").toLocal8Bit().constData(), 0666);
                      ::chmod(folder.toLocal8Bit().constData(), 0555);
                  },
                  .message = "ﾌｧｲﾙ %1/earlier.bmp を作成できません.", .detail = "ﾌｫﾙﾀﾞ %1 に書き込めません"},
        FaultCase{.name = "SaveOntoAFullDevice", .saveAs = "full.bmp",
                  .prepare = [](const QString& folder) {
                      ::symlink("/dev/full", (folder + "/full.bmp").toLocal8Bit().constData());
                  },
                  .message = "ｽﾄﾘｰﾑへの書き込みｴﾗｰ.", .detail = "ﾃﾞｨｽｸに空きがありません"},
        FaultCase{.name = "SaveHitsTheFileSizeLimitMidway", .saveAs = "earlier.bmp", .fault = Fault::FileSizeLimited,
                  .message = "ｽﾄﾘｰﾑへの書き込みｴﾗｰ.", .detail = "ﾌｧｲﾙ ｻｲｽﾞの上限を越えました"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace morvaleth::test
