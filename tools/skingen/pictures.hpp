// The skin pictures, one function per resource. Each returns a canvas of the
// exact size and slice layout that the client's windows expect.
#pragma once

#include <string>

#include "canvas.hpp"

namespace skin {

// Launcher (1290 x 704 background and its six buttons).
Canvas picture_launcher_background();  // 149
Canvas picture_site_button();          // 153, 155x110, 2 rows
Canvas picture_payment_button();       // 133
Canvas picture_forum_button();         // 131
Canvas picture_service_button();       // 139
Canvas picture_launcher_close();       // 138, 35x102, 3 rows
Canvas picture_launcher_minimise();    // 152, 27x84, 3 rows

// Game window title bar.
Canvas picture_game_frame();       // 143, 800x500
Canvas picture_game_logo();        // 147, 48x29
Canvas picture_close_button();     // 136, 75x25, 3 columns
Canvas picture_maximise_button();  // 150
Canvas picture_minimise_button();  // 151
Canvas picture_restore_button();   // 157
Canvas picture_server_button();    // 154, 65x44, 2 rows
Canvas picture_clear_button();     // 134, 75x44
Canvas picture_clearing_button();  // 135, 75x44
Canvas picture_boss_button();      // 140, 65x44
Canvas picture_pay_button();       // 155, 75x44
Canvas picture_spinner();          // 158, 128x16, 8 columns
Canvas picture_bind_animation();   // 142, 136x198, 9 rows
Canvas picture_vip_hover();        // 159, 75x22
Canvas picture_vip_normal();       // 160, 75x22

// Boss-key dialog.
Canvas picture_boss_dialog();   // 132, 355x169
Canvas picture_boss_close();    // 137, 11x33, 3 rows
Canvas picture_boss_confirm();  // 156, 60x42, 2 rows

// VIP customer-service window.
Canvas picture_vip_logo();   // 144, 39x47
Canvas picture_vip_title();  // 145, 818x47
Canvas picture_vip_close();  // 146, 40x60, 3 rows

// Application icon at a given size (16 to 256 pixels).
Canvas picture_icon(int size);
Canvas picture_icon_256();  // 148

// Composes the pictures found in RESDIR/png the way the windows show them
// and writes a few preview images into OUTDIR. Returns a process exit code.
int write_previews(const std::string& resdir, const std::string& outdir);

}  // namespace skin
