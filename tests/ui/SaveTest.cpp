// Saving the picture, and the save dialog's preview area.

#include "UiTestSupport.h"

#include "composer/Recipe.h"
#include "composer/encode/PictureFile.h"
#include "composer/encode/Png.h"
#include "composer/encode/Formats.h"
#include "ui/PreviewImage.h"
#include "ui/SavePictureDialog.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <unistd.h>

namespace morvaleth::test {
namespace {

struct TSaveFixture : TFormFixture {
    // Presses "保管..." and answers the dialog with `answer`.
    void Save(TRecordingRunner::Answer answer)
    {
        runner->answers.push_back(std::move(answer));
        QTest::mouseClick(Find<QPushButton>("HBtnSave"), Qt::LeftButton);
    }

    QByteArray StartOf(const QString& path, int bytes)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.read(bytes) : QByteArray();
    }

    QTemporaryDir folder;
};

TEST(Save, AppendsBmpToANameWithoutAnExtension)
{
    TSaveFixture fixture;
    fixture.Find<QCheckBox>("HChkBox")->setChecked(true);
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    fixture.Save(TypeName(fixture.folder.filePath("letter")));

    const QString written = fixture.folder.filePath("letter.bmp");
    ASSERT_TRUE(QFile::exists(written));
    EXPECT_EQ(fixture.StartOf(written, 2), "BM");
    EXPECT_EQ(QFile(written).size(), 54 + 640 * 3 * 480);
    EXPECT_EQ(QImage(written).convertToFormat(QImage::Format_RGB32),
              ImageCopyOf(fixture.form->Picture()));
    EXPECT_TRUE(fixture.runner->messages.empty());
}

// Saving over an earlier file asks first; No keeps the earlier picture.
TEST(Save, AsksBeforeReplacingAnEarlierFile)
{
    TSaveFixture fixture;
    const QString name = fixture.folder.filePath("same.bmp");
    fixture.Compose(ExamplePath("letter-ascii.txt"));
    fixture.Save(TypeName(name));
    const QByteArray first = fixture.StartOf(name, 1 << 20);
    fixture.Compose(ExamplePath("letter-sjis.txt"), "320", "200");

    QString question;
    fixture.Save(TypeName(name, TReplace::No, &question));
    EXPECT_TRUE(question.contains("same.bmp")) << question.toStdString();
    EXPECT_EQ(fixture.StartOf(name, 1 << 20), first);

    fixture.Save(TypeName(name, TReplace::Yes));
    const QImage written(name);
    EXPECT_EQ(written.size(), QSize(320, 200));
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32), ImageCopyOf(fixture.form->Picture()));
    EXPECT_TRUE(fixture.runner->messages.empty());
}

// A picture without pixels has nothing to save: Save stays off until a run
// gives pixels again.
TEST(Save, IsEnabledOnlyWhileThePictureHasPixels)
{
    TSaveFixture fixture;
    auto* save = fixture.Find<QPushButton>("HBtnSave");
    fixture.Compose(ExamplePath("letter-ascii.txt"), "0", "480");
    ASSERT_NE(fixture.form->Picture(), nullptr);
    EXPECT_FALSE(save->isEnabled());
    fixture.Compose(ExamplePath("letter-ascii.txt"), "64", "48");
    EXPECT_TRUE(save->isEnabled());
    fixture.Compose(ExamplePath("letter-ascii.txt"), "64", "0");
    EXPECT_FALSE(save->isEnabled());
}

TEST(Save, AfterAFailedRunWritesThePictureThePreviewShows)
{
    TSaveFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"));
    fixture.Compose(ExamplePath("letter-ascii.txt"), "wide");
    ASSERT_EQ(fixture.runner->messages.size(), 1u);
    fixture.Save(TypeName(fixture.folder.filePath("shown.bmp")));

    const QImage shown = fixture.Find<TPreviewImage>("HImage")->Image();
    EXPECT_EQ(QImage(fixture.folder.filePath("shown.bmp")).convertToFormat(QImage::Format_RGB32),
              shown.convertToFormat(QImage::Format_RGB32));
}

TEST(Save, RemembersTheLastNameForTheNextSave)
{
    TSaveFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"));
    fixture.Save(TypeName(fixture.folder.filePath("first")));
    QString prefilled;
    fixture.Save([&](QDialog& dialog) {
        return ExecDriven(dialog, [&] {
            prefilled = dialog.findChild<QLineEdit*>("fileNameEdit")->text();
            dialog.reject();
        });
    });
    EXPECT_EQ(prefilled, "first.bmp");
}

