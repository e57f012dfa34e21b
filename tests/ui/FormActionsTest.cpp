// What the window's buttons and keys do: Enter, the file and font dialogs,
// composing, and the warning and error boxes.

#include "UiTestSupport.h"

#include "support/TestSupport.h"
#include "ui/PreviewImage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace morvaleth::test {
namespace {

enum class Pressed { Ref, Create, Font };

struct EnterCase {
    const char* focus;
    Pressed pressed;
};

void PrintTo(const EnterCase& c, std::ostream* out)
{
    *out << c.focus;
}

class Enter : public ::testing::TestWithParam<EnterCase> {};

TEST_P(Enter, PressesTheFocusedButtonOrElseHBtnRef)
{
    TFormFixture fixture;
    QWidget* focus = fixture.Find<QWidget>(GetParam().focus);
    focus->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), focus);
    QDialog* ranDialog = nullptr;
    if (GetParam().pressed != Pressed::Create)
        fixture.runner->answers.push_back([&](QDialog& dialog) {
            ranDialog = &dialog;
            return false;
        });

    QTest::keyClick(focus, Qt::Key_Return);

    switch (GetParam().pressed) {
    case Pressed::Ref:
        EXPECT_EQ(ranDialog, fixture.form->OpenDialog());
        EXPECT_TRUE(fixture.runner->messages.empty());
        break;
    case Pressed::Font:
        EXPECT_EQ(ranDialog, fixture.form->FontDialog());
        break;
    case Pressed::Create:
        // The path is empty: Create warns.
        EXPECT_EQ(fixture.runner->dialogsRun, 0);
        ASSERT_EQ(fixture.runner->messages.size(), 1u);
        EXPECT_EQ(fixture.runner->messages[0].caption, "警告");
        break;
    }
    // Enter moves the default back once the focus leaves a button.
    fixture.Find<QWidget>("HEditX")->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(fixture.Find<QPushButton>("HBtnRef")->isDefault());
}

INSTANTIATE_TEST_SUITE_P(Focus, Enter,
                         ::testing::Values(EnterCase{"HEditPath", Pressed::Ref},
                                           EnterCase{"HEditX", Pressed::Ref},
                                           EnterCase{"HEditY", Pressed::Ref},
                                           EnterCase{"HChkBox", Pressed::Ref},
                                           EnterCase{"HChkVertical", Pressed::Ref},
                                           EnterCase{"HChkFaceMix", Pressed::Ref},
                                           EnterCase{"HScrH", Pressed::Ref},
                                           EnterCase{"HScrV", Pressed::Ref},
                                           EnterCase{"HBtnRef", Pressed::Ref},
                                           EnterCase{"HBtnCreate", Pressed::Create},
                                           EnterCase{"Button1", Pressed::Font}),
                         [](const auto& info) { return std::string(info.param.focus); });

TEST(Escape, LeavesTheWindowOpen)
{
    TFormFixture fixture;
    QTest::keyClick(fixture.Find<QWidget>("HEditPath"), Qt::Key_Escape);
    EXPECT_TRUE(fixture.form->isVisible());
}

TEST(Create, WithAnEmptyPathWarnsAndChangesNothing)
{
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"));
    const std::shared_ptr<const PixelPicture> earlier = fixture.form->Picture();
    ASSERT_NE(earlier, nullptr);

    fixture.Compose("");

    ASSERT_EQ(fixture.runner->messages.size(), 1u);
    const TMessageBox& warning = fixture.runner->messages[0];
    EXPECT_EQ(warning.caption, "警告");
    EXPECT_EQ(warning.text, "元になるテキストファイルを選択して下さい。");
    EXPECT_EQ(warning.icon, TMessageIcon::Exclamation);
    EXPECT_EQ(fixture.form->Picture(), earlier);
    EXPECT_EQ(fixture.Find<TPreviewImage>("HImage")->Picture(), earlier);
}

