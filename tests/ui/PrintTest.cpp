// Printing the letter, the preview's menu, and saving the letter as PDF or
// SVG from the window.

#include "UiTestSupport.h"
#include "support/InkCompare.h"
#include "support/TestSupport.h"

#include "composer/Recipe.h"
#include "composer/encode/PictureFile.h"
#include "ui/LookDialog.h"
#include "ui/PrintLetter.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <cstdio>

namespace morvaleth::test {
namespace {

testing::RgbImage RgbOf(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    testing::RgbImage out{rgb.width(), rgb.height(), {}};
    for (int y = 0; y < rgb.height(); ++y)
        out.rgb.insert(out.rgb.end(), rgb.constScanLine(y), rgb.constScanLine(y) + rgb.width() * 3);
    return out;
}

CompositionSettings Letter(bool bold)
{
    CompositionSettings settings;
    settings.sourcePath = ExamplePath("letter-utf8.txt").toStdString();
    settings.realMode = true;
    settings.seed = 4;
    if (bold)
        settings.faces = {FaceMix::Listed, {"IPAGothic", "IPAPMincho"}, true};
    return settings;
}

// What the printer is handed, drawn onto an image of the picture's own size:
// the picture's letter, its edges smoothed otherwise.
TEST(PrintLetter, DrawsThePicturesLetterThroughAPainter)
{
    for (const bool bold : {false, true}) {
        const CompositionSettings settings = Letter(bold);
        const auto picture = ComposePicture(settings);
        QImage drawn(picture->Width(), picture->Height(), QImage::Format_RGB32);
        drawn.fill(Qt::white);
        QPainter painter(&drawn);
        PaintLetter(painter, QRectF(drawn.rect()), settings);
        painter.end();
        EXPECT_LT(testing::StrayInk(testing::RgbOf(*picture), RgbOf(drawn)), 0.004) << (bold ? "bold" : "");
    }
}

TEST(PrintLetter, FitsThePictureIntoTheAreaCentred)
{
    EXPECT_EQ(FittedPlace(QSizeF(640, 480), QRectF(0, 0, 1000, 1000)), QRectF(0, 125, 1000, 750));
    EXPECT_EQ(FittedPlace(QSizeF(300, 600), QRectF(10, 20, 400, 400)), QRectF(110, 20, 200, 400));
    EXPECT_EQ(FittedPlace(QSizeF(0, 600), QRectF(10, 20, 400, 400)).size(), QSizeF(0, 0));
}

// The preview's menu: save, copy and print, usable while there is a picture.
TEST(PreviewMenu, OffersSaveCopyAndPrintWhileThereIsAPicture)
{
    TFormFixture fixture;
    QMenu* menu = fixture.form->PreviewMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_GE(menu->actions().size(), 3);
    const QList<QAction*> pictureActions = menu->actions().mid(0, 3);
    QStringList texts;
    for (const QAction* action : pictureActions) {
        texts << action->text();
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    }
    EXPECT_EQ(texts, QStringList({"保管...", "コピー", "印刷..."}));
    EXPECT_EQ(pictureActions[2]->shortcut(), QKeySequence(QKeySequence::Print));
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    for (const QAction* action : pictureActions)
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
}

// "詳細..." at the end of the preview's menu opens the look's dialog: its
// sample follows the choices, and what it is left with makes the next
// picture; the window keeps its size.
TEST(PreviewMenu, DetailsChooseTheLookOfTheNextPicture)
{
    TFormFixture fixture;
    const QSize size = fixture.form->size();
    QAction* details = fixture.form->PreviewMenu()->actions().back();
    ASSERT_EQ(details->text(), QStringLiteral("詳細..."));
    bool sampleFollows = false;
    fixture.runner->answers.push_back([&](QDialog& dialog) {
        auto* look = qobject_cast<THLookDialog*>(&dialog);
        if (look == nullptr)
            return false;
        const QImage grey = look->Sample()->pixmap().toImage();
        look->findChild<QComboBox*>("HComboPalette")->setCurrentIndex(int(PaletteId::Magazine));
        look->findChild<QCheckBox*>("HChkShadow")->setChecked(true);
        sampleFollows = !grey.isNull() && look->Sample()->pixmap().toImage() != grey;
        return true;
    });
    details->trigger();
    EXPECT_TRUE(sampleFollows);
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    const std::optional<MadeWith> made = ReadRecipe(fixture.form->Picture()->Notes());
    ASSERT_TRUE(made);
    EXPECT_EQ(made->settings.look, (Look{PaletteId::Magazine, {}, false, true}));
    EXPECT_EQ(fixture.form->size(), size);

    // Cancelled, the dialog leaves the look as it was.
    fixture.runner->answers.push_back([](QDialog& dialog) {
        dialog.findChild<QCheckBox*>("HChkTransparent")->setChecked(true);
        return false;
    });
    details->trigger();
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    EXPECT_FALSE(ReadRecipe(fixture.form->Picture()->Notes())->settings.look.background.transparent);
}

// The preview lays a transparent letter on white; a PNG saved from it keeps
// the transparency (colour type 6, RGBA), a BMP cannot and stays as shown.
TEST(Save, ATransparentLetterStaysTransparentInAPng)
{
    TFormFixture fixture;
    QTemporaryDir folder;
    fixture.runner->answers.push_back([](QDialog& dialog) {
        dialog.findChild<QCheckBox*>("HChkTransparent")->setChecked(true);
        return true;
    });
    fixture.form->PreviewMenu()->actions().back()->trigger();
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    for (const char* name : {"letter.png", "letter.bmp"}) {
        fixture.runner->answers.push_back(TypeName(folder.filePath(name)));
        QTest::mouseClick(fixture.Find<QPushButton>("HBtnSave"), Qt::LeftButton);
    }
    EXPECT_TRUE(fixture.runner->messages.empty());
    const std::string png = testing::ReadFile(folder.filePath("letter.png").toStdString());
    ASSERT_GT(png.size(), 25u);
    EXPECT_EQ(int(png[25]), 6);
    const std::vector<std::uint8_t> shown = EncodePicture(*fixture.form->Picture(), PictureFormat::Bmp);
    EXPECT_TRUE(testing::ReadFile(folder.filePath("letter.bmp").toStdString()) == std::string(shown.begin(), shown.end()));
}

// Ctrl+P opens the print preview; printing from it draws the letter on the
// page, as large as the page's printable area lets it, proportions kept.
TEST(Print, CtrlPPrintsTheLetterFittedToThePage)
{
    TFormFixture fixture;
    QTemporaryDir folder;
    fixture.Find<QCheckBox>("HChkBox")->setChecked(true);
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    const QString printed = folder.filePath("printed.pdf");
    QString dialogClass;
    fixture.runner->answers.push_back([&](QDialog& dialog) {
        dialogClass = dialog.metaObject()->className();
        auto* preview = qobject_cast<QPrintPreviewDialog*>(&dialog);
        if (preview == nullptr)
            return false;
        preview->printer()->setOutputFormat(QPrinter::PdfFormat);
        preview->printer()->setOutputFileName(printed);
        dialog.findChild<QPrintPreviewWidget*>()->print();
        return true;
    });
    fixture.Find<QPushButton>("HBtnCreate")->setFocus();
    QTest::keyClick(fixture.form.get(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(dialogClass, "QPrintPreviewDialog");
    EXPECT_TRUE(fixture.runner->messages.empty());
    ASSERT_TRUE(QFile::exists(printed));

    // The page, drawn at a size that keeps its proportions: the letter's ink
    // is the picture's, scaled alike both ways.
    std::string info;
    ASSERT_TRUE(testing::RunTool({"pdfinfo", printed.toStdString()}, &info));
    EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;
    double pageWidth = 0, pageHeight = 0;
    ASSERT_EQ(std::sscanf(info.c_str() + info.find("Page size:"), "Page size: %lf x %lf", &pageWidth, &pageHeight), 2);
    EXPECT_GT(pageWidth, pageHeight) << "the sheet lies as the letter does";
    const testing::RgbImage page =
        testing::RasterizedPdf(printed.toStdString(), 1000, int(std::lround(1000 * pageHeight / pageWidth)));
    ASSERT_EQ(page.width, 1000);
    const auto inkBox = [](const testing::RgbImage& image) {
        QRect box;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                if (testing::InkedAt(image, x, y))
                    box |= QRect(x, y, 1, 1);
        return box;
    };
    const QRect onPage = inkBox(page);
    const QRect onPicture = inkBox(testing::RgbOf(*fixture.form->Picture()));
    const double across = double(onPage.width()) / onPicture.width();
    const double down = double(onPage.height()) / onPicture.height();
    EXPECT_GT(across, 1.2) << "larger than the picture on a page of this size";
    EXPECT_NEAR(across, down, 0.02 * across);
}

// The text changed after it was composed: the letter cannot be composed
// again as the picture shows it, and neither printing nor a PDF save starts.
TEST(Print, RefusesWhenTheTextChangedSinceItWasComposed)
{
    TFormFixture fixture;
    QTemporaryDir folder;
    const QString text = folder.filePath("letter.txt");
    testing::WriteFile(text.toStdString(), "拝啓");
    fixture.Compose(text);
    testing::WriteFile(text.toStdString(), "敬具。");
    QTest::keyClick(fixture.form.get(), Qt::Key_P, Qt::ControlModifier);
    fixture.runner->answers.push_back(TypeName(folder.filePath("letter.pdf")));
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnSave"), Qt::LeftButton);
    EXPECT_EQ(fixture.runner->dialogsRun, 1) << "only the save dialog";
    ASSERT_EQ(fixture.runner->messages.size(), 2u);
    for (const TMessageBox& box : fixture.runner->messages)
        EXPECT_EQ(box.text, "元になるﾃｷｽﾄﾌｧｲﾙが作成の後で変わりました.");
    EXPECT_FALSE(QFile::exists(folder.filePath("letter.pdf")));
}

// A name ending in .pdf or .svg saves the picture's letter in outlines, with
// its text.
TEST(Save, WritesThePicturesLetterAsPdfOrSvg)
{
    TFormFixture fixture;
    QTemporaryDir folder;
    fixture.Find<QCheckBox>("HChkBox")->setChecked(true);
    fixture.Compose(ExamplePath("letter-utf8.txt"));
    for (const char* name : {"letter.pdf", "letter.svg"}) {
        fixture.runner->answers.push_back(TypeName(folder.filePath(name)));
        QTest::mouseClick(fixture.Find<QPushButton>("HBtnSave"), Qt::LeftButton);
    }
    EXPECT_TRUE(fixture.runner->messages.empty());
    const std::string pdf = folder.filePath("letter.pdf").toStdString();
    const std::string svg = folder.filePath("letter.svg").toStdString();
    const testing::RgbImage picture = testing::RgbOf(*fixture.form->Picture());
    EXPECT_LT(testing::StrayInk(picture, testing::RasterizedPdf(pdf, 640, 480)), 0.004);
    EXPECT_LT(testing::StrayInk(picture, testing::RasterizedSvg(svg, 640, 480)), 0.004);
    std::string text;
    ASSERT_TRUE(testing::RunTool({"pdftotext", "-raw", pdf, "-"}, &text));
    // The clock's seed tilts the two apart or not: a reader may see a space
    // between them, or even a line end.
    std::erase_if(text, [](char c) { return c == ' ' || c == '\n'; });
    EXPECT_EQ(text.substr(0, 6), "拝啓");
}

} // namespace
} // namespace morvaleth::test
