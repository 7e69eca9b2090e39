// The hot-key field on GTK: a focusable drawing area inside the parent window's container,
// drawn as an edit field (white, a one-pixel frame that turns blue with the focus, the text
// and a caret after it). It behaves as the Windows hot-key control does in a dialog:
//   - a modifier pressed alone shows "Ctrl + " (and so on) while it is held, and forgets the
//     combination shown before; released without a key, the field shows "无" (no key);
//   - any other key sets the combination: the key, the modifiers held with it, and the
//     extended flag for the keys Windows marks extended (the arrows and the block above
//     them, right Ctrl and Alt, Num / and Num Enter, Num Lock, Print, the Windows keys);
//   - Backspace, Delete and Space pressed alone clear it;
//   - Tab, Return and Escape are not taken: they belong to the dialog.
// The window it sits in shows it keys after its own pre-translation only (gtk_modal.h), so
// a key the field takes never reaches the window's key handlers.
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "fw/gtk/gtk_modal.h"
#include "fw/gtk/gtk_native.h"
#include "fw/hotkey.h"
#include "fw/hotkey_field.h"

namespace fw {

namespace {

constexpr unsigned kVkDelete = 0x2E;
constexpr const char* kNoKeyText = "无";
constexpr int kTextLeft = 3;  // frame and margin before the text

unsigned FlagOfModifier(unsigned vk) {
    switch (vk) {
    case VK_SHIFT: return HOTKEYF_SHIFT;
    case VK_CONTROL: return HOTKEYF_CONTROL;
    case VK_MENU: return HOTKEYF_ALT;
    default: return 0;
    }
}

unsigned FlagsFromState(guint state) {
    unsigned f = 0;
    if (state & GDK_SHIFT_MASK) f |= HOTKEYF_SHIFT;
    if (state & GDK_CONTROL_MASK) f |= HOTKEYF_CONTROL;
    if (state & GDK_MOD1_MASK) f |= HOTKEYF_ALT;
    return f;
}

// Whether Windows reports the key as an extended one, judged from the key's symbol at its
// base level (NumLock applied, as the keypad answers): the keypad's own Home or arrows are
// not extended, the separate block's are.
bool IsExtendedKey(const GdkEventKey* e) {
    guint base = e->keyval;
    GdkKeymap* km = gdk_keymap_get_for_display(gdk_window_get_display(e->window));
    auto state = static_cast<GdkModifierType>(e->state & GDK_MOD2_MASK);
    if (km)
        gdk_keymap_translate_keyboard_state(km, e->hardware_keycode, state, e->group, &base, nullptr, nullptr, nullptr);
    switch (base) {
    case GDK_KEY_Insert:
    case GDK_KEY_Delete:
    case GDK_KEY_Home:
    case GDK_KEY_End:
    case GDK_KEY_Page_Up:
    case GDK_KEY_Page_Down:
    case GDK_KEY_Left:
    case GDK_KEY_Up:
    case GDK_KEY_Right:
    case GDK_KEY_Down:
    case GDK_KEY_Control_R:
    case GDK_KEY_Alt_R:
    case GDK_KEY_KP_Divide:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_Num_Lock:
    case GDK_KEY_Print:
    case GDK_KEY_Break:
    case GDK_KEY_Super_L:
    case GDK_KEY_Super_R:
    case GDK_KEY_Menu: return true;
    default: return false;
    }
}

// The names of the modifiers in `flags` in the order Ctrl, Shift, Alt, each followed by " + ".
std::string ModifierPrefix(unsigned flags) {
    std::string s;
    if (flags & HOTKEYF_CONTROL) s += KeyName(VK_CONTROL) + " + ";
    if (flags & HOTKEYF_SHIFT) s += KeyName(VK_SHIFT) + " + ";
    if (flags & HOTKEYF_ALT) s += KeyName(VK_MENU) + " + ";
    return s;
}

class GtkHotKeyField final : public HotKeyField {
public:
    GtkHotKeyField(GtkFixed* fixed, const Rect& rect, const std::string& face, int pointSize) {
        font_ = pango_font_description_new();
        pango_font_description_set_family(font_, face.empty() ? "Sans" : gtk::ValidUtf8(face).c_str());
        // Point sizes at 96 pixels per inch, as the client's windows are laid out in pixels.
        int points = pointSize > 0 ? std::min(pointSize, 200) : 10;
        int pixels = std::max(1, static_cast<int>(std::lround(points * 96.0 / 72.0)));
        pango_font_description_set_absolute_size(font_, pixels * PANGO_SCALE);

        area_ = gtk_drawing_area_new();
        gtk_widget_set_can_focus(area_, TRUE);
        gtk_widget_set_size_request(area_, std::max(0, rect.Width()), std::max(0, rect.Height()));
        gtk_widget_add_events(area_, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_BUTTON_PRESS_MASK |
                                         GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK | GDK_FOCUS_CHANGE_MASK);
        gtk::MarkKeyControl(area_);
        g_signal_connect(area_, "draw", G_CALLBACK(OnDraw), this);
        g_signal_connect(area_, "key-press-event", G_CALLBACK(OnKeyPress), this);
        g_signal_connect(area_, "key-release-event", G_CALLBACK(OnKeyRelease), this);
        g_signal_connect(area_, "button-press-event", G_CALLBACK(OnButtonPress), this);
        g_signal_connect(area_, "button-release-event", G_CALLBACK(OnSwallow), this);
        g_signal_connect(area_, "motion-notify-event", G_CALLBACK(OnSwallow), this);
        g_signal_connect(area_, "focus-in-event", G_CALLBACK(OnFocusChange), this);
        g_signal_connect(area_, "focus-out-event", G_CALLBACK(OnFocusChange), this);
        g_signal_connect(area_, "destroy", G_CALLBACK(OnWidgetDestroyed), this);
        gtk_fixed_put(fixed, area_, rect.left, rect.top);
        gtk_widget_show(area_);
        Refresh();
    }

