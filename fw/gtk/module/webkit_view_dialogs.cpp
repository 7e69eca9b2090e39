// What the page asks of the user through the engine: script dialogs (alert, confirm, prompt,
// leaving the page), HTTP authentication and the context menu. A silent control shows no
// dialog and asks for no password; a host that takes the context menu gets no menu at all.
#include <webkit2/webkit2.h>

#include "fw/gtk/module/webkit_view.h"

namespace fw::gtk::browser {

gboolean WebkitView::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                   WebkitView* self) {
    return self->host_->HostTakesContextMenu() ? TRUE : FALSE;
}

gboolean WebkitView::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, WebkitView* self) {
    if (!self->host_->Silent()) return FALSE;  // the engine's own dialog
    // Silent: no dialog; the answer is the one a dismissed dialog gives, except that leaving
    // the page is never held up.
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM: webkit_script_dialog_confirm_set_confirmed(dialog, FALSE); break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM: webkit_script_dialog_confirm_set_confirmed(dialog, TRUE); break;
    default: break;  // alert: nothing; prompt: null
    }
    return TRUE;
}

gboolean WebkitView::OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* rq, WebkitView* self) {
    if (!self->host_->Silent()) return FALSE;
    webkit_authentication_request_cancel(rq);
    return TRUE;
}

}  // namespace fw::gtk::browser
