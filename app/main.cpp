// The desktop client's entry point.
#include <cstdio>

#include "app/main_wnd.h"
#include "app/raduvove_app.h"
#include "fw/app.h"
#include "ui/skin.h"

int main(int argc, char** argv) {
    // The launcher's pictures are decoded on a thread of their own while the toolkit starts.
    ui::PreloadSkinImages(CMainWnd::SkinPictures());
    fw::InitPlatform(argc, argv);
    RegisterGameWindow();
    static CRaduVoveApp theApp;
    if (!theApp.InitInstance(fw::CommandLineTail(argc, argv))) {
        std::fprintf(stderr, "raduvove: the launcher window cannot be created\n");
        return 1;
    }
    return fw::RunMessageLoop();
}
