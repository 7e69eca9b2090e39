#include "game/title_animations.h"

bool BindingAnimation::Start(int frames) {
    frames_ = frames;
    slot_ = 0;
    cycles_ = 0;
    frame_ = -1;
    running_ = frames > 0;
    if (running_) frame_ = 0;
    return running_;
}

BindingAnimation::Tick BindingAnimation::Advance(bool accountBound) {
    if (!running_) return Tick::Stopped;
    if (slot_ + 1 < kSlots) {
        ++slot_;
        if (slot_ >= frames_) return Tick::Unchanged;  // below the strip: nothing new drawn
        frame_ = slot_;
        return Tick::Changed;
    }
    ++cycles_;
    if (accountBound) {
        running_ = false;
        return Tick::Stopped;
    }
    slot_ = 0;
    frame_ = 0;
    return Tick::Changed;
}

void SpinnerAnimation::Start() {
    running_ = true;
    frame_ = 0;
}

SpinnerAnimation::Tick SpinnerAnimation::Advance(bool clearing) {
    if (!running_) return Tick::Stopped;
    if (frame_ + 1 < kFrames) {
        ++frame_;
        return Tick::Changed;
    }
    if (!clearing) {
        running_ = false;
        return Tick::Stopped;
    }
    frame_ = 1;
    return Tick::Changed;
}

void VipBlink::Start() {
    if (running_) return;
    running_ = true;
    shown_ = true;
    ticks_ = 0;
}

VipBlink::Tick VipBlink::Advance(bool pending) {
    if (!running_ || !pending) {
        running_ = false;
        return Tick::Stopped;
    }
    shown_ = !shown_;
    ++ticks_;
    return Tick::Changed;
}