    ~GtkHotKeyField() override {
        if (area_) {
            g_signal_handlers_disconnect_by_data(area_, this);
            gtk_widget_destroy(area_);
        }
        pango_font_description_free(font_);
    }

    void SetHotKey(unsigned vk, unsigned flags) override {
        vk_ = vk & 0xFF;
        flags_ = flags & 0xFF;
        Refresh();
    }

    void GetHotKey(unsigned& vk, unsigned& flags) const override {
        vk = vk_;
        flags = flags_;
    }

    std::string Text() const override { return text_; }

    void Focus() override {
        if (area_) gtk_widget_grab_focus(area_);
    }

private:
    // What the field shows: the combination; without a key, the modifiers held now; else
    // the modifiers of the combination; with none of these, no key.
    void Refresh() {
        std::string t;
        if (vk_ != 0)
            t = HotKeyName(vk_, flags_);
        else if (held_ != 0)
            t = ModifierPrefix(held_);
        else
            t = ModifierPrefix(flags_);
        if (t.empty()) t = kNoKeyText;
        if (t != text_) {
            text_ = std::move(t);
            if (area_) gtk_widget_queue_draw(area_);
        }
    }

    static gboolean OnDraw(GtkWidget* w, cairo_t* cr, GtkHotKeyField* f) {
        const int W = gtk_widget_get_allocated_width(w), H = gtk_widget_get_allocated_height(w);
        const bool focused = gtk_widget_has_focus(w);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        if (focused)
            cairo_set_source_rgb(cr, 0x00 / 255.0, 0x78 / 255.0, 0xD7 / 255.0);
        else
            cairo_set_source_rgb(cr, 0x7A / 255.0, 0x7A / 255.0, 0x7A / 255.0);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, 0.5, 0.5, std::max(0, W - 1), std::max(0, H - 1));
        cairo_stroke(cr);

