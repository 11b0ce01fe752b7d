// Xvfb started with -displayfd, so it picks a free display and says which.
#include "support/Xvfb.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

TXvfb::TXvfb(bool noreset, const std::string& screen) {
    int fds[2];
    if (pipe(fds) != 0) return;
    FPid = fork();
    if (FPid == 0) {
        // A test killed outright takes its server with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        if (noreset)
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                   "-nolisten", "tcp", "-noreset", nullptr);
        else
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                   "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (FPid > 0 && poll(&ready, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (c == '\n' && !number.empty()) FName = ":" + number;
}

TXvfb::~TXvfb() {
    if (FPid <= 0) return;
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
}

void TXvfb::Stop(bool stopped) const {
    if (FPid > 0) kill(FPid, stopped ? SIGSTOP : SIGCONT);
}
