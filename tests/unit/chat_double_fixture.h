#pragma once
// The tests' chat library (chat_double/) as the game window meets it: a variant copied into the
// test's folder under the real library's name, so that the window loads exactly that file, and
// the test's handle on the same loaded file to set its answers and read its calls.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "chat_double/chat_double.h"
#include "fw/library.h"
#include "fw/system.h"
#include "game/chat_library.h"

namespace game_test {

class ChatDouble {
public:
    // Copies variant `name` ("full", "without_setacc" ...) into `dir`. The library is loaded
    // (by this object, then by the window: the same file, the same instance).
    void Install(const std::string& dir, const std::string& name) {
        const std::filesystem::path from =
            std::filesystem::path(fw::GetModuleDir()) / fw::SharedLibraryName("chat_double_" + name);
        const std::filesystem::path to = std::filesystem::path(dir) / chat::LibraryFileName();
        std::error_code ec;
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
        ASSERT_FALSE(ec) << "cannot copy " << from << ": " << ec.message();
        std::string why;
        lib_ = fw::LoadSharedLibrary(to.string(), &why);
        ASSERT_NE(lib_, nullptr) << why;
        reset_ = reinterpret_cast<ChatDoubleResetFn>(fw::FindSymbol(lib_, CHAT_DOUBLE_RESET));
        answer_ = reinterpret_cast<ChatDoubleAnswerFn>(fw::FindSymbol(lib_, CHAT_DOUBLE_ANSWER));
        calls_ = reinterpret_cast<ChatDoubleCallsFn>(fw::FindSymbol(lib_, CHAT_DOUBLE_CALLS));
        deliver_ = reinterpret_cast<ChatDoubleDeliverFn>(fw::FindSymbol(lib_, CHAT_DOUBLE_DELIVER));
        delivered_ = reinterpret_cast<ChatDoubleDeliveredFn>(fw::FindSymbol(lib_, CHAT_DOUBLE_DELIVERED));
        ASSERT_TRUE(reset_ && answer_ && calls_ && deliver_ && delivered_);
        reset_();
    }

    void Answer(int init, int setacc, const std::string& link) { answer_(init, setacc, link.c_str()); }
    // Each call: its export's name, then its arguments.
    std::vector<std::vector<std::string>> Calls() const {
        std::string text(static_cast<std::size_t>(calls_(nullptr, 0)) + 1, '\0');
        text.resize(static_cast<std::size_t>(calls_(text.data(), static_cast<int>(text.size()))));
        std::vector<std::vector<std::string>> out;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            std::vector<std::string> call;
            std::size_t f = start;
            for (;;) {
                const std::size_t sep = text.find('\x1f', f);
                if (sep == std::string::npos || sep > end) {
                    call.push_back(text.substr(f, end - f));
                    break;
                }
                call.push_back(text.substr(f, sep - f));
                f = sep + 1;
            }
            out.push_back(std::move(call));
            start = end + 1;
        }
        return out;
    }
    // The names of the calls, in order.
    std::vector<std::string> CallNames() const {
        std::vector<std::string> names;
        for (const auto& c : Calls()) names.push_back(c.front());
        return names;
    }
    void Deliver(const std::string& text) { deliver_(text.c_str()); }
    int Delivered() const { return delivered_(); }
    // Waits until `n` callbacks have returned in all.
    bool WaitDelivered(int n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (Delivered() < n) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    fw::LibraryHandle lib_ = nullptr;
    ChatDoubleResetFn reset_ = nullptr;
    ChatDoubleAnswerFn answer_ = nullptr;
    ChatDoubleCallsFn calls_ = nullptr;
    ChatDoubleDeliverFn deliver_ = nullptr;
    ChatDoubleDeliveredFn delivered_ = nullptr;
};

}  // namespace game_test
