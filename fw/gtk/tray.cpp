// The notification-area icon and the pop-up menu at the cursor. The icon is a StatusNotifierItem
// (tray_sni.h) when the session has a watcher for such items, else a GtkStatusIcon, which the
// desktop's system tray embeds (XEmbed).
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "fw/gtk/gtk_native.h"
#include "fw/gtk/tray_sni.h"
#include "fw/tray.h"

G_GNUC_BEGIN_IGNORE_DEPRECATIONS  // GtkStatusIcon is the X11 system tray's client

    namespace fw::gtk {
    namespace {

    struct TrayEntry {
        Handle wnd;
        unsigned id;
        unsigned callbackMsg;
        GtkStatusIcon* icon = nullptr;  // null until it is shown, or when it is an item
        SniIcon* item = nullptr;        // the StatusNotifierItem, when it is one
        GdkPixbuf* picture = nullptr;   // until then: what it will show (one reference)
        std::string tip;
        std::vector<MenuItem> menu;  // TraySetMenu's, for the item
        guint showSource = 0;
    };

    std::vector<std::unique_ptr<TrayEntry>> g_icons;
    GdkEvent* g_lastPress = nullptr;  // the last button press on a tray icon

    void PostMouse(const TrayEntry* t, unsigned mouseMsg) {
        Window::Post(t->wnd, t->callbackMsg, t->id, static_cast<LPARAM>(mouseMsg));
    }

    gboolean OnPress(GtkStatusIcon*, GdkEventButton* e, gpointer data) {
        auto* t = static_cast<TrayEntry*>(data);
        if (g_lastPress) gdk_event_free(g_lastPress);
        g_lastPress = gdk_event_copy(reinterpret_cast<GdkEvent*>(e));
        if (e->button == 1) {
            // A double click comes as press, press, then GDK's double press.
            if (e->type == GDK_2BUTTON_PRESS)
                PostMouse(t, WM_LBUTTONDBLCLK);
            else if (e->type == GDK_BUTTON_PRESS)
                PostMouse(t, WM_LBUTTONDOWN);
        } else if (e->button == 3 && e->type == GDK_BUTTON_PRESS) {
            PostMouse(t, WM_RBUTTONDOWN);
        }
        return TRUE;  // handled here: no "activate" and no "popup-menu" for mouse clicks
    }

    gboolean OnRelease(GtkStatusIcon*, GdkEventButton* e, gpointer data) {
        auto* t = static_cast<TrayEntry*>(data);
        if (e->button == 1)
            PostMouse(t, WM_LBUTTONUP);
        else if (e->button == 3)
            PostMouse(t, WM_RBUTTONUP);
        return TRUE;
    }

    void OnPopupMenu(GtkStatusIcon*, guint, guint, gpointer data) {
        // Reached from the keyboard (the menu key on a focused icon).
        PostMouse(static_cast<TrayEntry*>(data), WM_RBUTTONDOWN);
    }

    // --- Menus: the items and their commands ----------------------------------------------------

    struct MenuChoice {
        Handle wnd;
        unsigned command;
    };

    void OnItemActivate(GtkMenuItem*, gpointer data) {
        auto* c = static_cast<MenuChoice*>(data);
        Window::Post(c->wnd, WM_COMMAND, c->command, 0);
    }

    void FreeChoice(gpointer data, GClosure*) { delete static_cast<MenuChoice*>(data); }

    // A menu of the items (floating); a chosen item is posted to wnd as WM_COMMAND.
    GtkWidget* BuildMenu(Handle wnd, const std::vector<MenuItem>& items) {
        GtkWidget* menu = gtk_menu_new();
        for (const MenuItem& it : items) {
            GtkWidget* mi;
            if (it.text.empty() && it.command == 0) {
                mi = gtk_separator_menu_item_new();
            } else {
                mi = gtk_menu_item_new_with_label(ValidUtf8(it.text).c_str());
                g_signal_connect_data(mi, "activate", G_CALLBACK(OnItemActivate), new MenuChoice{wnd, it.command},
                                      FreeChoice, GConnectFlags(0));
            }
            gtk_menu_shell_append(GTK_MENU_SHELL(menu), mi);
            gtk_widget_show(mi);
        }
        return menu;
    }

    void Drop(TrayEntry* t) {
        if (t->showSource) g_source_remove(t->showSource);
        t->showSource = 0;
        if (t->picture) g_object_unref(t->picture);
        t->picture = nullptr;
        SniDestroy(t->item);
        t->item = nullptr;
        if (!t->icon) return;
        g_signal_handlers_disconnect_by_data(t->icon, t);
        gtk_status_icon_set_visible(t->icon, FALSE);
        g_object_unref(t->icon);
        t->icon = nullptr;
    }

    // The icon itself: a StatusNotifierItem when the session has a watcher; else a window docked
    // into the tray, which takes a few round trips to the X server and the tray. Done once the
    // loop runs, not while the first windows are being made.
    gboolean ShowIcon(gpointer data) {
        auto* t = static_cast<TrayEntry*>(data);
        t->showSource = 0;
        if (StatusNotifierWatcherPresent() &&
            (t->item = SniCreate(t->wnd, t->id, t->callbackMsg, t->picture, t->tip))) {
            g_object_unref(t->picture);
            t->picture = nullptr;
            if (!t->menu.empty()) SniSetMenu(t->item, BuildMenu(t->wnd, t->menu));
            return G_SOURCE_REMOVE;
        }
        GtkStatusIcon* si = t->picture ? gtk_status_icon_new_from_pixbuf(t->picture) : gtk_status_icon_new();
        if (t->picture) g_object_unref(t->picture);
        t->picture = nullptr;
        gtk_status_icon_set_tooltip_text(si, t->tip.c_str());
        gtk_status_icon_set_title(si, t->tip.c_str());
        // No gtk_status_icon_set_name: the icon's window is already named after the program
        // (g_set_prgname at start-up), and naming it again makes the toolkit unrealise the window
        // it has just mapped into the tray, which leaves a configure request of the old window
        // pending (a Gdk-CRITICAL about toplevel updates when its answer comes).
        g_signal_connect(si, "button-press-event", G_CALLBACK(OnPress), t);
        g_signal_connect(si, "button-release-event", G_CALLBACK(OnRelease), t);
        g_signal_connect(si, "popup-menu", G_CALLBACK(OnPopupMenu), t);
        gtk_status_icon_set_visible(si, TRUE);
        t->icon = si;
        return G_SOURCE_REMOVE;
    }

    // --- Pop-up menu --------------------------------------------------------------------------

    gboolean DestroyMenuLater(gpointer menu) {
        gtk_widget_destroy(GTK_WIDGET(menu));
        g_object_unref(menu);
        return G_SOURCE_REMOVE;
    }

    void OnMenuDeactivate(GtkMenuShell* menu, gpointer) {
        // The chosen item is activated after the menu deactivates: destroy it afterwards.
        g_idle_add(DestroyMenuLater, menu);
    }

    // The release of the press that opened a menu. Over an item it chooses the item, as a drag
    // from the press does. Anywhere else the menu stays open, as on Windows: GTK would close it
    // when the release comes more than half a second after the press (a slow click, or a click
    // that reached a busy program late).
    struct TriggerRelease {
        guint button = 0;  // 0: none expected (any press in the menu ends the wait)
    };

    bool OverMenuItem(GdkEventButton* e) {
        for (GtkWidget* w = gtk_get_event_widget(reinterpret_cast<GdkEvent*>(e)); w; w = gtk_widget_get_parent(w))
            if (GTK_IS_MENU_ITEM(w)) return true;
        return false;
    }

    gboolean OnMenuPress(GtkWidget*, GdkEventButton*, gpointer data) {
        static_cast<TriggerRelease*>(data)->button = 0;
        return FALSE;
    }

    gboolean OnMenuRelease(GtkWidget*, GdkEventButton* e, gpointer data) {
        auto* t = static_cast<TriggerRelease*>(data);
        if (t->button == 0 || e->button != t->button) return FALSE;
        t->button = 0;
        return OverMenuItem(e) ? FALSE : TRUE;  // TRUE: the menu never sees it
    }

    }  // namespace

    void ForgetTrayIcons(Handle wnd) {
        for (auto it = g_icons.begin(); it != g_icons.end();) {
            if ((*it)->wnd == wnd) {
                Drop(it->get());
                it = g_icons.erase(it);
            } else {
                ++it;
            }
        }
    }

}  // namespace fw::gtk