TEST(Save, CancelledWritesNothing)
{
    TSaveFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"));
    fixture.Save(Cancel);
    EXPECT_TRUE(QDir(fixture.folder.path()).isEmpty());
    EXPECT_TRUE(fixture.runner->messages.empty());
}

TEST(Save, ThatFailsShowsTheErrorAndKeepsThePicture)
{
    TSaveFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"));
    const std::shared_ptr<const PixelPicture> picture = fixture.form->Picture();
    const QString name = fixture.folder.filePath("no such folder/letter.bmp");
    fixture.Save(TypeName(name));

    ASSERT_EQ(fixture.runner->messages.size(), 1u);
    EXPECT_EQ(fixture.runner->messages[0].caption, "Morvaleth");
    EXPECT_EQ(fixture.runner->messages[0].text, "ﾌｧｲﾙ " + name + " を作成できません.");
    EXPECT_EQ(fixture.runner->messages[0].icon, TMessageIcon::Stop);
    EXPECT_EQ(fixture.form->Picture(), picture);
    EXPECT_TRUE(fixture.Find<QPushButton>("HBtnSave")->isEnabled());
}

// The text a picture was composed from is never replaced by it, whatever
// name reaches it: refused with the driver's message before the dialog would
// ask whether to replace the file, which stays open for another name.
struct SourceCase {
    const char* name;
    // The name typed in the save dialog, relative to the case's folder,
    // where letter.txt is the text composed.
    QString typed;
    std::function<void(const QString& folder)> prepare = {};
    // The text in the path field after the run, when it changes.
    QString pathField = {};
    bool refused = true;
};

void PrintTo(const SourceCase& c, std::ostream* out)
{
    *out << c.name;
}

class SavingOverTheSource : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SavingOverTheSource, IsRefusedBeforeTheReplaceQuestion)
{
    const SourceCase& c = GetParam();
    TSaveFixture fixture;
    const QString folder = fixture.folder.path();
    ASSERT_TRUE(QFile::copy(ExamplePath("letter-utf8.txt"), folder + "/letter.txt"));
    QDir(folder).mkdir("sub");
    if (c.prepare)
        c.prepare(folder);
    const QByteArray text = fixture.StartOf(folder + "/letter.txt", 1 << 20);
    fixture.Compose(folder + "/letter.txt");
    if (!c.pathField.isEmpty())
        fixture.Find<QLineEdit>("HEditPath")->setText(folder + "/" + c.pathField);

