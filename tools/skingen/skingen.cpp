// skingen: draws every skin picture of the client (PNG resources 131-160 and
// the application icon) with cairo and pango. The output is deterministic:
// the same program and fonts give the same bytes.
//
//   skingen OUTDIR            writes OUTDIR/png/<id>.png, OUTDIR/app.ico and
//                             OUTDIR/icons/<size>.png (the desktop icon theme's sizes)
//   skingen --preview RESDIR OUTDIR
//                             composes the written pictures the way the
//                             windows use them, for looking at them
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "canvas.hpp"
#include "pictures.hpp"

namespace {

using namespace skin;

struct Output {
    int id;
    Canvas (*draw)();
};

const Output kPictures[] = {
    {131, picture_forum_button},    {132, picture_boss_dialog},     {133, picture_payment_button},
    {134, picture_clear_button},    {135, picture_clearing_button}, {136, picture_close_button},
    {137, picture_boss_close},      {138, picture_launcher_close},  {139, picture_service_button},
    {140, picture_boss_button},     {142, picture_bind_animation},  {143, picture_game_frame},
    {144, picture_vip_logo},        {145, picture_vip_title},       {146, picture_vip_close},
    {147, picture_game_logo},       {148, picture_icon_256},        {149, picture_launcher_background},
    {150, picture_maximise_button}, {151, picture_minimise_button}, {152, picture_launcher_minimise},
    {153, picture_site_button},     {154, picture_server_button},   {155, picture_pay_button},
    {156, picture_boss_confirm},    {157, picture_restore_button},  {158, picture_spinner},
    {159, picture_vip_hover},       {160, picture_vip_normal},
};

bool make_dir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

// The pictures name their faces; without them fontconfig would quietly draw
// the captions in some other font, so refuse to run instead.
bool require_fonts() {
    struct Face {
        const char* family;
        const char* package;
    };
    const Face faces[] = {
        {"Noto Sans CJK SC", "fonts-noto-cjk"}, {"Noto Serif CJK SC", "fonts-noto-cjk"}, {"P052", "fonts-urw-base35"}};
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_font_map_list_families(map, &families, &count);
    bool ok = true;
    for (const Face& f : faces) {
        bool found = false;
        for (int i = 0; i < count && !found; ++i)
            found = std::strcmp(pango_font_family_get_name(families[i]), f.family) == 0;
        if (!found) {
            std::fprintf(stderr, "skingen: font \"%s\" is missing (Debian package %s)\n", f.family, f.package);
            ok = false;
        }
    }
    g_free(families);
    return ok;
}

int generate(const std::string& outdir) {
    if (!require_fonts()) return 1;
    const std::string pngdir = outdir + "/png";
    const std::string icondir = outdir + "/icons";
    if (!make_dir(outdir) || !make_dir(pngdir) || !make_dir(icondir)) {
        std::fprintf(stderr, "skingen: cannot create %s and %s\n", pngdir.c_str(), icondir.c_str());
        return 1;
    }
    for (const Output& o : kPictures) {
        const std::string path = pngdir + "/" + std::to_string(o.id) + ".png";
        Canvas c = o.draw();
        if (!write_file(path, encode_png(c))) {
            std::fprintf(stderr, "skingen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::vector<Canvas> icons;
    for (int size : {16, 32, 48, 256}) icons.push_back(picture_icon(size));
    std::vector<const Canvas*> refs;
    for (const Canvas& c : icons) refs.push_back(&c);
    const std::string ico = outdir + "/app.ico";
    if (!write_file(ico, encode_ico(refs))) {
        std::fprintf(stderr, "skingen: cannot write %s\n", ico.c_str());
        return 1;
    }
    // The application icon for Linux desktops, one picture per size of the hicolor theme.
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string path = icondir + "/" + std::to_string(size) + ".png";
        if (!write_file(path, encode_png(picture_icon(size)))) {
            std::fprintf(stderr, "skingen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

void usage() {
    std::fprintf(stderr,
                 "usage: skingen OUTDIR\n"
                 "       skingen --preview RESDIR OUTDIR\n");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 2 && argv[1][0] != '-') return generate(argv[1]);
        if (argc == 4 && std::strcmp(argv[1], "--preview") == 0) return skin::write_previews(argv[2], argv[3]);
        usage();
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "skingen: %s\n", e.what());
        return 1;
    }
}