namespace fw {

bool TrayAdd(Handle wnd, unsigned id, unsigned callbackMsg, const Image* icon, const std::string& tip) {
    using namespace gtk;
    if (!Ready() || !Window::FromHandle(wnd)) return false;
    for (auto& t : g_icons)
        if (t->wnd == wnd && t->id == id) return false;  // already there
    GdkPixbuf* pb = PixbufFromImage(icon);
    if (!pb) {
        // Without a picture the icon still takes its place (and its clicks).
        pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
        if (pb) gdk_pixbuf_fill(pb, 0);
    }
    auto entry = std::make_unique<TrayEntry>();
    entry->wnd = wnd;
    entry->id = id;
    entry->callbackMsg = callbackMsg;
    entry->picture = pb;
    entry->tip = ValidUtf8(tip);
    // Once the loop has nothing more pressing: after the windows' drawing and the start of the
    // browser engine, which the first page waits for.
    entry->showSource = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, ShowIcon, entry.get(), nullptr);
    g_icons.push_back(std::move(entry));
    return true;
}

bool TrayDelete(Handle wnd, unsigned id) {
    using namespace gtk;
    for (auto it = g_icons.begin(); it != g_icons.end(); ++it) {
        if ((*it)->wnd == wnd && (*it)->id == id) {
            Drop(it->get());
            g_icons.erase(it);
            return true;
        }
    }
    return false;
}

