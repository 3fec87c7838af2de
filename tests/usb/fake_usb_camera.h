#pragma once
// One fake USB camera on the testbed's bus: its sysfs entry and device node, and an
// ioctl handler that serves usbdevfs as a current kernel with an xHCI controller
// does, for the requests libusb makes. The camera's bulk transfers are answered by
// the emulated camera of a chosen slot, reached through the emulator's own open and
// its driver's control codes, so every request is checked by the emulator's rules
// and logged in its request log as on the device-file path:
//
//   OUT 0x01  pipe write 0x222051 on pipe 0 (a frame request, byte 0 = 0x02, as the
//             pipe read 0x22204E on pipe 0, the form the ring transfer uses)
//   IN  0x82  pipe read 0x22204E on pipe 1
//   IN  0x83  frame transfer 0x2220A9 on pipe 2
//
// Requests on other endpoints fail, as a camera without them would (-EPROTO).
//
// URBs run as on hardware: each endpoint takes its URBs in order on a thread of its
// own (a frame transfer waits for the emulated camera's next frame, or its time-out,
// there), so umockdev's handler thread never waits; REAPURB and REAPURBNDELAY hand
// out the URBs completed for the file that submitted them. A failed emulator request
// completes with -EPROTO, a short one with the bytes it moved. DISCARDURB completes a
// waiting URB with -ENOENT and cancels a running one (-ECONNRESET), the emulated
// frame transfer included.
//
// The device node is a plain file under umockdev, which poll() always reports ready,
// so libusb's event handling asks REAPURBNDELAY again at once when nothing is due.
// To keep such a loop from taking a whole core, a REAPURBNDELAY that finds nothing
// waits up to kReapHoldMs for a completion before it fails with EAGAIN (other
// requests on the same file wait meanwhile; other files do not).
//
// Unplugging fails the pending URBs with -ENODEV, every later request but the reaps
// with ENODEV (reaps hand out what is left, then fail with ENODEV), unplugs the
// emulated camera and takes the device out of the testbed with a "remove" uevent.

#include <umockdev.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "usb/gobject_handles.h"
#include "usb/usb_descriptors.h"
#include "usb/usb_testbed.h"

namespace orvix::emulator {
class EmulatedFile;
} // namespace orvix::emulator

namespace orvix::test::usb {

struct FakeCameraSetup {
    std::uint16_t vendor = kCameraVendor;
    std::uint16_t product = kCameraProduct;
    int bus = 1;
    std::vector<int> ports{1}; // port numbers from the root hub
    int emulatorSlot = -1;     // the emulated camera answering; -1: none (transfers fail)
    EndpointLayout endpoints = EndpointLayout::Camera;
};

// What reached the device, for tests that must see that nothing did.
struct FakeDeviceStats {
    int opens = 0;          // opens of the device node
    int claims = 0;         // interface claims granted (explicit ones)
    int implicitClaims = 0; // transfers on an interface nobody had claimed (the kernel claims it then)
    int submitted = 0;      // URBs taken
    int discarded = 0;      // URBs cancelled while pending
    std::vector<std::string> unserved; // requests the handler refused as not its own (ENOTTY, EINVAL)
};

class FakeUsbCamera {
public:
    static constexpr int kReapHoldMs = 1;
    // The capabilities GET_CAPABILITIES reports: those of an xHCI controller (bulk
    // scatter-gather included, so libusb sends a frame as one URB), less mmap, which
    // a plain-file node cannot offer.
    static const std::uint32_t kCapabilities;

    // Adds the device to the testbed and serves its node; throws when umockdev
    // refuses either.
    FakeUsbCamera(UsbTestbed& testbed, const FakeCameraSetup& setup);
    ~FakeUsbCamera();
    FakeUsbCamera(const FakeUsbCamera&) = delete;
    FakeUsbCamera& operator=(const FakeUsbCamera&) = delete;

    const DeviceEntry& entry() const { return entry_; }
    const FakeCameraSetup& setup() const { return setup_; }

    // See above; false when it was unplugged before. Returns once every pending URB
    // has completed (at most a few seconds: the emulated camera fails its requests at
    // once when unplugged).
    bool unplug();
    bool plugged() const;
    FakeDeviceStats stats() const;