TEST(Create, PutsThePictureInThePreviewAtItsOwnSizeWithoutCopyingIt)
{
    TFormFixture fixture;
    fixture.Find<QCheckBox>("HChkBox")->setChecked(true);
    fixture.Compose(ExamplePath("letter-utf8.txt"), "1000", "700");

    ASSERT_TRUE(fixture.runner->messages.empty());
    const std::shared_ptr<const PixelPicture> picture = fixture.form->Picture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width(), 1000);
    EXPECT_EQ(picture->Height(), 700);
    const auto* image = fixture.Find<TPreviewImage>("HImage");
    EXPECT_EQ(image->geometry(), QRect(0, 0, 1000, 700));
    EXPECT_EQ(image->Picture(), picture);
    EXPECT_EQ(image->Image().constBits(), picture->ScanLine(0));
    // Something was drawn, and the preview shows it: the top-left character.
    const QImage shown = fixture.Find<QWidget>("HImgPanel")->grab().toImage();
    EXPECT_NE(shown.pixelColor(30, 30), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(30, 30), ImageCopyOf(picture).pixelColor(30, 30));
}

TEST(Create, ComposesAPathTypedByHandAndEnablesSave)
{
    TFormFixture fixture;
    auto* save = fixture.Find<QPushButton>("HBtnSave");
    EXPECT_FALSE(save->isEnabled());
    fixture.Compose(ExamplePath("letter-sjis.txt"));
    EXPECT_NE(fixture.form->Picture(), nullptr);
    EXPECT_TRUE(save->isEnabled());
}

TEST(Create, ComposesInColumnsAndMixedFacesWhenTheirBoxesAreTicked)
{
    TFormFixture fixture;
    fixture.Find<QCheckBox>("HChkVertical")->setChecked(true);
    fixture.Find<QCheckBox>("HChkFaceMix")->setChecked(true);
    const CompositionSettings settings = fixture.form->CurrentSettings();
    EXPECT_EQ(settings.writing, Writing::Columns);
    EXPECT_EQ(settings.faces, (FaceChoice{FaceMix::Japanese, {}, false}));

    fixture.Compose(ExamplePath("letter-utf8.txt"));
    ASSERT_TRUE(fixture.runner->messages.empty());
    const std::shared_ptr<const PixelPicture> picture = fixture.form->Picture();
    ASSERT_NE(picture, nullptr);
    // The first column stands at the right edge: the top-left corner is empty.
    const testing::InkBox ink = testing::InkOf(*picture);
    EXPECT_GT(ink.left, 300);
    EXPECT_LT(ink.right, 640);
}

struct FailureCase {
    const char* name;
    QString path;
    QString width;
    QString message;
};

void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class FailedRun : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedRun, ShowsTheErrorAndKeepsTheEarlierPicture)
{
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"));
    const std::shared_ptr<const PixelPicture> earlier = fixture.form->Picture();
    ASSERT_NE(earlier, nullptr);

    fixture.Compose(GetParam().path, GetParam().width);

    ASSERT_EQ(fixture.runner->messages.size(), 1u);
    const TMessageBox& error = fixture.runner->messages[0];
    EXPECT_EQ(error.caption, "Morvaleth");
    EXPECT_EQ(error.text, GetParam().message);
    EXPECT_EQ(error.icon, TMessageIcon::Stop);
    EXPECT_EQ(fixture.form->Picture(), earlier);
    EXPECT_EQ(fixture.Find<TPreviewImage>("HImage")->Picture(), earlier);
    EXPECT_TRUE(fixture.Find<QPushButton>("HBtnSave")->isEnabled());

    // The window carries on.
    fixture.Compose(ExamplePath("letter-ascii.txt"), "320", "200");
    EXPECT_EQ(fixture.runner->messages.size(), 1u);
    ASSERT_NE(fixture.form->Picture(), earlier);
    EXPECT_EQ(fixture.form->Picture()->Width(), 320);
    EXPECT_EQ(fixture.Find<TPreviewImage>("HImage")->size(), QSize(320, 200));
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedRun,
    ::testing::Values(
        FailureCase{"MissingFile", QDir::tempPath() + "/no such letter.txt", "640",
                    "ﾌｧｲﾙが見つかりません."},
        FailureCase{"Folder", QDir::tempPath(), "640", "ﾌｧｲﾙではなくﾌｫﾙﾀﾞです."},
        FailureCase{"WidthNotAnInteger", ExamplePath("letter-ascii.txt"), "64O",
                    "'64O' は整数ではありません."},
        FailureCase{"WidthWithATrailingSpace", ExamplePath("letter-ascii.txt"), "640 ",
                    "'640 ' は整数ではありません."}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs `inspect` on the next modal window that opens, then closes it with
// `closingKey`.
void InspectNextModal(const std::function<void(QWidget*)>& inspect, bool& inspected,
                      Qt::Key closingKey = Qt::Key_Return)
{
    auto* poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, [poll, inspect, &inspected, closingKey] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        poll->stop();
        poll->deleteLater();
        inspect(modal);
        inspected = true;
        QTest::keyClick(modal, closingKey);
    });
    poll->start(10);
}

