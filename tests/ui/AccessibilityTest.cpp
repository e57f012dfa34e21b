// What a screen reader finds in the window: every control named in Japanese as
// its caption reads, and the preview described by the picture's size and the
// text it was composed from.

#include "UiTestSupport.h"

#include "ui/BackgroundRun.h"
#include "ui/PictureDescription.h"
#include "ui/SavePictureDialog.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <atomic>

namespace morvaleth::test {
namespace {

QString AccessibleText(QWidget* widget, QAccessible::Text which)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible == nullptr ? QString() : accessible->text(which);
}

struct NameCase {
    const char* control;
    const char* name;
};

void PrintTo(const NameCase& c, std::ostream* out)
{
    *out << c.control;
}

class AccessibleNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(AccessibleNames, AreTheCaptionsOrSayWhatTheControlHolds)
{
    TFormFixture fixture;
    QWidget* control = fixture.Find<QWidget>(GetParam().control);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(AccessibleText(control, QAccessible::Name), QString::fromUtf8(GetParam().name));
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        EXPECT_EQ(AccessibleText(control, QAccessible::Name), button->text()) << "a button reads as its caption";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Controls, AccessibleNames,
    ::testing::Values(NameCase{"HEditPath", "元になるテキストファイルの保管場所"}, NameCase{"HBtnRef", "参照..."},
                      NameCase{"HBtnSave", "保管..."}, NameCase{"HEditX", "画像の幅"},
                      NameCase{"HEditY", "画像の高さ"}, NameCase{"Button1", "ﾌｫﾝﾄ指定..."},
                      NameCase{"HChkVertical", "縦書き"}, NameCase{"HChkFaceMix", "書体ﾐｯｸｽ"},
                      NameCase{"HBtnCreate", "作成"}, NameCase{"HImgPanel", "プレビュー"},
                      NameCase{"HImage", "プレビュー画像"}, NameCase{"HScrH", "横スクロール"},
                      NameCase{"HScrV", "縦スクロール"}, NameCase{"HChkBox", "リアルモード"}),
    [](const auto& info) { return std::string(info.param.control); });

TEST(Accessibility, NoControlOfTheWindowIsNameless)
{
    TFormFixture fixture;
    int controls = 0;
    for (QWidget* widget : fixture.form->findChildren<QWidget*>()) {
        // The dialogs are windows of their own, labels name others.
        if (widget->window() != fixture.form.get() || widget->objectName().isEmpty() ||
            qobject_cast<QLabel*>(widget) != nullptr)
            continue;
        ++controls;
        EXPECT_FALSE(AccessibleText(widget, QAccessible::Name).isEmpty()) << widget->objectName().toStdString();
    }
    EXPECT_EQ(controls, 14);
    // The label above the path field names it too.
    EXPECT_EQ(fixture.Find<QLabel>("Label2")->buddy(), fixture.Find<QWidget>("HEditPath"));
}

TEST(Accessibility, TheDialogsOwnControlsAreNamedToo)
{
    TFormFixture fixture;
    TSavePictureDialog* save = fixture.form->SaveDialog();
    EXPECT_EQ(AccessibleText(save->PreviewButton(), QAccessible::Name), QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    EXPECT_EQ(AccessibleText(save->findChild<QWidget*>("PictureBox"), QAccessible::Name), QStringLiteral("画像"));
    TCancel cancel;
    TRunProgressDialog progress(cancel, fixture.form.get());
    EXPECT_EQ(AccessibleText(progress.Bar(), QAccessible::Name), QStringLiteral("作成中"));
    EXPECT_EQ(AccessibleText(progress.CancelButton(), QAccessible::Name), QStringLiteral("ｷｬﾝｾﾙ"));
}

// The example letter's text as the preview's description quotes it: line ends
// as "\n", at most DescribedCharacters characters (a line end is one).
QString QuotedLetter()
{
    QFile file(ExamplePath("letter-utf8.txt"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll()).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.size() > DescribedCharacters ? text.left(DescribedCharacters) + QStringLiteral("…") : text;
}

TEST(Accessibility, ThePreviewIsAPictureDescribedBySizeAndText)
{
    TFormFixture fixture;
    QWidget* image = fixture.Find<QWidget>("HImage");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(image)->role(), QAccessible::Graphic);
    EXPECT_TRUE(AccessibleText(image, QAccessible::Description).isEmpty()) << "no picture yet";

    // Shift-JIS, read as the run reads it.
    fixture.Compose(ExamplePath("letter-sjis.txt"), "700", "500");
    ASSERT_TRUE(fixture.runner->messages.empty());
    const QString described = AccessibleText(image, QAccessible::Description);
    EXPECT_EQ(described, QStringLiteral("700 × 500 ピクセルの画像。テキスト: ") + QuotedLetter());

    // A run that fails leaves the picture, and what describes it.
    fixture.Compose(ExamplePath("no-such-letter.txt"));
    ASSERT_EQ(fixture.runner->messages.size(), 1u);
    EXPECT_EQ(AccessibleText(image, QAccessible::Description), described);
}

struct ExcerptCase {
    const char* name;
    QByteArray bytes;
    QString excerpt;
};

void PrintTo(const ExcerptCase& c, std::ostream* out)
{
    *out << c.name;
}

class Excerpts : public ::testing::TestWithParam<ExcerptCase> {};

TEST_P(Excerpts, QuoteTheTextAsTheRunReadsIt)
{
    QTemporaryDir folder;
    QFile file(folder.filePath("text.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(GetParam().bytes);
    file.close();
    EXPECT_EQ(SourceExcerpt(QFile::encodeName(file.fileName()).toStdString(), SourceEncoding::Automatic, 5),
              GetParam().excerpt);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Excerpts,
    ::testing::Values(ExcerptCase{"Empty", "", ""}, ExcerptCase{"JustFits", "abcde", "abcde"},
                      ExcerptCase{"OneMore", "abcdef", "abcde…"},
                      ExcerptCase{"TheLastLineEndIsNoText", "abcde\r\n", "abcde"},
                      ExcerptCase{"LineEndsCount", "a\r\nb\rc\nd", "a\nb\nc…"},
                      ExcerptCase{"ControlsAreSpaces", "a\tb\x1b", "a b "},
                      ExcerptCase{"TheEndOfTextByteEndsIt", "ab\x1a" "cd", "ab"},
                      ExcerptCase{"ClustersAreOneCharacter", "か\xe3\x82\x99" "ab", "が" "ab"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Accessibility, APipeOrAMissingFileIsNotQuoted)
{
    EXPECT_EQ(SourceExcerpt("/dev/null", SourceEncoding::Automatic), QString());
    EXPECT_EQ(SourceExcerpt("/nonexistent/letter.txt", SourceEncoding::Automatic), QString());
    EXPECT_EQ(DescribePicture({640, 480}, QString()), QStringLiteral("640 × 480 ピクセルの画像"));
    EXPECT_EQ(DescribePicture({640, 480}, QStringLiteral(" \n")), QStringLiteral("640 × 480 ピクセルの画像"));
}

} // namespace
} // namespace morvaleth::test
