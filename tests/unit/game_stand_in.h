#pragma once
// Stands in for the game window in the side windows' tests: records the messages it gets and
// the keys that reach it through pre-translation (a key a child swallows never does).
#include <vector>

#include "fw/window.h"

class GameStandIn : public fw::Window {
public:
    std::vector<unsigned> messages;
    std::vector<fw::WPARAM> keys;
    bool PreTranslateMessage(const fw::Msg& m) override {
        if (m.message == fw::WM_KEYDOWN || m.message == fw::WM_SYSKEYDOWN) keys.push_back(m.wParam);
        return false;
    }

protected:
    fw::LRESULT OnMessage(unsigned msg, fw::WPARAM, fw::LPARAM) override {
        messages.push_back(msg);
        return 0;
    }
};