    // At the end of the program: unplugged, threads ended. The handler still answers.
    void shutDown();

private:
    enum class Route { Command, Answer, Frame, None };
    enum class State { Queued, Running, Done };

    struct Urb {
        UMockdevIoctlClient* owner = nullptr; // the file that submitted it (key into clients_)
        gulong address = 0;                    // the URB's address in the client
        GObjectPtr<UMockdevIoctlData> urb;     // the struct, resolved
        GObjectPtr<UMockdevIoctlData> buffer;  // its data, resolved; null for none
        // What an IN transfer brought, copied into `buffer` as the URB is reaped:
        // umockdev may still be sending `buffer` back from the submission meanwhile.
        std::vector<std::uint8_t> received;
        std::uint8_t endpoint = 0;
        std::uint32_t length = 0;
        bool shortNotOk = false;
        Route route = Route::None;
        State state = State::Queued;
        bool cancelled = false;
        int status = 0;
        std::uint32_t actual = 0;
    };
    using UrbPtr = std::shared_ptr<Urb>;

    struct Client {
        GObjectPtr<UMockdevIoctlClient> client;
        std::vector<UrbPtr> pending; // submitted, not yet completed
        std::deque<UrbPtr> done;     // completed, not yet reaped
    };

    struct Reaper {
        GObjectPtr<UMockdevIoctlClient> client;
        GObjectPtr<UMockdevIoctlData> slot; // where the reaped URB's address goes
        bool blocking = false;
        std::chrono::steady_clock::time_point deadline;
    };

    // A reply to send once the lock is released.
    struct Completion {
        GObjectPtr<UMockdevIoctlClient> client;
        long result = 0;
        int error = 0;
        GObjectPtr<UMockdevIoctlData> slot;
        UrbPtr urb;
    };
    using Completions = std::vector<Completion>;

    static gboolean onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    static void onConnected(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    static void onVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);

    void serve(UMockdevIoctlClient* client, Completions& out);
    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg, Completions& out);
    void reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg, bool blocking, Completions& out);
    void discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg, Completions& out);
    void claim(UMockdevIoctlClient* client, unsigned interface, Completions& out);
    void release(UMockdevIoctlClient* client, unsigned interface, Completions& out);
    void reply(UMockdevIoctlClient* client, long result, int error, Completions& out);
    void replyIf(UMockdevIoctlClient* client, bool ok, int error, Completions& out);
    void unserved(UMockdevIoctlClient* client, const std::string& what, int error, Completions& out);

    // Under mutex_.
    Client& clientOf(UMockdevIoctlClient* client);
    void finishUrb(const UrbPtr& urb, int status, std::uint32_t actual, Completions& out);
    void serveReapers(UMockdevIoctlClient* client, Completions& out);
    const EndpointDescriptor* endpoint(std::uint8_t address) const;

    void workerMain(int route);
    void timerMain();
    void perform(Urb& urb, const std::shared_ptr<emulator::EmulatedFile>& file);
    void stopThreads();
    static void deliver(Completions& completions);

    UsbTestbed& testbed_;
    const FakeCameraSetup setup_;
    const std::vector<EndpointDescriptor> endpoints_;
    DeviceEntry entry_;
    GObjectPtr<UMockdevIoctlBase> handler_;

    mutable std::mutex mutex_;
    std::condition_variable changed_; // queues, reapers, running URBs, stop
    bool plugged_ = true;
    bool stopping_ = false;
    std::shared_ptr<emulator::EmulatedFile> file_;
    std::map<UMockdevIoctlClient*, Client> clients_;
    UMockdevIoctlClient* claimedBy_ = nullptr; // interface 0's claim
    std::array<std::deque<UrbPtr>, 3> queues_; // per route: Command, Answer, Frame
    std::array<UrbPtr, 3> running_;
    std::vector<Reaper> reapers_;
    FakeDeviceStats stats_;

    std::array<std::thread, 3> workers_;
    std::thread timer_;
};

// The name of a usbdevfs request, for messages ("SUBMITURB", or its number).
std::string usbdevfsRequestName(unsigned long request);

} // namespace orvix::test::usb
