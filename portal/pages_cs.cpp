// Pages of the customer-service server: the chat page the player sees in the client's VIP
// window (831×643 below the window's title bar) and the agent console, a full-size page for a
// person at a browser. Both talk to the server with long polls (cs_server.h).
#include <string>

#include "html.h"
#include "page_files.h"
#include "pages.h"
#include "request_log.h"

namespace portal {

std::string CsChatPage(std::string_view session, std::string_view initial_json) {
    return Fill(page_files::kCsChat, {{"FONT", std::string(kFontStack)},
                                      {"SID", JsonString(session, true)},
                                      {"INITIAL", JsonString(initial_json, true)}});
}

std::string CsAgentPage() { return Fill(page_files::kCsAgent, {{"FONT", std::string(kFontStack)}}); }

}  // namespace portal
