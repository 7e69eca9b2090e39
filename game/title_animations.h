#pragma once
// The state machines of the game window's title-bar animations. They hold which frame is on
// screen and decide, at each tick, what comes next; the title bar (title_bar.h) drives the
// binding button's and the spinner's, the customer service (vip_service.h) the VIP button's
// blink, from the game window's timers on the UI thread; the bar paints the current frame and
// the area a tick changed is painted again. Nothing here touches a window.

// The account-binding button: a cycle of ten 150 ms slots. Slot i shows frame i of the
// strip; a slot whose frame lies beyond the strip shows nothing new, so with the skin's nine
// frames the ninth stays up for the last two slots. At the end of each cycle the animation
// goes on while the account is still unbound and stops otherwise.
class BindingAnimation {
public:
    static constexpr int kSlots = 10;
    static constexpr unsigned kSlotMs = 150;

    enum class Tick { Changed, Unchanged, Stopped };

    // Begins at slot 0 with a strip of `frames` frames. A strip without frames (no picture)
    // cannot animate: the animation is then stopped at once and Start answers false.
    bool Start(int frames);
    // The next slot. `accountBound` is looked at only at the end of a cycle. Changed when a
    // new frame shows, Unchanged when the slot keeps the previous frame, Stopped when the
    // animation ended with this tick.
    Tick Advance(bool accountBound);
    void Stop() { running_ = false; }

    bool running() const { return running_; }
    int slot() const { return slot_; }
    int cycles() const { return cycles_; }  // cycles completed
    // The frame on screen: that of the last slot that drew one; -1 before the first.
    int frame() const { return frame_; }

private:
    bool running_ = false;
    int frames_ = 0;
    int slot_ = 0;
    int frame_ = -1;
    int cycles_ = 0;
};

// The spinner on the clear-cache button: frames 0 to 7, 80 ms each. After frame 7 it goes on
// with frame 1 while clearing still runs (frame 0 shows only in the first cycle), and stops
// otherwise, so a clearing that ends in the middle of a cycle lets the cycle finish.
class SpinnerAnimation {
public:
    static constexpr int kFrames = 8;
    static constexpr unsigned kFrameMs = 80;
    static constexpr int kSize = 16;

    enum class Tick { Changed, Stopped };

    void Start();
    // The next frame; `clearing` is looked at only after frame 7.
    Tick Advance(bool clearing);
    void Stop() { running_ = false; }

    bool running() const { return running_; }
    int frame() const { return frame_; }

private:
    bool running_ = false;
    int frame_ = 0;
};

// The VIP button's blink while a customer-service message waits: 600 ms halves, the title bar
// without the button first (so that an arriving message shows at once), then the button,
// and so on. It ends at the first tick after the message stopped waiting.
class VipBlink {
public:
    static constexpr unsigned kTickMs = 600;

    enum class Tick { Changed, Stopped };

    // Starts with the button drawn (the bare bar follows a half later); a blink already
    // running goes on as it is.
    void Start();
    // The next half; `pending` false ends the blink.
    Tick Advance(bool pending);
    void Stop() { running_ = false; }

    bool running() const { return running_; }
    // The button is drawn in the current half.
    bool buttonShown() const { return running_ && shown_; }
    int ticks() const { return ticks_; }  // halves since the start

private:
    bool running_ = false;
    bool shown_ = false;
    int ticks_ = 0;
};