bool TraySetMenu(Handle wnd, unsigned id, const std::vector<MenuItem>& items) {
    using namespace gtk;
    for (auto& t : g_icons) {
        if (t->wnd == wnd && t->id == id) {
            t->menu = items;
            if (t->item) SniSetMenu(t->item, BuildMenu(wnd, items));
            return true;
        }
    }
    return false;
}

void TrackPopupMenu(Handle wnd, const std::vector<MenuItem>& items, Point screen) {
    using namespace gtk;
    if (!Ready() || items.empty()) return;
    GtkWidget* menu = BuildMenu(wnd, items);
    g_object_ref_sink(menu);
    g_signal_connect(menu, "deactivate", G_CALLBACK(OnMenuDeactivate), nullptr);
    auto* release = new TriggerRelease;
    g_object_set_data_full(G_OBJECT(menu), "rv-trigger-release", release,
                           [](gpointer p) { delete static_cast<TriggerRelease*>(p); });
    g_signal_connect(menu, "button-press-event", G_CALLBACK(OnMenuPress), release);
    g_signal_connect(menu, "button-release-event", G_CALLBACK(OnMenuRelease), release);
    // Opens at the given point (top-left corner there, as Windows' left-aligned menu) and
    // returns at once; the menu runs in the main loop.
    GdkRectangle at{screen.x, screen.y, 1, 1};
    // The menu's grab wants the press that asked for it: the current event, or (when the
    // request came as a posted message) the last press on a tray icon.
    GdkEvent* trigger = gtk_get_current_event();
    if (!trigger && g_lastPress) trigger = gdk_event_copy(g_lastPress);
    if (trigger && trigger->type == GDK_BUTTON_PRESS) release->button = trigger->button.button;
    gtk_menu_popup_at_rect(GTK_MENU(menu), gdk_get_default_root_window(), &at, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, trigger);
    if (trigger) gdk_event_free(trigger);
    if (!gtk_widget_get_visible(menu)) {
        // No grab could be had: nothing shows, nothing is left behind.
        gtk_widget_destroy(menu);
        g_object_unref(menu);
    }
}

Point GetCursorPos() {
    GdkDisplay* d = gdk_display_get_default();
    if (!d) return {};
    GdkSeat* seat = gdk_display_get_default_seat(d);
    GdkDevice* ptr = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!ptr) return {};
    gint x = 0, y = 0;
    gdk_device_get_position(ptr, nullptr, &x, &y);
    return {x, y};
}

}  // namespace fw

G_GNUC_END_IGNORE_DEPRECATIONS