struct BoxCase {
    const char* name;
    QString path;
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    Qt::Key closingKey;
};

void PrintTo(const BoxCase& c, std::ostream* out)
{
    *out << c.name;
}

class Boxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(Boxes, AreModalCentredAndHaveOneOkButton)
{
    const BoxCase& expected = GetParam();
    THFormMain form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.findChild<QLineEdit*>("HEditPath")->setText(expected.path);
    bool inspected = false;
    InspectNextModal(
        [&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), expected.caption);
            EXPECT_EQ(box->text(), expected.text);
            EXPECT_EQ(box->icon(), expected.icon);
            ASSERT_EQ(box->buttons().size(), 1);
            EXPECT_EQ(box->standardButton(box->buttons()[0]), QMessageBox::Ok);
            EXPECT_EQ(box->frameGeometry().center(), box->screen()->geometry().center());
        },
        inspected, expected.closingKey);
    QTest::mouseClick(form.findChild<QPushButton*>("HBtnCreate"), Qt::LeftButton);
    EXPECT_TRUE(inspected);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Window, Boxes,
    ::testing::Values(BoxCase{"Error", QDir::tempPath() + "/no such letter.txt", "Morvaleth",
                              "ﾌｧｲﾙが見つかりません.", QMessageBox::Critical, Qt::Key_Return},
                      BoxCase{"Warning", "", "警告", "元になるテキストファイルを選択して下さい。",
                              QMessageBox::Warning, Qt::Key_Escape}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OpenDialog, ReturnsATypedNameWithTxtAppendedAndRemembersIt)
{
    TFormFixture fixture;
    QTemporaryDir folder;
    const QString typed = folder.filePath("not written yet");
    fixture.runner->answers.push_back(TypeName(typed));
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnRef"), Qt::LeftButton);

    auto* path = fixture.Find<QLineEdit>("HEditPath");
    EXPECT_EQ(path->text(), typed + ".txt");
    EXPECT_FALSE(QFile::exists(path->text()));
    // Choosing a file is no picture yet.
    EXPECT_FALSE(fixture.Find<QPushButton>("HBtnSave")->isEnabled());

    QString prefilled;
    fixture.runner->answers.push_back([&](QDialog& dialog) {
        return ExecDriven(dialog, [&] {
            prefilled = dialog.findChild<QLineEdit*>("fileNameEdit")->text();
            dialog.reject();
        });
    });
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnRef"), Qt::LeftButton);
    EXPECT_EQ(prefilled, "not written yet.txt");
    EXPECT_EQ(path->text(), typed + ".txt");
}

// A file chosen as it is keeps its name, extension or not.
TEST(OpenDialog, KeepsTheNameOfAnExistingFileWithoutAnExtension)
{
    TFormFixture fixture;
    QTemporaryDir folder;
    const QString chosen = folder.filePath("LETTER");
    QFile file(chosen);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    fixture.runner->answers.push_back(TypeName(chosen));
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnRef"), Qt::LeftButton);
    EXPECT_EQ(fixture.Find<QLineEdit>("HEditPath")->text(), chosen);
}

TEST(OpenDialog, CancelledChangesNothing)
{
    TFormFixture fixture;
    auto* path = fixture.Find<QLineEdit>("HEditPath");
    path->setText("typed by hand");
    fixture.runner->answers.push_back(Cancel);
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnRef"), Qt::LeftButton);
    EXPECT_EQ(path->text(), "typed by hand");
    EXPECT_FALSE(fixture.Find<QPushButton>("HBtnSave")->isEnabled());
}

TEST(OpenDialog, AppearsCentredWithAThirdOfTheSpareHeightAbove)
{
    TFormFixture fixture;
    QRect shownAt;
    QRect screen;
    fixture.runner->answers.push_back([&](QDialog& dialog) {
        return ExecDriven(dialog, [&] {
            shownAt = dialog.frameGeometry();
            screen = dialog.screen()->geometry();
            dialog.reject();
        });
    });
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnRef"), Qt::LeftButton);
    ASSERT_TRUE(shownAt.isValid());
    EXPECT_EQ(shownAt.x() - screen.x(), (screen.width() - shownAt.width()) / 2);
    EXPECT_EQ(shownAt.y() - screen.y(), (screen.height() - shownAt.height()) / 3);
}

