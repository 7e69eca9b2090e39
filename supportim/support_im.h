/* The customer-service chat library (libSupportIM.so beside the executable; SupportIM.dll on
 * Windows): the names, types and constants that the library and its caller share.
 *
 * The caller loads the library at run time from the executable's folder, never unloads it,
 * and looks each export up by name (SUPPORTIM_EXPORT_*) at every use.
 *
 * Order of calls: init at each start of the customer service; when it answers non-zero,
 * ongetlok with the message callback; later, each time the player is linked to an agent,
 * setacc and then (when setacc answered non-zero, or from a message's blink) setlnk.
 *
 * Every export may be called from any thread and returns within a few milliseconds: no call
 * waits for the network. The library talks to the customer-service server on a thread of its
 * own, and answers from what that thread last learned.
 *
 * Text: the arguments are zero-terminated byte strings in the system's narrow character set
 * (on Windows the ANSI code page; elsewhere the locale's character set), except the ask prefix,
 * which is always code page 936. The text that setlnk returns and the text handed to the
 * callback are UTF-8.
 */
#ifndef SUPPORTIM_SUPPORT_IM_H
#define SUPPORTIM_SUPPORT_IM_H

/* Calling conventions: on Windows the callback and ongetlok are stdcall, the other exports
 * cdecl, whatever the caller's compiler takes by default; elsewhere all of them are the plain
 * C convention. */
#ifdef _WIN32
#define SUPPORTIM_STDCALL __stdcall
#define SUPPORTIM_CDECL __cdecl
#else
#define SUPPORTIM_STDCALL
#define SUPPORTIM_CDECL
#endif

/* The platform's service account, the service name and the chat type passed to the library. */
#define SUPPORTIM_SERVICE_ACCOUNT "80008000"
#define SUPPORTIM_SERVICE_NAME "VIPkefu"
#define SUPPORTIM_CHAT_TYPE "cs"
/* "咨询-" in code page 936. */
#define SUPPORTIM_ASK_PREFIX_CP936 "\xD7\xC9\xD1\xAF\x2D"

#define SUPPORTIM_EXPORT_INIT "init"
#define SUPPORTIM_EXPORT_ONGETLOK "ongetlok"
#define SUPPORTIM_EXPORT_SETACC "setacc"
#define SUPPORTIM_EXPORT_SETLNK "setlnk"

#ifdef __cplusplus
extern "C" {
#endif

/* The message callback: called on the library's thread, never while the library holds a lock
 * (so it may call the exports again), with a zero-terminated UTF-8 text that is valid only
 * during the call: copy it. Return non-zero. The text is the address of the chat page, with
 * the arriving message as its fragment ("http://HOST/cs/chat/?sid=…#msg-N"), so wherever the
 * caller uses the latest text as the chat page's address, it opens the right conversation. */
typedef int(SUPPORTIM_STDCALL* SupportImCallback)(const char* utf8Text);

/* init(customer-service server host[:port], service account, service name, user id (field 2),
 *      field 5, game id (field 3), field 6, f_id (field 4), field 7, chat type).
 * Non-zero low byte: the chat is ready. The library then keeps a session with the server for
 * this player, connecting in the background and again after the server restarts. Zero when
 * the host is not a host name or address with an optional port, or the account is empty.
 * A new init with the same values keeps the session; different values start a new one. */
typedef int(SUPPORTIM_CDECL* SupportImInitFn)(const char* host, const char* account, const char* service,
                                              const char* userId, const char* field5, const char* gameId,
                                              const char* field6, const char* fId, const char* field7,
                                              const char* chatType);

/* ongetlok(callback): registers the message callback (null: none). Messages that arrived
 * before a callback was registered are handed to it then. Returns 1. */
typedef int(SUPPORTIM_STDCALL* SupportImOnGetLokFn)(SupportImCallback callback);

/* setacc(service account, service name, ask prefix in code page 936, user id).
 * Non-zero low byte: a link may be made (the library is connected to the server for this
 * account); the player's request for an agent, labelled prefix + user id, is then queued to
 * the agents. Zero when not initialised, not connected, or for another account. */
typedef int(SUPPORTIM_CDECL* SupportImSetAccFn)(const char* account, const char* service, const char* askPrefix,
                                                const char* userId);

/* setlnk(service account, service name, service group (field 1), ask prefix, user id).
 * The address of the chat page of this player's session, UTF-8, owned by the library: valid
 * until the same thread calls setlnk again; copy it, do not free it. "" when not initialised.
 * The server learns of the link (and the service group) in the background. */
typedef const char*(SUPPORTIM_CDECL* SupportImSetLnkFn)(const char* account, const char* service,
                                                        const char* serviceGroup, const char* askPrefix,
                                                        const char* userId);

#ifdef SUPPORTIM_BUILDING_LIBRARY
SUPPORTIM_API int SUPPORTIM_CDECL init(const char* host, const char* account, const char* service, const char* userId,
                                       const char* field5, const char* gameId, const char* field6, const char* fId,
                                       const char* field7, const char* chatType);
SUPPORTIM_API int SUPPORTIM_STDCALL ongetlok(SupportImCallback callback);
SUPPORTIM_API int SUPPORTIM_CDECL setacc(const char* account, const char* service, const char* askPrefix,
                                         const char* userId);
SUPPORTIM_API const char* SUPPORTIM_CDECL setlnk(const char* account, const char* service, const char* serviceGroup,
                                                 const char* askPrefix, const char* userId);
#endif

#ifdef __cplusplus
}
#endif

#endif /* SUPPORTIM_SUPPORT_IM_H */
