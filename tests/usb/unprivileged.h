#pragma once
// Running a program as the unprivileged user nobody (uid and gid 65534), for the
// tests of a camera node the user may not open: root opens any node whatever its
// mode, so only another user sees the permission it lacks.

#include <string>
#include <vector>

namespace orvix::test::usb {

inline constexpr int kCouldNotDropPrivileges = 126;

// Runs `args` (args[0] a path) as nobody with standard output and error into
// `output`. Its exit status; kCouldNotDropPrivileges when this process may not switch
// users; -1 when it could not be started, died of a signal, or did not end within
// 30 s (it is killed then).
int runAsNobody(const std::vector<std::string>& args, std::string* output);

// Opens the testbed to other users (its folder writable, as /tmp), except `devnode`,
// which stays root's alone (mode 0600); restores the testbed's folder when it goes.
class NodeOnlyForRoot {
public:
    explicit NodeOnlyForRoot(const std::string& devnode);
    ~NodeOnlyForRoot();
    NodeOnlyForRoot(const NodeOnlyForRoot&) = delete;
    NodeOnlyForRoot& operator=(const NodeOnlyForRoot&) = delete;
    bool ok() const { return ok_; }

private:
    std::string root_;
    bool ok_ = false;
};

} // namespace orvix::test::usb