TEST(FontDialog, StartsFromTheCompositionFontAndSetsFaceAndSize)
{
    TFormFixture fixture;
    QFont offered;
    fixture.runner->answers.push_back([&](QDialog& dialog) {
        auto& fonts = static_cast<QFontDialog&>(dialog);
        offered = fonts.currentFont();
        QFont chosen("IPAMincho");
        chosen.setPointSize(30);
        fonts.setCurrentFont(chosen);
        return true;
    });
    QTest::mouseClick(fixture.Find<QPushButton>("Button1"), Qt::LeftButton);

    EXPECT_EQ(QFontInfo(offered).family(), "IPAPGothic");
    EXPECT_EQ(offered.pointSize(), 20);
    const CompositionSettings settings = fixture.form->CurrentSettings();
    EXPECT_EQ(settings.faceName, "IPAMincho");
    EXPECT_EQ(settings.size, 30);

    fixture.runner->answers.push_back([&](QDialog& dialog) {
        offered = static_cast<QFontDialog&>(dialog).currentFont();
        static_cast<QFontDialog&>(dialog).setCurrentFont(QFont("IPAGothic", 8));
        return false;
    });
    QTest::mouseClick(fixture.Find<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(offered.family(), "IPAMincho");
    EXPECT_EQ(offered.pointSize(), 30);
    EXPECT_EQ(fixture.form->CurrentSettings().faceName, "IPAMincho");
    EXPECT_EQ(fixture.form->CurrentSettings().size, 30);
}

TEST(FontDialog, ALatinFaceStaysTheFaceChosen)
{
    TFormFixture fixture;
    fixture.runner->answers.push_back([&](QDialog& dialog) {
        static_cast<QFontDialog&>(dialog).setCurrentFont(QFont("DejaVu Serif", 20));
        return true;
    });
    QTest::mouseClick(fixture.Find<QPushButton>("Button1"), Qt::LeftButton);
    QFont offered;
    fixture.runner->answers.push_back([&](QDialog& dialog) {
        offered = static_cast<QFontDialog&>(dialog).currentFont();
        return false;
    });
    QTest::mouseClick(fixture.Find<QPushButton>("Button1"), Qt::LeftButton);
    EXPECT_EQ(QFontInfo(offered).family(), "DejaVu Serif");
    EXPECT_EQ(fixture.form->CurrentSettings().faceName, "DejaVu Serif");
}

TEST(Create, FullWidthSizesReadAsTheirAsciiForms)
{
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"), "　６４０", "＄１Ｅ０");
    ASSERT_TRUE(fixture.runner->messages.empty());
    EXPECT_EQ(fixture.form->Picture()->Width(), 640);
    EXPECT_EQ(fixture.form->Picture()->Height(), 480);
}

// How many of the picture's pixels have exactly that colour.
int PixelsOf(const QImage& image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == colour;
    return count;
}

class RealMode : public ::testing::TestWithParam<bool> {};

// Scraps are filled grey and silver polygons: thousands of pixels of exactly
// those colours, where text alone gives next to none.
TEST_P(RealMode, TheBoxDecidesWhetherCharactersSitOnScraps)
{
    TFormFixture fixture;
    if (GetParam())
        QTest::mouseClick(fixture.Find<QCheckBox>("HChkBox"), Qt::LeftButton);
    ASSERT_EQ(fixture.Find<QCheckBox>("HChkBox")->isChecked(), GetParam());
    fixture.Compose(ExamplePath("letter-sjis.txt"));
    ASSERT_NE(fixture.form->Picture(), nullptr);
    const QImage picture = ImageCopyOf(fixture.form->Picture());
    for (const QRgb scrap : {qRgb(0x80, 0x80, 0x80), qRgb(0xC0, 0xC0, 0xC0)}) {
        if (GetParam()) {
            EXPECT_GT(PixelsOf(picture, scrap), 2000) << std::hex << scrap;
        } else {
            EXPECT_LT(PixelsOf(picture, scrap), 200) << std::hex << scrap;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Box, RealMode, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Ticked" : "Unticked"; });

} // namespace
} // namespace morvaleth::test
