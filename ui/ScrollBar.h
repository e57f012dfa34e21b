#pragma once

#include <QScrollBar>

#include <cstdint>

namespace morvaleth {

// What a user action on a scroll bar asks for. Every action ends with
// EndScroll, which keeps the position.
enum class TScrollCode { LineUp, LineDown, PageUp, PageDown, Position, Track, Top, Bottom, EndScroll };

// A scroll bar with the rules the preview relies on:
// - minimum, maximum and position stay ordered, the position raised to the
//   minimum first and then lowered to the maximum; a maximum below the
//   minimum is refused and changes nothing;
// - Change fires exactly when the position really changes, whatever the cause;
// - Scroll fires only for user actions, once for every step of an action and
//   once more when it ends, before the bar takes the new position, which the
//   handler may alter;
// - the line and page steps are plain 16-bit values.
// The form uses only this interface; QScrollBar's own setters bypass the rules.
class TScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit TScrollBar(QWidget* parent = nullptr);

    int Min() const { return minimum(); }
    int Max() const { return maximum(); }
    int Position() const { return value(); }
    std::uint16_t LineStep() const { return lineStep_; }
    std::uint16_t PageStep() const { return pageStep_; }

    // Both fail with "ｽｸﾛｰﾙﾊﾞｰ ﾌﾟﾛﾊﾟﾃｨが範囲を越えました" rather than leave the
    // maximum below the minimum; a failure changes nothing.
    void SetMin(int minimum);
    void SetMax(int maximum);
    void SetPosition(int position);
    void SetLineStep(std::uint16_t step);
    void SetPageStep(std::uint16_t step);

    // Scrolls by `lines` line steps (negative: back) as one user action, the
    // way a turn of the mouse wheel over the bar's window does: a line
    // message for each step, then the end of the scroll. A bar without a
    // range, or in the middle of another action, does nothing.
    void ScrollLines(int lines);

signals:
    // `position` is the new one, already within range; the bar takes
    // whatever the handlers leave in it. Only direct connections can work.
    void Scroll(morvaleth::TScrollBar* sender, morvaleth::TScrollCode code, int& position);
    void Change(morvaleth::TScrollBar* sender);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    enum class UserAction { None, Buttons, Thumb, Keys, Wheel };

    void ActionTriggered(int action);
    int AskScroll(TScrollCode code, int position);
    void EndUserAction();
    void EndMouseAction();
    void CancelMousePress();

    std::uint16_t lineStep_ = 1;
    std::uint16_t pageStep_ = 1;
    UserAction userAction_ = UserAction::None;
    Qt::MouseButton pressButton_ = Qt::NoButton;
    int actionsTriggered_ = 0;
    // A modal window opened while the mouse or a key was down: the release
    // goes to that window, so the action ends when the handler returns.
    bool interrupted_ = false;
};

} // namespace morvaleth
