// Entry point: the display check, the application object, the main window, the message loop.
#include <cstdio>
#include <string>

#include "app/LostDisplaySave.h"
#include "app/Main.h"
#include "toolkit/Application.h"
#include "toolkit/DisplayCheck.h"
#include "toolkit/SignalCloser.h"

int main(int argc, char** argv) {
    // Without a usable display the toolkit would abort with a long message; say it in one line.
    if (const std::string problem = DisplayProblem(argc, argv); !problem.empty()) {
        std::fprintf(stderr, "voxel: %s.\n", problem.c_str());
        return 1;
    }
    TApplication application(argc, argv);
    TMain window;
    // A shutdown, a logout or Ctrl+C closes the window as 끝내기 does: the field is saved.
    TSignalCloser signalCloser(&window, [&window] { window.ExitBtnClick(); });
    window.OnCloseFailed = [&signalCloser] { signalCloser.CloseFailed(); };
    window.PlaceOnScreen(); // at the size FormCreate gave it
    window.show();
    {
        const TLostDisplaySave lostDisplaySave;
        application.Run();
    }
    window.OnCloseFailed = nullptr;
    return 0;
}
