#pragma once
// The customer-service chat library as the game window uses it (supportim/support_im.h): the
// service list it is started with, the library itself, loaded once per process from the
// executable's folder and never unloaded, each export looked up by name at every use, and the
// hand-over of what its callback brings from the library's own thread.
#include <array>
#include <optional>
#include <string>

#include "fw/window.h"
#include "supportim/support_im.h"

namespace chat {

// The seven values of the launcher page's ShowIM list, field k at index k - 1, in the system's
// narrow character set (as the library takes them). Field 1 names the service group (setlnk),
// 2, 3 and 4 are the user, game and f_id (the heartbeat sends them too), 5, 6 and 7 go to init.
using ServiceFields = std::array<std::string, 7>;

// Parses a list of values each followed by "|": field k is the text between the (k-1)-th and
// the k-th bar. Where no bar is left, that field and the later ones are empty and the rest of
// the text is dropped, as is anything after the seventh bar. False (fields untouched) for a
// list without any bar.
bool ParseServiceList(const std::string& listUtf8, ServiceFields& fields);

// The library's file in a folder: "libSupportIM.so" here, "SupportIM.dll" on Windows.
std::string LibraryFileName();

// Loads the library from `dir` the first time (a later call answers whether that worked, and
// tries again only when it did not). UI thread.
bool LoadLibraryFrom(const std::string& dir);
bool LibraryLoaded();
// Forgets the loaded library without unloading it, so that the next load takes another file.
void ForgetLibraryForTesting();

// The exports, each looked up when called; nullopt when the library is not loaded or has no
// such export (nothing was called then).
// init(cs host, account, service, field 2, 5, 3, 6, 4, 7, "cs"): whether the chat is ready.
std::optional<bool> Init(const std::string& csHost, const ServiceFields& f);
// ongetlok with the client's callback (ImInbox::OnMessage).
std::optional<bool> RegisterCallback();
// setacc(account, service, "咨询-" in code page 936, field 2): whether a link may be made.
std::optional<bool> SetAcc(const ServiceFields& f);
// setlnk(account, service, field 1, "咨询-", field 2): the chat page's address, UTF-8 (invalid
// sequences replaced).
std::optional<std::string> SetLnk(const ServiceFields& f);

// The texts from the library, handed from its thread to the game window: the latest text,
// under a lock, and the window to tell, known by its handle (a window that is gone is never
// touched; a message posted to it is dropped). One game window at a time.
class ImInbox {
public:
    // The game window that hears of new texts (kNoWindow: none; texts are then dropped).
    static void SetTarget(fw::Handle window);
    // Forgets `window` as the target, if it still is.
    static void ClearTarget(fw::Handle window);
    // The latest text: from the callback, or from setlnk. Any thread.
    static std::string LastText();
    static void SetLastText(std::string utf8);
    static void ResetForTesting();

    // The library's callback: keeps a copy of the text (invalid UTF-8 replaced) and posts
    // WM_IM_ARRIVED to the target; without a target the text is dropped. Any thread; takes
    // only the inbox's lock, briefly. Answers 1.
    static int SUPPORTIM_STDCALL OnMessage(const char* utf8Text);
};

}  // namespace chat
