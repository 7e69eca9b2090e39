#pragma once
// A browser control for the Windows end-to-end runs, registered in this process for the
// system's WebBrowser class before the client makes its first control, so that the client's
// code runs unchanged on a control whose pages are played by the test.
//
// What it does as the system's control does:
// - Navigate raises BeforeNavigate2 at once (Cancel honoured); the page is then fetched over
//   HTTP on a thread of its own, and its load raises NavigateComplete2, the frames' events
//   (each <iframe src>), TitleChange and DocumentComplete of the top-level document last; a
//   page that cannot be fetched (no server, or an HTTP error) raises NavigateError instead.
// - Refresh and Refresh2 fetch the page again and raise no BeforeNavigate2 and no
//   DocumentComplete of the top-level document: the reload ends with DownloadComplete, the
//   ready state then complete.
// - The document is what the page's HTML holds: IHTMLDocument2::get_all, tags and item, and
//   each element with an id its id and innerText.
// - A key the host hands to IOleInPlaceActiveObject::TranslateAccelerator is not taken.
// - A NewWindow3 left uncancelled with a control put in ppDisp loads the address into it; one
//   left uncancelled without one is the control opening a window of its own (logged as such).
//
// The test plays the page's script from outside: WM_COPYDATA (dwData kScriptCommand) to the
// page's window (class kPageClass, its text "<control number> <address>") with a UTF-8 line
// of tab-separated fields:
//   external NAME ARG...   window.external.NAME(args): s:text, n:number, b:0|1, null
//   newwindow URL FLAGS    the page opens a window (NWMF_ flags, decimal)
//   navigate URL           the page goes to URL (a link followed, location set)
//   closing                the page calls window.close()
// SendMessage answers the call's HRESULT (external), or 1 when the event was cancelled.
//
// Everything the client did with the controls and each page's answer is appended to the
// file named by RV_PAGE_LOG, one line each: "<control number> <what> <details>".
//
// Every COM object the controls hand out counts its references; one that is released more
// often than it was referenced is noted, and ScriptedControlsLeft says what the program did
// not give back by its end.

#include <string>

namespace scripted {

inline constexpr const wchar_t* kPageClass = L"RvScriptedPage";
inline constexpr unsigned long kScriptCommand = 0x52565043;  // 'RVPC'

// Registers the control's class object for CLSID_WebBrowser (COM started on this thread).
bool RegisterScriptedControl();
// Withdraws it; then the objects still alive and the over-released ones, or "" when none.
std::string ScriptedControlsLeft();

}  // namespace scripted
