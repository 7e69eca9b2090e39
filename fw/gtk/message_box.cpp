// Message boxes as modal GTK message dialogs with Windows' buttons and answers.
#include <gtk/gtk.h>

#include <cstdio>

#include "fw/gtk/gtk_native.h"
#include "fw/message_box.h"

namespace fw {

namespace {
// Button labels in the user's language, from GTK's own translations.
const char* Label(const char* text) { return g_dgettext("gtk30", text); }
}  // namespace

int MessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned flags) {
    using namespace gtk;
    unsigned buttons = flags & 0xF;
    bool okCancel = buttons == MB_OKCANCEL;
    bool yesNo = buttons == MB_YESNO;
    // Escape, the close button and a missing display all answer what Escape answers.
    int escapeAnswer = okCancel ? IDCANCEL : yesNo ? IDNO : IDOK;
    if (!Ready()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return escapeAnswer;
    }

    GtkMessageType type = GTK_MESSAGE_OTHER;
    switch (flags & 0xF0) {
    case MB_ICONERROR: type = GTK_MESSAGE_ERROR; break;
    case MB_ICONQUESTION: type = GTK_MESSAGE_QUESTION; break;
    case MB_ICONWARNING: type = GTK_MESSAGE_WARNING; break;
    case MB_ICONINFORMATION: type = GTK_MESSAGE_INFO; break;
    default: break;
    }

    backend::Native* on = NativeOf(owner);
    GtkWindow* parent = on ? ToplevelOf(on) : nullptr;
    if (parent && !gtk_widget_get_visible(GTK_WIDGET(parent))) parent = nullptr;

    std::string body = ValidUtf8(text);
    GtkWidget* dlg = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, GTK_BUTTONS_NONE, "%s", body.c_str());
    gtk_window_set_title(GTK_WINDOW(dlg), ValidUtf8(caption).c_str());
    int defaultResponse;
    if (okCancel) {
        gtk_dialog_add_buttons(GTK_DIALOG(dlg), Label("_OK"), GTK_RESPONSE_OK, Label("_Cancel"), GTK_RESPONSE_CANCEL,
                               nullptr);
        defaultResponse = GTK_RESPONSE_OK;
    } else if (yesNo) {
        gtk_dialog_add_buttons(GTK_DIALOG(dlg), Label("_Yes"), GTK_RESPONSE_YES, Label("_No"), GTK_RESPONSE_NO,
                               nullptr);
        defaultResponse = GTK_RESPONSE_YES;
    } else {
        gtk_dialog_add_button(GTK_DIALOG(dlg), Label("_OK"), GTK_RESPONSE_OK);
        defaultResponse = GTK_RESPONSE_OK;
    }
    // Return accepts, as on Windows (GTK's own default would be the last button).
    gtk_dialog_set_default_response(GTK_DIALOG(dlg), defaultResponse);
    if (GtkWidget* def = gtk_dialog_get_widget_for_response(GTK_DIALOG(dlg), defaultResponse))
        gtk_widget_grab_focus(def);
    gtk_window_set_position(GTK_WINDOW(dlg), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(dlg), TRUE);
    gtk_window_set_modal(GTK_WINDOW(dlg), TRUE);

    gint r = gtk_dialog_run(GTK_DIALOG(dlg));
    gtk_widget_destroy(dlg);
    switch (r) {
    case GTK_RESPONSE_OK: return IDOK;
    case GTK_RESPONSE_CANCEL: return IDCANCEL;
    case GTK_RESPONSE_YES: return IDYES;
    case GTK_RESPONSE_NO: return IDNO;
    default: return escapeAnswer;
    }
}

}  // namespace fw
