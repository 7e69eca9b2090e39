// The four exports: C functions that turn their byte-string arguments into the client's calls
// and never let an exception out.
#include <string>

#include "supportim/im_client.h"

namespace {

std::string Arg(const char* s) { return s ? s : ""; }

}  // namespace

using supportim::ImClient;

extern "C" {

SUPPORTIM_API int SUPPORTIM_CDECL init(const char* host, const char* account, const char* service, const char* userId,
                                       const char* field5, const char* gameId, const char* field6, const char* fId,
                                       const char* field7, const char* chatType) {
    try {
        supportim::ChatConfig c;
        c.host = Arg(host);
        c.account = Arg(account);
        c.service = Arg(service);
        c.user = Arg(userId);
        c.field5 = Arg(field5);
        c.game = Arg(gameId);
        c.field6 = Arg(field6);
        c.fid = Arg(fId);
        c.field7 = Arg(field7);
        c.type = Arg(chatType);
        return ImClient::Instance().Init(c) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

SUPPORTIM_API int SUPPORTIM_STDCALL ongetlok(SupportImCallback callback) {
    try {
        ImClient::Instance().SetCallback(callback);
    } catch (...) {}
    return 1;
}

SUPPORTIM_API int SUPPORTIM_CDECL setacc(const char* account, const char* service, const char* askPrefix,
                                         const char* userId) {
    (void)service;
    try {
        return ImClient::Instance().RequestAgent(Arg(account), Arg(askPrefix), Arg(userId)) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

SUPPORTIM_API const char* SUPPORTIM_CDECL setlnk(const char* account, const char* service, const char* serviceGroup,
                                                 const char* askPrefix, const char* userId) {
    (void)service;
    (void)askPrefix;
    (void)userId;
    // The caller copies the text; it stays valid until this thread calls setlnk again.
    thread_local std::string text;
    try {
        text = ImClient::Instance().Link(Arg(account), Arg(serviceGroup));
    } catch (...) {
        text.clear();
    }
    return text.c_str();
}

}  // extern "C"
