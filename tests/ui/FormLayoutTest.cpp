// The window as laid out: its controls, texts, tab order, fonts and dialogs.

#include "UiTestSupport.h"

#include "ui/WindowFont.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyleOption>
#include <QTest>

namespace morvaleth::test {
namespace {

struct ControlCase {
    const char* name;
    const char* kind;
    QRect place;
    QString text;
};

void PrintTo(const ControlCase& control, std::ostream* out)
{
    *out << control.name;
}

QString TextOf(const QWidget* control)
{
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    return {};
}

class Controls : public ::testing::TestWithParam<ControlCase> {};

TEST_P(Controls, StandWhereTheTableSaysWithTheirTexts)
{
    TFormFixture fixture;
    const ControlCase& expected = GetParam();
    const auto* control = fixture.Find<QWidget>(expected.name);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->inherits(expected.kind)) << control->metaObject()->className();
    EXPECT_EQ(TextOf(control), expected.text);
    if (qobject_cast<const QLabel*>(control)) {
        // Labels fit their text: the tabled size is where they start.
        EXPECT_EQ(control->pos(), expected.place.topLeft());
        EXPECT_GE(control->width(), expected.place.width());
        EXPECT_GE(control->height(), expected.place.height());
    } else {
        EXPECT_EQ(control->geometry(), expected.place);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Window, Controls,
    ::testing::Values(
        ControlCase{"HEditPath", "QLineEdit", {8, 32, 373, 20}, ""},
        ControlCase{"HBtnRef", "QPushButton", {292, 4, 89, 25}, "参照..."},
        ControlCase{"HBtnSave", "QPushButton", {388, 56, 89, 25}, "保管..."},
        ControlCase{"HEditX", "QLineEdit", {8, 56, 49, 23}, "640"},
        ControlCase{"HEditY", "QLineEdit", {76, 56, 49, 23}, "480"},
        ControlCase{"Button1", "QPushButton", {132, 56, 77, 25}, "ﾌｫﾝﾄ指定..."},
        ControlCase{"HBtnCreate", "QPushButton", {388, 28, 89, 25}, "作成"},
        ControlCase{"HImgPanel", "QFrame", {8, 88, 445, 317}, ""},
        ControlCase{"HScrH", "morvaleth::TScrollBar", {8, 408, 445, 17}, ""},
        ControlCase{"HScrV", "morvaleth::TScrollBar", {456, 90, 17, 315}, ""},
        ControlCase{"HChkBox", "QCheckBox", {388, 4, 89, 21}, "リアルモード"},
        ControlCase{"HChkVertical", "QCheckBox", {216, 58, 64, 21}, "縦書き"},
        ControlCase{"HChkFaceMix", "QCheckBox", {284, 58, 97, 21}, "書体ﾐｯｸｽ"},
        ControlCase{"Label2", "QLabel", {8, 12, 281, 12}, "元になるテキストファイルの保管場所を指定して下さい。"},
        ControlCase{"Label1", "QLabel", {56, 60, 15, 15}, "×"},
        ControlCase{"HImage", "morvaleth::TPreviewImage", {0, 0, 445, 317}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Window, OpensAtItsSizeAndMayGrowButNotShrink)
{
    TFormFixture fixture;
    const THFormMain& form = *fixture.form;
    EXPECT_EQ(form.objectName(), "HFormMain");
    EXPECT_EQ(form.windowTitle(), "Morvaleth");
    EXPECT_EQ(form.size(), QSize(480, 430));
    EXPECT_EQ(form.minimumSize(), QSize(480, 430));
    EXPECT_EQ(form.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::MSWindowsFixedSizeDialogHint);
    const QRect screen = form.screen()->geometry();
    EXPECT_EQ(form.frameGeometry().center(), screen.center());
}

TEST(Window, StartsWithoutAPictureAndWithSaveDisabled)
{
    TFormFixture fixture;
    EXPECT_EQ(fixture.form->Picture(), nullptr);
    EXPECT_FALSE(fixture.Find<QPushButton>("HBtnSave")->isEnabled());
    for (const char* box : {"HChkBox", "HChkVertical", "HChkFaceMix"})
        EXPECT_FALSE(fixture.Find<QCheckBox>(box)->isChecked()) << box;
    EXPECT_TRUE(fixture.Find<QPushButton>("HBtnRef")->isDefault());
    EXPECT_EQ(QApplication::focusWidget(), fixture.Find<QWidget>("HEditPath"));
    const CompositionSettings settings = fixture.form->CurrentSettings();
    EXPECT_EQ(settings.size, 20);
    EXPECT_EQ(settings.faceName, "ＭＳ Ｐゴシック");
    EXPECT_FALSE(settings.realMode);
    EXPECT_EQ(settings.writing, Writing::Rows);
    EXPECT_EQ(settings.faces, FaceChoice{});
}

TEST(Window, TabsThroughTheControlsInTheTablesOrder)
{
    TFormFixture fixture;
    QWidget* first = fixture.Find<QWidget>("HEditPath");
    QStringList order;
    QWidget* control = first;
    do {
        if (control->focusPolicy() & Qt::TabFocus)
            order << control->objectName();
        control = control->nextInFocusChain();
    } while (control != first);
    EXPECT_EQ(order, QStringList({"HEditPath", "HBtnRef", "HBtnSave", "HEditX", "HEditY", "Button1",
                                  "HChkVertical", "HChkFaceMix", "HBtnCreate", "HScrH", "HScrV", "HChkBox"}));
}

// What Tab does, key by key: every control that takes the focus, in the
// table's order, and nothing unseen in between.
TEST(Window, TabKeyVisitsTheControlsInTheTablesOrder)
{
    TFormFixture fixture;
    fixture.Compose(ExamplePath("letter-ascii.txt"), "1000", "700");
    fixture.Activate();
    fixture.Find<QWidget>("HEditPath")->setFocus();
    QStringList visited;
    for (int key = 0; key < 13; ++key) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        visited << (focused->isVisible() ? focused->objectName() : "(unseen) " + focused->objectName());
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, QStringList({"HEditPath", "HBtnRef", "HBtnSave", "HEditX", "HEditY", "Button1", "HChkVertical",
                                    "HChkFaceMix", "HBtnCreate", "HScrH", "HScrV", "HChkBox", "HEditPath"}));
    // Every stop shows that it has the focus, the default button included.
    for (const char* name : {"HBtnRef", "HBtnSave", "Button1", "HBtnCreate", "HEditX", "HChkBox"}) {
        QWidget* control = fixture.Find<QWidget>(name);
        control->setFocus();
        const QImage focused = control->grab().toImage();
        fixture.Find<QWidget>("HEditY")->setFocus();
        if (control == fixture.Find<QWidget>("HEditY"))
            continue;
        EXPECT_NE(focused, control->grab().toImage()) << name << " looks the same without the focus";
    }
}

TEST(Window, UsesTheFaceTheEngineResolvesTheWindowFontTo)
{
    TFormFixture fixture;
    const QFont windowFont = fixture.form->font();
    EXPECT_EQ(QFontInfo(windowFont).family(), "IPAPGothic");
    EXPECT_EQ(windowFont.pixelSize(), 12);
    for (const char* name : {"HEditX", "HEditY", "Label1"}) {
        const QFont font = fixture.Find<QWidget>(name)->font();
        EXPECT_EQ(QFontInfo(font).family(), "IPAPGothic") << name;
        EXPECT_EQ(font.pixelSize(), 15) << name;
    }
    EXPECT_EQ(fixture.Find<QWidget>("HBtnRef")->font().pixelSize(), 12);
}

// Whether the control's text shows whole inside the room its style gives it.
void ExpectTextFits(QWidget* control)
{
    const QFontMetrics metrics(control->font());
    const QString text = TextOf(control);
    const QSize needed = metrics.size(Qt::TextShowMnemonic, text);
    QRect room;
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = text;
        room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        room = label->contentsRect();
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        // QLineEdit keeps one more pixel clear above and below, two left and right.
        room = edit->style()
                   ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                   .adjusted(2, 1, -2, -1);
    }
    EXPECT_GE(room.width(), needed.width()) << control->objectName().toStdString();
    EXPECT_GE(room.height(), metrics.height()) << control->objectName().toStdString();
}

class Screens : public ::testing::TestWithParam<int> {};

TEST_P(Screens, ShowEveryTextWhole)
{
    TFormFixture fixture;
    fixture.form->ScaleToScreen(GetParam());
    for (const char* name : {"HBtnRef", "HBtnSave", "Button1", "HBtnCreate", "HChkBox", "HChkVertical", "HChkFaceMix", "Label1",
                             "Label2", "HEditX", "HEditY", "HEditPath"})
        ExpectTextFits(fixture.Find<QWidget>(name));
    // The widest sizes a picture may have, five digits, show whole.
    for (const char* name : {"HEditX", "HEditY"}) {
        auto* size = fixture.Find<QLineEdit>(name);
        for (const char* text : {"20000", "88888", "26754"}) {
            size->setText(text);
            ExpectTextFits(size);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PixelsPerInch, Screens, ::testing::Values(96, 120, 144));

TEST(Window, GrowsWithTheWindowFontOnADenserScreen)
{
    TFormFixture fixture;
    THFormMain& form = *fixture.form;
    form.ScaleToScreen(120);
    EXPECT_EQ(form.font().pixelSize(), 15);
    EXPECT_EQ(fixture.Find<QWidget>("HEditX")->font().pixelSize(), 19);
    EXPECT_GT(form.width(), 480 * 115 / 100);
    EXPECT_LT(form.width(), 480 * 135 / 100);
    const double scale = double(form.width()) / 480;
    const QRect panel = fixture.Find<QWidget>("HImgPanel")->geometry();
    EXPECT_NEAR(panel.width(), 445 * scale, 1.5);
    EXPECT_NEAR(panel.x(), 8 * scale, 1);
    EXPECT_EQ(form.CurrentSettings().size, 16);

    form.ScaleToScreen(96);
    EXPECT_EQ(form.size(), QSize(480, 430));
    EXPECT_EQ(fixture.Find<QWidget>("HImgPanel")->geometry(), QRect(8, 88, 445, 317));
    EXPECT_EQ(form.CurrentSettings().size, 20);
}

int SelectedFilter(QFileDialog* dialog)
{
    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    return combo != nullptr ? combo->currentIndex() : -1;
}

QStringList ShownFilters(QFileDialog* dialog)
{
    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QStringList shown;
    for (int i = 0; combo != nullptr && i < combo->count(); ++i)
        shown << combo->itemText(i);
    return shown;
}

TEST(Dialogs, OfferTheWindowsFiltersWithTheSecondSelected)
{
    TFormFixture fixture;
    QFileDialog* open = fixture.form->OpenDialog();
    EXPECT_EQ(ShownFilters(open), QStringList({"すべてのﾌｧｲﾙ", "ﾃｷｽﾄﾌｧｲﾙ"}));
    EXPECT_EQ(SelectedFilter(open), 1);
    // ".txt" goes to typed names alone, not by the dialog (OpenDialog tests).
    EXPECT_EQ(open->defaultSuffix(), "");
    EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);

    QFileDialog* save = fixture.form->SaveDialog();
    EXPECT_EQ(ShownFilters(save), QStringList({"すべてのﾌｧｲﾙ", "ﾋﾞｯﾄﾏｯﾌﾟ (*.bmp)", "PNG (*.png)", "PDF (*.pdf)", "SVG (*.svg)",
                                               "SVGZ (*.svgz)"}));
    EXPECT_EQ(SelectedFilter(save), 1);
    EXPECT_EQ(save->defaultSuffix(), "bmp");
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));

    QFileDialog* saveText = fixture.form->SaveTextDialog();
    EXPECT_EQ(ShownFilters(saveText), QStringList({"すべてのﾌｧｲﾙ", "ﾃｷｽﾄﾌｧｲﾙ"}));
    EXPECT_EQ(SelectedFilter(saveText), 1);
    EXPECT_EQ(saveText->defaultSuffix(), "txt");
    EXPECT_EQ(saveText->acceptMode(), QFileDialog::AcceptSave);
}

} // namespace
} // namespace morvaleth::test