        PangoLayout* layout = pango_cairo_create_layout(cr);
        pango_layout_set_font_description(layout, f->font_);
        pango_layout_set_text(layout, f->text_.c_str(), -1);
        int tw = 0, th = 0;
        pango_layout_get_pixel_size(layout, &tw, &th);
        const int y = (H - th) / 2;
        // A text too long for the field is shifted left, so that its end (the key) and the
        // caret stay in view, as in an edit field.
        const int x = std::min(kTextLeft, W - kTextLeft - 1 - tw);
        cairo_rectangle(cr, 1, 1, std::max(0, W - 2), std::max(0, H - 2));
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, x, y);
        pango_cairo_show_layout(cr, layout);
        g_object_unref(layout);
        if (focused) {
            // The caret after the text, as the Windows control shows it.
            cairo_rectangle(cr, x + tw, y, 1, th);
            cairo_fill(cr);
        }
        return TRUE;
    }

    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* e, GtkHotKeyField* f) {
        const unsigned vk = gtk::VkFromKeyEvent(e);
        const unsigned held = FlagsFromState(e->state);
        if (vk == VK_TAB || vk == VK_RETURN || vk == VK_ESCAPE) return FALSE;  // the dialog's
        if (unsigned flag = FlagOfModifier(vk)) {
            // A modifier goes down: what was shown is forgotten, the held modifiers show.
            f->held_ = held | flag;
            f->vk_ = f->flags_ = 0;
        } else if ((vk == VK_BACK || vk == kVkDelete || vk == VK_SPACE) && held == 0) {
            f->held_ = 0;
            f->vk_ = f->flags_ = 0;
        } else if (vk != 0) {
            f->held_ = held;
            f->vk_ = vk & 0xFF;
            f->flags_ = held | (IsExtendedKey(e) ? HOTKEYF_EXT : 0);
        }
        // A key without a Windows equivalent changes nothing, but is taken all the same.
        f->Refresh();
        return TRUE;
    }

    static gboolean OnKeyRelease(GtkWidget*, GdkEventKey* e, GtkHotKeyField* f) {
        const unsigned vk = gtk::VkFromKeyEvent(e);
        if (vk == VK_TAB || vk == VK_RETURN || vk == VK_ESCAPE) return FALSE;
        if (unsigned flag = FlagOfModifier(vk)) {
            // The state still holds the key being released.
            f->held_ = FlagsFromState(e->state) & ~flag;
            f->Refresh();
        }
        return TRUE;
    }

    static gboolean OnButtonPress(GtkWidget* w, GdkEventButton*, GtkHotKeyField*) {
        gtk_widget_grab_focus(w);
        return TRUE;  // the control's own click: the window behind it sees nothing
    }

    static gboolean OnSwallow(GtkWidget*, GdkEvent*, GtkHotKeyField*) { return TRUE; }

    static gboolean OnFocusChange(GtkWidget* w, GdkEventFocus* e, GtkHotKeyField* f) {
        if (!e->in) {
            // Modifiers released elsewhere are never seen here: forget them.
            f->held_ = 0;
            f->Refresh();
        }
        gtk_widget_queue_draw(w);
        return FALSE;
    }

    static void OnWidgetDestroyed(GtkWidget*, GtkHotKeyField* f) { f->area_ = nullptr; }

    GtkWidget* area_ = nullptr;
    PangoFontDescription* font_ = nullptr;
    unsigned vk_ = 0;     // the combination's key
    unsigned flags_ = 0;  // and its HOTKEYF_* flags
    unsigned held_ = 0;   // HOTKEYF_* of the modifiers held down now
    std::string text_;
};

}  // namespace

std::unique_ptr<HotKeyField> HotKeyField::Create(Window& parent, int id, const Rect& rect, const std::string& face,
                                                 int pointSize) {
    (void)id;  // the field is reached through the object, never by its id
    if (!gtk::Ready() || !parent.IsWindow()) return nullptr;
    GtkFixed* fixed = gtk::ContainerOf(parent.native());
    if (!fixed) return nullptr;
    return std::make_unique<GtkHotKeyField>(fixed, rect, face, pointSize);
}

}  // namespace fw
