// The window's desktop comforts: drag and drop, the wheel, the clipboard.

#include "UiTestSupport.h"

#include "ui/PreviewImage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include <string>
#include <vector>

namespace morvaleth::test {
namespace {

// Drags `data` onto `target` and lets go; true when the drop was taken.
bool Drop(QWidget* target, QMimeData& data)
{
    const QPointF at(5, 5);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

QMimeData* FileDrag(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.push_back(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

class Dropping : public ::testing::TestWithParam<const char*> {};

TEST_P(Dropping, AFileOnTheWindowBecomesTheSource)
{
    TFormFixture fixture;
    auto* path = fixture.Find<QLineEdit>("HEditPath");
    const QString letter = ExamplePath("letter-sjis.txt");
    std::unique_ptr<QMimeData> data(FileDrag({letter}));
    QWidget* target = std::string(GetParam()) == "HFormMain" ? fixture.form.get() : fixture.Find<QWidget>(GetParam());
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(Drop(target, *data));
    EXPECT_EQ(path->text(), letter);

    // The file dialog now starts from the dropped file.
    fixture.runner->answers.push_back([&](QDialog& dialog) {
        EXPECT_EQ(static_cast<QFileDialog&>(dialog).selectedFiles().value(0), letter);
        return false;
    });
    QTest::mouseClick(fixture.Find<QPushButton>("HBtnRef"), Qt::LeftButton);
    EXPECT_EQ(fixture.runner->dialogsRun, 1);
}

INSTANTIATE_TEST_SUITE_P(Targets, Dropping, ::testing::Values("HFormMain", "HEditPath", "HEditX", "HImgPanel"));

TEST(Dropping, TextAndSeveralFilesAreNotASource)
{
    TFormFixture fixture;
    auto* path = fixture.Find<QLineEdit>("HEditPath");
    path->setText("typed");
    std::unique_ptr<QMimeData> two(FileDrag({ExamplePath("letter-sjis.txt"), ExamplePath("letter-utf8.txt")}));
    EXPECT_FALSE(Drop(fixture.form.get(), *two));
    QMimeData web;
    web.setUrls({QUrl("https://example.org/letter.txt")});
    EXPECT_FALSE(Drop(fixture.form.get(), web));
    EXPECT_EQ(path->text(), "typed");
}

// A turn of the wheel over the preview, `notches` toward the user.
void Wheel(QWidget* over, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF at(10, 10);
    QWheelEvent wheel(at, over->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(over, &wheel);
}

TEST(Wheel, ScrollsThePreviewThroughTheBars)
{
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"), "1000", "700");
    auto* image = fixture.Find<TPreviewImage>("HImage");
    auto* horizontal = fixture.Find<TScrollBar>("HScrH");
    std::vector<TScrollCode> codes;
    QObject::connect(horizontal, &TScrollBar::Scroll,
                     [&](TScrollBar*, TScrollCode code, int&) { codes.push_back(code); });
    const int lines = QApplication::wheelScrollLines();

    Wheel(image, 1);
    EXPECT_EQ(image->pos(), QPoint(0, -8 * lines));
    Wheel(image, -1);
    EXPECT_EQ(image->pos(), QPoint(0, 0));

    // With Shift across, as line steps on the horizontal bar and its end.
    Wheel(image, 2, Qt::ShiftModifier);
    EXPECT_EQ(horizontal->Position(), 2 * lines);
    EXPECT_EQ(image->pos(), QPoint(-16 * lines, 0));
    std::vector<TScrollCode> expected(std::size_t(2 * lines), TScrollCode::LineDown);
    expected.push_back(TScrollCode::EndScroll);
    EXPECT_EQ(codes, expected);

    // Beyond the end the bar stops, and the picture with it.
    Wheel(image, 1000, Qt::ShiftModifier);
    EXPECT_EQ(horizontal->Position(), 70);
    EXPECT_EQ(image->x(), -560);
}

TEST(Wheel, HalfNotchesAddUp)
{
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"), "640", "1000");
    auto* image = fixture.Find<TPreviewImage>("HImage");
    const QPointF at(10, 10);
    for (int i = 0; i < 2; ++i) {
        QWheelEvent half(at, image->mapToGlobal(at), QPoint(), QPoint(0, -60), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(image, &half);
        EXPECT_EQ(image->y(), i == 0 ? 0 : -8 * QApplication::wheelScrollLines());
    }
}

TEST(Clipboard, CtrlCCopiesThePicture)
{
    TFormFixture fixture;
    QApplication::clipboard()->clear();
    QTest::keyClick(fixture.form.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->image().isNull()) << "nothing to copy before a picture";

    fixture.Find<QCheckBox>("HChkBox")->setChecked(true);
    fixture.Compose(ExamplePath("letter-utf8.txt"), "700", "300");
    fixture.Find<QPushButton>("HBtnCreate")->setFocus();
    QTest::keyClick(fixture.form.get(), Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(copied.size(), QSize(700, 300));
    EXPECT_EQ(copied, ImageCopyOf(fixture.form->Picture()));
}

} // namespace
} // namespace morvaleth::test
