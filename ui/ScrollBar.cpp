#include "ui/ScrollBar.h"

#include "composer/Messages.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cstdlib>

namespace morvaleth {

TScrollBar::TScrollBar(QWidget* parent) : QScrollBar(parent)
{
    // Like the window's other controls it takes part in the tab order.
    setFocusPolicy(Qt::StrongFocus);
    // Qt's menu would move the bar with "Scroll here" without a Scroll event.
    setContextMenuPolicy(Qt::NoContextMenu);
    setRange(0, 100);
    setValue(0);
    QAbstractSlider::setSingleStep(lineStep_);
    QAbstractSlider::setPageStep(pageStep_);

    connect(this, &QAbstractSlider::actionTriggered, this, &TScrollBar::ActionTriggered);
    connect(this, &QAbstractSlider::valueChanged, this, [this] { emit Change(this); });
}

void TScrollBar::SetMin(int minimum)
{
    if (minimum > maximum())
        throw Failure(Message::ScrollRangeRefused);
    setMinimum(minimum);
}

void TScrollBar::SetMax(int maximum)
{
    if (maximum < minimum())
        throw Failure(Message::ScrollRangeRefused);
    setMaximum(maximum);
}

void TScrollBar::SetPosition(int position)
{
    setValue(position);
}

void TScrollBar::SetLineStep(std::uint16_t step)
{
    lineStep_ = step;
    QAbstractSlider::setSingleStep(step);
}

void TScrollBar::SetPageStep(std::uint16_t step)
{
    pageStep_ = step;
    QAbstractSlider::setPageStep(step);
}

void TScrollBar::ScrollLines(int lines)
{
    if (lines == 0 || minimum() == maximum() || userAction_ != UserAction::None)
        return;
    userAction_ = UserAction::Wheel;
    actionsTriggered_ = 0;
    interrupted_ = false;
    const SliderAction step = lines < 0 ? SliderSingleStepSub : SliderSingleStepAdd;
    // A modal box opened by a step ends the action there.
    for (int i = 0; i < std::abs(lines) && !interrupted_; ++i)
        triggerAction(step);
    EndUserAction();
}

// QAbstractSlider announces each step of an action after it has moved the
// slider position but before the value follows it, so the position asked
// for can still be replaced here.
void TScrollBar::ActionTriggered(int action)
{
    TScrollCode code;
    switch (action) {
    case SliderSingleStepSub:
        code = TScrollCode::LineUp;
        break;
    case SliderSingleStepAdd:
        code = TScrollCode::LineDown;
        break;
    case SliderPageStepSub:
        code = TScrollCode::PageUp;
        break;
    case SliderPageStepAdd:
        code = TScrollCode::PageDown;
        break;
    case SliderToMinimum:
        code = TScrollCode::Top;
        break;
    case SliderToMaximum:
        code = TScrollCode::Bottom;
        break;
    case SliderMove:
        code = isSliderDown() ? TScrollCode::Track : TScrollCode::Position;
        break;
    default:
        return;
    }
    ++actionsTriggered_;
    setSliderPosition(AskScroll(code, sliderPosition()));
}

int TScrollBar::AskScroll(TScrollCode code, int position)
{
    emit Scroll(this, code, position);
    return position;
}

void TScrollBar::EndUserAction()
{
    userAction_ = UserAction::None;
    pressButton_ = Qt::NoButton;
    actionsTriggered_ = 0;
    interrupted_ = false;
    setValue(AskScroll(TScrollCode::EndScroll, value()));
}

void TScrollBar::EndMouseAction()
{
    // A dragged thumb reports where it was let go before the scroll ends.
    if (userAction_ == UserAction::Thumb)
        setValue(AskScroll(TScrollCode::Position, value()));
    EndUserAction();
}

void TScrollBar::CancelMousePress()
{
    // Resets QScrollBar's pressed part and stops its auto-repeat.
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(-1, -1), mapToGlobal(QPointF(-1, -1)),
                        pressButton_, Qt::NoButton, Qt::NoModifier);
    QScrollBar::mouseReleaseEvent(&release);
}

void TScrollBar::mousePressEvent(QMouseEvent* event)
{
    if (userAction_ != UserAction::None) {
        QScrollBar::mousePressEvent(event);
        return;
    }
    userAction_ = UserAction::Buttons;
    pressButton_ = event->button();
    actionsTriggered_ = 0;
    interrupted_ = false;
    QScrollBar::mousePressEvent(event);
    if (isSliderDown())
        userAction_ = UserAction::Thumb;
    else if (actionsTriggered_ == 0) {
        // No range, or a button the bar does not answer: nothing started.
        userAction_ = UserAction::None;
        pressButton_ = Qt::NoButton;
        return;
    }
    if (interrupted_) {
        CancelMousePress();
        EndMouseAction();
    }
}

void TScrollBar::mouseMoveEvent(QMouseEvent* event)
{
    QScrollBar::mouseMoveEvent(event);
    if (interrupted_ && (userAction_ == UserAction::Buttons || userAction_ == UserAction::Thumb)) {
        CancelMousePress();
        EndMouseAction();
    }
}

void TScrollBar::mouseReleaseEvent(QMouseEvent* event)
{
    const bool ends = (userAction_ == UserAction::Buttons || userAction_ == UserAction::Thumb) &&
                      event->button() == pressButton_ && !(event->buttons() & ~event->button());
    QScrollBar::mouseReleaseEvent(event);
    if (ends)
        EndMouseAction();
}

void TScrollBar::keyPressEvent(QKeyEvent* event)
{
    // The keys act here rather than in QAbstractSlider, whose horizontal
    // scroll bars take the left arrow for a step toward the maximum.
    SliderAction action = SliderNoAction;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        action = SliderSingleStepSub;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        action = SliderSingleStepAdd;
        break;
    case Qt::Key_PageUp:
        action = SliderPageStepSub;
        break;
    case Qt::Key_PageDown:
        action = SliderPageStepAdd;
        break;
    case Qt::Key_Home:
        action = SliderToMinimum;
        break;
    case Qt::Key_End:
        action = SliderToMaximum;
        break;
    default:
        QScrollBar::keyPressEvent(event);
        return;
    }
    event->accept();
    if (userAction_ == UserAction::None) {
        userAction_ = UserAction::Keys;
        interrupted_ = false;
    }
    triggerAction(action);
    // The key's release went to the modal window that interrupted the action.
    if (interrupted_ && userAction_ == UserAction::Keys)
        EndUserAction();
}

void TScrollBar::keyReleaseEvent(QKeyEvent* event)
{
    QScrollBar::keyReleaseEvent(event);
    if (userAction_ == UserAction::Keys && !event->isAutoRepeat())
        EndUserAction();
}

void TScrollBar::wheelEvent(QWheelEvent* event)
{
    if (userAction_ != UserAction::None) {
        QScrollBar::wheelEvent(event);
        return;
    }
    userAction_ = UserAction::Wheel;
    actionsTriggered_ = 0;
    QScrollBar::wheelEvent(event);
    if (actionsTriggered_ == 0)
        userAction_ = UserAction::None;
    else
        EndUserAction();
}

bool TScrollBar::event(QEvent* event)
{
    // Qt tells every widget of a window that a modal window now blocks it.
    if (event->type() == QEvent::WindowBlocked && userAction_ != UserAction::None)
        interrupted_ = true;
    return QScrollBar::event(event);
}

} // namespace morvaleth