    bool stayedOpen = false;
    bool asked = false;
    fixture.Save([&](QDialog& dialog) {
        return ExecDriven(dialog, [&] {
            // A question would come from the dialog's own handling of Enter.
            QTimer::singleShot(0, &dialog, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    asked = true;
                    box->button(QMessageBox::No)->click();
                }
            });
            auto* nameBox = dialog.findChild<QLineEdit*>("fileNameEdit");
            nameBox->setText(folder + "/" + c.typed);
            QTest::keyClick(nameBox, Qt::Key_Return);
            stayedOpen = dialog.isVisible();
            if (stayedOpen)
                dialog.reject();
        });
    });
    EXPECT_FALSE(asked) << "asked whether to replace the text";
    EXPECT_EQ(stayedOpen, c.refused);
    if (c.refused) {
        ASSERT_EQ(fixture.runner->messages.size(), 1u);
        EXPECT_EQ(fixture.runner->messages[0].caption, "Morvaleth");
        EXPECT_EQ(fixture.runner->messages[0].text,
                  "ﾌｧｲﾙ " + QDir::cleanPath(folder + "/" + c.typed) + " は元になるﾃｷｽﾄﾌｧｲﾙなので上書きできません.");
        EXPECT_EQ(fixture.runner->messages[0].icon, TMessageIcon::Stop);
    } else {
        EXPECT_TRUE(fixture.runner->messages.empty());
    }
    EXPECT_EQ(fixture.StartOf(folder + "/letter.txt", 1 << 20), text);
    if (!c.pathField.isEmpty()) {
        EXPECT_EQ(fixture.StartOf(folder + "/" + c.pathField, 1 << 20), text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SavingOverTheSource,
    ::testing::Values(
        SourceCase{"ItsOwnName", "letter.txt"},
        SourceCase{"ARoundaboutSpelling", "sub/../letter.txt"},
        SourceCase{"ASymbolicLink", "link.txt",
                   [](const QString& folder) { QFile::link(folder + "/letter.txt", folder + "/link.txt"); }},
        SourceCase{"AHardLink", "hard.txt",
                   [](const QString& folder) {
                       ::link((folder + "/letter.txt").toLocal8Bit().constData(),
                              (folder + "/hard.txt").toLocal8Bit().constData());
                   }},
        // The text the path field names now, which the next run would read.
        SourceCase{"ThePathFieldsText", "other.txt",
                   [](const QString& folder) { QFile::copy(folder + "/letter.txt", folder + "/other.txt"); },
                   "other.txt"},
        // Another file is saved as any other.
        SourceCase{"AnotherName", "picture.bmp", {}, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

bool IsPng(const QByteArray& start)
{
    return start == QByteArray("\x89PNG\r\n\x1a\n", 8);
}

TEST(Save, WritesPngThatDecodesToTheBmpsPixels)
{
    TSaveFixture fixture;
    fixture.Find<QCheckBox>("HChkBox")->setChecked(true);
    fixture.Compose(ExamplePath("letter-utf8.txt"), "641", "123");
    fixture.Save(TypeName(fixture.folder.filePath("letter.bmp")));
    // Whatever the filter, a name ending in .png is written as PNG.
    fixture.Save(TypeName(fixture.folder.filePath("letter.png")));

    const QString png = fixture.folder.filePath("letter.png");
    ASSERT_TRUE(QFile::exists(png));
    EXPECT_TRUE(IsPng(fixture.StartOf(png, 8)));
    // The PNG says its colours are sRGB, which a BMP cannot: compare pixels.
    QImage fromPng = QImage(png).convertToFormat(QImage::Format_RGB32);
    QImage fromBmp = QImage(fixture.folder.filePath("letter.bmp")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(fromPng.isNull());
    fromPng.setColorSpace(QColorSpace());
    fromBmp.setColorSpace(QColorSpace());
    EXPECT_EQ(fromPng, fromBmp);
}

QAction* PreviewAction(TFormFixture& fixture, const QString& textStart)
{
    for (QAction* action : fixture.Find<QMenu>("HMenuPreview")->actions())
        if (action->text().startsWith(textStart))
            return action;
    return nullptr;
}

// The window shows the seed of the picture it holds, a saved PNG keeps that
// picture's recipe, and 配置を固定 makes the next 作成 from the same seed, so
// that only the settings change.
TEST(Save, APngKeepsTheRecipeOfThePictureShownAndItsSeedCanBeKept)
{
    TSaveFixture fixture;
    QAction* keep = PreviewAction(fixture, "配置を固定");
    QAction* seed = PreviewAction(fixture, "シード");
    ASSERT_NE(keep, nullptr);
    ASSERT_NE(seed, nullptr);
    EXPECT_FALSE(keep->isEnabled());
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    const std::optional<MadeWith> first = ReadRecipe(fixture.form->Picture()->Notes());
    ASSERT_TRUE(first);
    EXPECT_EQ(seed->text(), QStringLiteral("シード: %1").arg(first->seed));

    keep->setChecked(true);
    fixture.Find<QCheckBox>("HChkBox")->setChecked(true);
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    const std::optional<MadeWith> second = ReadRecipe(fixture.form->Picture()->Notes());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->seed, first->seed);
    EXPECT_TRUE(second->settings.realMode);

    fixture.Save(TypeName(fixture.folder.filePath("kept.png")));
    const std::optional<MadeWith> saved = ReadRecipe(ReadPngNotes(fixture.folder.filePath("kept.png").toStdString()));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->seed, first->seed);
    EXPECT_TRUE(saved->settings.realMode);
    EXPECT_FALSE(saved->settings.sourceText) << "the window keeps no text in its pictures";
}

TEST(Save, WithThePngFilterAppendsPngToANameWithoutAnExtension)
{
    TSaveFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"));
    fixture.Save([&](QDialog& dialog) {
        return ExecDriven(dialog, [&] {
            auto* filters = dialog.findChild<QComboBox*>("fileTypeCombo");
            QTest::keyClick(filters, Qt::Key_Down);
            ASSERT_EQ(filters->currentText(), "PNG (*.png)");
            auto* nameBox = dialog.findChild<QLineEdit*>("fileNameEdit");
            nameBox->setText(fixture.folder.filePath("letter"));
            QTest::keyClick(nameBox, Qt::Key_Return);
        });
    });
    EXPECT_TRUE(QFile::exists(fixture.folder.filePath("letter.png")));
    EXPECT_FALSE(QFile::exists(fixture.folder.filePath("letter.bmp")));
}

// The save dialog's preview area, on files in a folder of their own.
struct TPreviewAreaFixture {
    TPreviewAreaFixture()
    {
        auto picture = std::make_shared<PixelPicture>();
        picture->SetHeight(480);
        picture->SetWidth(640);
        SavePicture(*picture, folder.filePath("picture.bmp").toStdString());
        QFile text(folder.filePath("letter.txt"));
        EXPECT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("Dear friend,\r\n");
        dialog.setDirectory(folder.path());
    }

    // Selects the file in the dialog's list, as a click on it would.
    void SelectInList(const QString& name)
    {
        auto* list = dialog.findChild<QListView*>("listView");
        ASSERT_NE(list, nullptr);
        auto* files = qobject_cast<QFileSystemModel*>(list->model());
        ASSERT_NE(files, nullptr);
        const QString path = folder.filePath(name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return files->index(path).isValid(); }));
        list->setCurrentIndex(files->index(path));
    }

    QTemporaryDir folder;
    TSavePictureDialog dialog;
};

TEST(SaveDialogPreview, CaptionsAPictureWithItsSize)
{
    TPreviewAreaFixture fixture;
    TSavePictureDialog& dialog = fixture.dialog;
    QString caption;
    ExecDriven(dialog, [&] {
        fixture.SelectInList("picture.bmp");
        caption = dialog.PictureCaption()->text();
        dialog.reject();
    });
    EXPECT_EQ(caption, "画像: (640x480)");
    EXPECT_TRUE(dialog.PreviewButton()->isEnabled());
    EXPECT_EQ(dialog.PreviewButton()->toolTip(), "ﾌﾟﾚﾋﾞｭｰ");
    EXPECT_EQ(dialog.PictureBox()->Picture().size(), QSize(640, 480));
    // The area stands to the right of the dialog's own controls.
    EXPECT_GT(dialog.PictureBox()->mapTo(&dialog, QPoint(0, 0)).x(),
              dialog.findChild<QListView*>("listView")->mapTo(&dialog, QPoint(0, 0)).x());
}

TEST(SaveDialogPreview, ShowsNothingForAFileThatIsNoPicture)
{
    TPreviewAreaFixture fixture;
    TSavePictureDialog& dialog = fixture.dialog;
    dialog.ShowPreviewOf(fixture.folder.filePath("picture.bmp"));
    ASSERT_TRUE(dialog.PreviewButton()->isEnabled());
    QString caption;
    ExecDriven(dialog, [&] {
        fixture.SelectInList("letter.txt");
        caption = dialog.PictureCaption()->text();
        dialog.reject();
    });
    EXPECT_EQ(caption, "画像:");
    EXPECT_FALSE(dialog.PreviewButton()->isEnabled());
    EXPECT_TRUE(dialog.PictureBox()->Picture().isNull());
    // The area shows "(なし)": ink in a band across its middle, and nothing
    // above it but the background.
    const QImage shown = dialog.PictureBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect area = dialog.PictureBox()->contentsRect();
    const QRgb background = shown.pixel(area.left() + 2, area.top() + 2);
    int inkInMiddle = 0, inkAbove = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const bool ink = shown.pixel(x, y) != background;
            const int fromMiddle = y - area.center().y();
            inkInMiddle += ink && std::abs(fromMiddle) < 12;
            inkAbove += ink && fromMiddle < -20;
        }
    EXPECT_GT(inkInMiddle, 20);
    EXPECT_EQ(inkAbove, 0);
}

TEST(SaveDialogPreview, OpensAResizablePreviewWindowThatEscCloses)
{
    TPreviewAreaFixture fixture;
    TSavePictureDialog& dialog = fixture.dialog;
    dialog.ShowPreviewOf(fixture.folder.filePath("picture.bmp"));
    QString title;
    bool resizable = false;
    QTimer::singleShot(0, [&] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_NE(window, nullptr);
        title = window->windowTitle();
        resizable = window->minimumSize() != window->maximumSize();
        QTest::keyClick(window, Qt::Key_Escape);
    });
    QTest::mouseClick(dialog.PreviewButton(), Qt::LeftButton);
    EXPECT_EQ(title, "ﾌﾟﾚﾋﾞｭｰ");
    EXPECT_TRUE(resizable);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
} // namespace morvaleth::test
