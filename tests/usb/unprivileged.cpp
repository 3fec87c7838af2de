#include "usb/unprivileged.h"

#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "usb/usb_testbed.h"

namespace orvix::test::usb {

int runAsNobody(const std::vector<std::string>& args, std::string* output) {
    using Clock = std::chrono::steady_clock;
    int fds[2];
    if (pipe(fds) != 0) return -1;
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (child == 0) { // a copy of a threaded process: only system calls until exec
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        const gid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(kCouldNotDropPrivileges);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    const auto end = Clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    while (Clock::now() < end) {
        pollfd wait{fds[0], POLLIN, 0};
        if (poll(&wait, 1, 100) <= 0) continue;
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        output->append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    pid_t ended = waitpid(child, &status, WNOHANG);
    for (int i = 0; i < 100 && ended == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ended = waitpid(child, &status, WNOHANG);
    }
    if (ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

NodeOnlyForRoot::NodeOnlyForRoot(const std::string& devnode) : root_(UsbTestbed::instance().rootDir()) {
    // Writable with the sticky bit (as /tmp): a udev monitor of another user binds its
    // socket in the testbed's folder, where umockdev's uevents reach it.
    // umockdev's preload library connects to the node's ioctl socket as it opens the
    // node, and ends the program when it cannot: the socket is open to all, the node
    // decides.
    ok_ = chmod(root_.c_str(), 01777) == 0 &&
          chmod((root_ + "/ioctl" + devnode).c_str(), 0777) == 0 &&
          chmod(UsbTestbed::instance().hostPath(devnode).c_str(), 0600) == 0;
}

NodeOnlyForRoot::~NodeOnlyForRoot() { (void)chmod(root_.c_str(), 0700); }

} // namespace orvix::test::usb
