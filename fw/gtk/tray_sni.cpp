// The tray icon as a StatusNotifierItem through libayatana-appindicator: the item is an object
// of ours on the session bus that the desktop's StatusNotifierWatcher learns of, and its host
// draws it and shows its menu (exported over dbusmenu). The library takes a picture by icon
// name and folder, so the icon's picture is written as a PNG into a private folder of the user's
// runtime folder, which goes with the item.
#include "fw/gtk/tray_sni.h"

#include <glib/gstdio.h>
#include <libayatana-appindicator/app-indicator.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "fw/messages.h"

namespace fw::gtk {

namespace {

constexpr char kWatcher[] = "org.kde.StatusNotifierWatcher";
constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
constexpr char kItemPathPrefix[] = "/org/ayatana/NotificationItem/";  // the library's object paths
constexpr char kIconName[] = "raduvove-tray";

// The items' object paths and where their activations go. The library implements no Activate
// (a host's primary click) and activates on SecondaryActivate only a menu item named for it,
// so the session bus connection's filter, on GDBus's own thread, sees both calls to our items.
struct ActivationTarget {
    std::string path;
    Handle wnd;
    unsigned id;
    unsigned callbackMsg;
};
std::mutex g_targetsLock;
std::vector<ActivationTarget> g_targets;
GDBusConnection* g_filteredBus = nullptr;  // the connection with the filter (one reference)

GDBusMessage* OnBusMessage(GDBusConnection* bus, GDBusMessage* m, gboolean incoming, gpointer) {
    if (!incoming || g_dbus_message_get_message_type(m) != G_DBUS_MESSAGE_TYPE_METHOD_CALL ||
        g_strcmp0(g_dbus_message_get_interface(m), kItemInterface) != 0)
        return m;
    const char* member = g_dbus_message_get_member(m);
    const char* path = g_dbus_message_get_path(m);
    const bool primary = g_strcmp0(member, "Activate") == 0;
    if (!path || (!primary && g_strcmp0(member, "SecondaryActivate") != 0 &&
                  g_strcmp0(member, "XAyatanaSecondaryActivate") != 0))
        return m;
    {
        std::lock_guard lock(g_targetsLock);
        auto t = std::find_if(g_targets.begin(), g_targets.end(),
                              [&](const ActivationTarget& target) { return target.path == path; });
        if (t == g_targets.end()) return m;
        Window::Post(t->wnd, t->callbackMsg, t->id, static_cast<LPARAM>(WM_LBUTTONDBLCLK));
    }
    if (!primary) return m;  // the library answers it
    // Answered here: the library would answer that it has no such method.
    if (!(g_dbus_message_get_flags(m) & G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED)) {
        GDBusMessage* reply = g_dbus_message_new_method_reply(m);
        g_dbus_connection_send_message(bus, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
        g_object_unref(reply);
    }
    g_object_unref(m);
    return nullptr;
}

// The item's id, which names its object path too: the program's name and the icon's number.
std::string ItemId(unsigned id) {
    std::string s = g_get_prgname() ? g_get_prgname() : "raduvove";
    for (char& c : s)
        if (!g_ascii_isalnum(c)) c = '_';
    return s + "_" + std::to_string(id);
}

void DestroyMenu(GtkWidget* menu) {
    if (!menu) return;
    gtk_widget_destroy(menu);
    g_object_unref(menu);
}

}  // namespace

struct SniIcon {
    AppIndicator* indicator = nullptr;
    std::string folder;  // holds the picture
    std::string path;
    GtkWidget* menu = nullptr;  // one reference
};

bool StatusNotifierWatcherPresent() {
    GError* err = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &err);
    if (!bus) {
        g_clear_error(&err);
        return false;
    }
    GVariant* r = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                              "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", kWatcher),
                                              G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &err);
    g_object_unref(bus);
    if (!r) {
        g_clear_error(&err);
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(r, "(b)", &owned);
    g_variant_unref(r);
    return owned;
}

SniIcon* SniCreate(Handle wnd, unsigned id, unsigned callbackMsg, GdkPixbuf* picture, const std::string& tip) {
    std::string tmpl = std::string(g_get_user_runtime_dir()) + "/raduvove-tray-XXXXXX";
    if (!g_mkdtemp_full(tmpl.data(), 0700)) return nullptr;
    auto* icon = new SniIcon;
    icon->folder = tmpl;
    const std::string file = icon->folder + "/" + kIconName + ".png";
    if (!picture || !gdk_pixbuf_save(picture, file.c_str(), "png", nullptr, nullptr)) {
        SniDestroy(icon);
        return nullptr;
    }
    const std::string itemId = ItemId(id);
    icon->path = kItemPathPrefix + itemId;
    icon->indicator = app_indicator_new_with_path(itemId.c_str(), kIconName, APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                                  icon->folder.c_str());
    if (!icon->indicator) {
        SniDestroy(icon);
        return nullptr;
    }
    app_indicator_set_icon_full(icon->indicator, kIconName, tip.c_str());
    app_indicator_set_title(icon->indicator, tip.c_str());
    app_indicator_set_status(icon->indicator, APP_INDICATOR_STATUS_ACTIVE);
    std::lock_guard lock(g_targetsLock);
    if (!g_filteredBus && (g_filteredBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)))
        g_dbus_connection_add_filter(g_filteredBus, OnBusMessage, nullptr, nullptr);
    g_targets.push_back({icon->path, wnd, id, callbackMsg});
    return icon;
}

void SniSetMenu(SniIcon* icon, GtkWidget* menu) {
    g_object_ref_sink(menu);
    app_indicator_set_menu(icon->indicator, GTK_MENU(menu));
    DestroyMenu(icon->menu);
    icon->menu = menu;
}

void SniDestroy(SniIcon* icon) {
    if (!icon) return;
    {
        std::lock_guard lock(g_targetsLock);
        std::erase_if(g_targets, [&](const ActivationTarget& t) { return t.path == icon->path; });
    }
    if (icon->indicator) {
        // Passive first: the host takes the item away at once, whoever else holds the object.
        app_indicator_set_status(icon->indicator, APP_INDICATOR_STATUS_PASSIVE);
        g_object_unref(icon->indicator);
    }
    DestroyMenu(icon->menu);
    const std::string file = icon->folder + "/" + kIconName + ".png";
    g_unlink(file.c_str());
    g_rmdir(icon->folder.c_str());
    delete icon;
}

}  // namespace fw::gtk
