// Entry point: the application object, the main window, the message loop.
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

#include "app/Main.h"
#include "toolkit/Application.h"

int main(int argc, char** argv) {
    // Without a display Qt would abort with a long message; say it in one line instead.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY")) {
        std::fputs("voxel: no display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n", stderr);
        return 1;
    }
    TApplication application(argc, argv);
    TMain window;
    // Centred on the screen at the size FormCreate gave it.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    application.Run();
    return 0;
}
