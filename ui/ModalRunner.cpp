#include "ui/ModalRunner.h"

#include <QPushButton>
#include <QScreen>

namespace morvaleth {

void PlaceOnScreen(QWidget& window, TPlacement placement)
{
    const QScreen* screen = window.screen();
    if (screen == nullptr)
        return;
    const QRect area = screen->geometry();
    // Before the window manager has framed the window the frame adds nothing.
    const QSize size = window.frameGeometry().size();
    const int spareHeight = area.height() - size.height();
    const int x = area.x() + (area.width() - size.width()) / 2;
    const int y = area.y() + (placement == TPlacement::Centre ? spareHeight / 2 : spareHeight / 3);
    window.move(x, y);
}

bool TModalRunner::RunDialog(QDialog& dialog)
{
    return dialog.exec() == QDialog::Accepted;
}

void TModalRunner::ShowMessage(QWidget* owner, const TMessageBox& box)
{
    TPlaced<QMessageBox> message(owner);
    message.SetPlacement(TPlacement::Centre);
    message.setWindowTitle(box.caption);
    message.setTextFormat(Qt::PlainText);
    message.setText(box.text);
    message.setInformativeText(box.detail);
    switch (box.icon) {
    case TMessageIcon::None:
        message.setIcon(QMessageBox::NoIcon);
        break;
    case TMessageIcon::Exclamation:
        message.setIcon(QMessageBox::Warning);
        break;
    case TMessageIcon::Stop:
        message.setIcon(QMessageBox::Critical);
        break;
    }
    // The one button is both the default and the escape button.
    message.setStandardButtons(QMessageBox::Ok);
    message.setDefaultButton(QMessageBox::Ok);
    message.setEscapeButton(QMessageBox::Ok);
    message.exec();
}

TAnswer TModalRunner::Ask(QWidget* owner, const TQuestion& question)
{
    TPlaced<QMessageBox> box(owner);
    box.SetPlacement(TPlacement::Centre);
    box.setWindowTitle(question.caption);
    box.setTextFormat(Qt::PlainText);
    box.setText(question.text);
    box.setIcon(QMessageBox::Question);
    // The window's own words, half-width katakana as on its other buttons.
    QPushButton* yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QStringLiteral("ｷｬﾝｾﾙ"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == yes)
        return TAnswer::Yes;
    return box.clickedButton() == no ? TAnswer::No : TAnswer::Cancel;
}

} // namespace morvaleth
