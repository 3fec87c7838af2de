// The USB harness alone, through plain libusb calls: what libusb enumerates, claims
// and transfers on the fake cameras, how their transfers reach the emulated cameras,
// cancellation, time-outs and unplugging. A fault here is the harness's, not the
// USB driver's.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "device/driver_protocol.h"
#include "emulator/emulator.h"
#include "emulator/scene.h"
#include "usb/libusb_handles.h"
#include "usb/unprivileged.h"
#include "usb/usb_camera_bench.h"

namespace orvix::test::usb {
namespace {

using Clock = std::chrono::steady_clock;
using emulator::RequestKind;
using Packet = std::array<std::uint8_t, 64>;

constexpr std::uint32_t kFrameBytes = 1898496;
constexpr unsigned kTimeoutMs = 2000;

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

emulator::Emulator& emulated() { return emulator::Emulator::instance(); }

class UsbHarness : public ::testing::Test {
protected:
    void SetUp() override {
        emulator::EmulationConfig config;
        config.withSlot(0).withSlot(1);
        config.frameRate = 50;
        emulated().configure(config);
        emulated().serveDeviceFiles(false);
        emulated().clearLog();
        libusb_context* context = nullptr;
        ASSERT_EQ(libusb_init(&context), 0);
        context_.reset(context);
    }
    void TearDown() override {
        context_.reset();
        for (const auto& refused : emulated().takeRejections())
            ADD_FAILURE() << "the emulated driver refused: " << emulator::describeRejection(refused);
        emulated().deactivate();
    }

    // The libusb device at this bus and address, or null.
    libusb_device* find(const LibusbDeviceList& list, const FakeUsbCamera& camera) const {
        for (ssize_t i = 0; i < list.size(); ++i)
            if (libusb_get_bus_number(list[i]) == camera.entry().bus &&
                libusb_get_device_address(list[i]) == camera.entry().deviceNumber)
                return list[i];
        return nullptr;
    }

    LibusbHandle open(const FakeUsbCamera& camera) const {
        LibusbDeviceList list(context_.get());
        libusb_device* device = find(list, camera);
        EXPECT_NE(device, nullptr) << camera.entry().devnode;
        libusb_device_handle* handle = nullptr;
        if (device) {
            EXPECT_EQ(libusb_open(device, &handle), 0);
        }
        return LibusbHandle(handle);
    }

    static int bulk(libusb_device_handle* handle, std::uint8_t endpoint, void* data, int length, int* done,
                    unsigned timeoutMs = kTimeoutMs) {
        *done = 0;
        return libusb_bulk_transfer(handle, endpoint, static_cast<unsigned char*>(data), length, done, timeoutMs);
    }
    static bool command(libusb_device_handle* handle, Packet packet) {
        int done = 0;
        return bulk(handle, 0x01, packet.data(), 64, &done) == 0 && done == 64;
    }
    static std::uint16_t readFpga(libusb_device_handle* handle, std::uint8_t address) {
        EXPECT_TRUE(command(handle, Packet{0x26, address}));
        Packet answer{};
        int done = 0;
        EXPECT_EQ(bulk(handle, 0x82, answer.data(), 64, &done), 0); // the stale answer
        EXPECT_EQ(bulk(handle, 0x82, answer.data(), 64, &done), 0);
        EXPECT_EQ(done, 64);
        return static_cast<std::uint16_t>(answer[0] | answer[1] << 8);
    }
    // Frame length, and trigger mode when asked (command 0x28, then registers 32 and 33).
    static void prepareFrames(libusb_device_handle* handle, bool trigger) {
        ASSERT_TRUE(command(handle, Packet{0x09, 0x00, 0xF8, 0x1C, 0x00}));
        if (!trigger) return;
        const auto sensor = [](std::uint32_t value, std::uint32_t address) {
            const std::uint32_t word = value << 10 | address;
            return Packet{0x04, 16, static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                          static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
        };
        ASSERT_TRUE(command(handle, Packet{0x28, 1}));
        ASSERT_TRUE(command(handle, sensor(0x00, 32)));
        ASSERT_TRUE(command(handle, sensor(0x0E, 33)));
    }

    // Handles libusb's events on a thread of its own while it lives.
    class EventThread {
    public:
        explicit EventThread(libusb_context* context)
            : thread_([this, context] {
                  while (!stop_.load()) {
                      timeval tv{0, 20000};
                      libusb_handle_events_timeout_completed(context, &tv, nullptr);
                  }
              }) {}
        ~EventThread() {
            stop_.store(true);
            thread_.join();
        }

    private:
        std::atomic<bool> stop_{false};
        std::thread thread_;
    };

    // One asynchronous bulk IN transfer and its outcome.
    struct AsyncRead {
        LibusbTransfer transfer{libusb_alloc_transfer(0)};
        std::vector<std::uint8_t> buffer;
        std::atomic<bool> done{false};
        std::atomic<int> status{-1};

        bool submit(libusb_device_handle* handle, std::uint8_t endpoint, std::uint32_t length, unsigned timeoutMs) {
            buffer.assign(length, 0);
            libusb_fill_bulk_transfer(transfer.get(), handle, endpoint, buffer.data(), static_cast<int>(length),
                                      &AsyncRead::finished, this, timeoutMs);
            return libusb_submit_transfer(transfer.get()) == 0;
        }
        bool waitDone(int ms) {
            const auto end = Clock::now() + std::chrono::milliseconds(ms);
            while (!done.load() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return done.load();
        }
        static void LIBUSB_CALL finished(libusb_transfer* transfer) {
            auto* self = static_cast<AsyncRead*>(transfer->user_data);
            self->status.store(transfer->status);
            self->done.store(true);
        }
    };

    LibusbContext context_;
};

TEST_F(UsbHarness, LibusbListsEachDeviceWithItsBusAddressPortPathSpeedAndEndpoints) {
    UsbCameraBench bench;
    FakeUsbCamera& deep = bench.add({kCameraVendor, kCameraProduct, 3, {4, 2, 7}, 0});
    FakeUsbCamera& other = bench.add({0x1234, 0x5678, 3, {1}, -1});
    FakeUsbCamera& twoEndpoints = bench.add({kCameraVendor, kCameraProduct, 3, {2}, -1, EndpointLayout::TwoEndpoints});
    LibusbDeviceList list(context_.get());
    ASSERT_GT(list.size(), 0);

    libusb_device* device = find(list, deep);
    ASSERT_NE(device, nullptr);
    std::uint8_t ports[8];
    ASSERT_EQ(libusb_get_port_numbers(device, ports, 8), 3);
    EXPECT_EQ(std::vector<int>(ports, ports + 3), (std::vector<int>{4, 2, 7}));
    EXPECT_EQ(libusb_get_device_speed(device), LIBUSB_SPEED_HIGH);
    libusb_device_descriptor descriptor{};
    ASSERT_EQ(libusb_get_device_descriptor(device, &descriptor), 0);
    EXPECT_EQ(descriptor.idVendor, kCameraVendor);
    EXPECT_EQ(descriptor.idProduct, kCameraProduct);
    libusb_config_descriptor* raw = nullptr;
    ASSERT_EQ(libusb_get_active_config_descriptor(device, &raw), 0);
    LibusbConfig config(raw);
    ASSERT_EQ(config->bNumInterfaces, 1);
    const libusb_interface_descriptor& interface = config->interface[0].altsetting[0];
    ASSERT_EQ(interface.bNumEndpoints, 3);
    const std::uint8_t addresses[] = {0x01, 0x82, 0x83};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(interface.endpoint[i].bEndpointAddress, addresses[i]);
        EXPECT_EQ(interface.endpoint[i].bmAttributes & 3, LIBUSB_TRANSFER_TYPE_BULK);
        EXPECT_EQ(interface.endpoint[i].wMaxPacketSize, 512);
    }

    libusb_device* foreign = find(list, other);
    ASSERT_NE(foreign, nullptr);
    ASSERT_EQ(libusb_get_device_descriptor(foreign, &descriptor), 0);
    EXPECT_EQ(descriptor.idVendor, 0x1234);
    EXPECT_EQ(libusb_get_port_numbers(foreign, ports, 8), 1);

    ASSERT_EQ(libusb_get_active_config_descriptor(find(list, twoEndpoints), &raw), 0);
    config.reset(raw);
    EXPECT_EQ(config->interface[0].altsetting[0].bNumEndpoints, 2);

    // The hubs on the way are devices of their own, as on a real bus.
    libusb_device* hub = libusb_get_parent(device);
    ASSERT_NE(hub, nullptr);
    ASSERT_EQ(libusb_get_device_descriptor(hub, &descriptor), 0);
    EXPECT_EQ(descriptor.bDeviceClass, LIBUSB_CLASS_HUB);
}

TEST_F(UsbHarness, CommandsAndAnswersReachTheEmulatedCameraOfTheDevicesSlotAndAreLogged) {
    UsbCameraBench bench;
    FakeUsbCamera& camera = bench.add({kCameraVendor, kCameraProduct, 1, {5}, 1});
    LibusbHandle handle = open(camera);
    ASSERT_TRUE(handle);
    ASSERT_EQ(libusb_claim_interface(handle.get(), 0), 0);
    emulated().clearLog();

    ASSERT_TRUE(command(handle.get(), Packet{0x25, 0x40, 0x34, 0x12}));
    EXPECT_EQ(emulated().fpgaRegister(1, 0x40), 0x1234);
    EXPECT_EQ(emulated().fpgaRegister(0, 0x40), 0) << "slot 0 is another camera";
    EXPECT_EQ(readFpga(handle.get(), 0x40), 0x1234);

    const auto log = emulated().log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].kind, RequestKind::Command);
    EXPECT_EQ(log[0].code, protocol::kPipeWrite);
    EXPECT_EQ(log[0].slot, 1);
    EXPECT_EQ(log[0].bytes[0], 0x25);
    EXPECT_EQ(log[2].kind, RequestKind::AnswerRead);
    EXPECT_EQ(log[2].pipe, protocol::kResponsePipe);
    EXPECT_EQ(log[3].bytesReturned, 64u);
    EXPECT_TRUE(log[3].succeeded);

    // An empty response pipe fails the read at once, as a transfer error.
    Packet answer{};
    int done = 0;
    const auto start = Clock::now();
    EXPECT_EQ(bulk(handle.get(), 0x82, answer.data(), 64, &done), LIBUSB_ERROR_IO);
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(done, 0);

    // A packet the camera cut short moves only the bytes it took.
    emulated().shortenNext(1, RequestKind::Command, 1);
    Packet select{0x06};
    EXPECT_EQ(bulk(handle.get(), 0x01, select.data(), 64, &done), 0);
    EXPECT_EQ(done, 32);
    // A request the camera refuses fails the transfer and is counted by the emulator.
    Packet unknown{0x7F};
    EXPECT_EQ(bulk(handle.get(), 0x01, unknown.data(), 64, &done), LIBUSB_ERROR_IO);
    EXPECT_EQ(emulated().takeRejections().size(), 1u);
    EXPECT_TRUE(camera.stats().unserved.empty());
}

TEST_F(UsbHarness, AFrameIsOneBulkTransferOfOneUrbWithTheEmulatedCamerasBytes) {
    UsbCameraBench bench;
    FakeUsbCamera& camera = bench.add({kCameraVendor, kCameraProduct, 1, {1}, 0});
    LibusbHandle handle = open(camera);
    ASSERT_TRUE(handle);
    ASSERT_EQ(libusb_claim_interface(handle.get(), 0), 0);
    prepareFrames(handle.get(), false);
    ASSERT_TRUE(command(handle.get(), Packet{0x02}));
    const int submittedBefore = camera.stats().submitted;
    std::vector<std::uint8_t> frame(kFrameBytes, 0);
    int done = 0;
    ASSERT_EQ(bulk(handle.get(), 0x83, frame.data(), static_cast<int>(frame.size()), &done), 0);
    EXPECT_EQ(done, static_cast<int>(kFrameBytes));
    EXPECT_EQ(camera.stats().submitted, submittedBefore + 1) << "libusb sent the frame as one URB";

    // The scene in the active area (a line below the frame marker), blanking levels
    // around it.
    const int y = 700;
    for (int x : {0, 333, 1359}) {
        const std::size_t index = std::size_t(14 + y) * 1791 + 424 + std::size_t(x);
        const int level = emulator::sampleLevel(emulator::sceneReflectance(emulator::Scene::Chart, x, y), 64, 512);
        EXPECT_EQ(frame[index], level >> 2) << x;
    }
    EXPECT_GE(*std::min_element(frame.begin(), frame.begin() + 1791 * 14), 64);

    const auto transfers = [] {
        std::vector<emulator::LogEntry> kept;
        for (const auto& entry : emulated().log())
            if (entry.kind == RequestKind::FrameTransfer || entry.kind == RequestKind::Command) kept.push_back(entry);
        return kept;
    }();
    ASSERT_GE(transfers.size(), 2u);
    EXPECT_EQ(transfers[transfers.size() - 2].code, protocol::kPipeRead) << "the frame request goes as a read";
    EXPECT_EQ(transfers.back().kind, RequestKind::FrameTransfer);
    EXPECT_EQ(transfers.back().length, kFrameBytes);
    EXPECT_EQ(transfers.back().bytesReturned, kFrameBytes);
}

TEST_F(UsbHarness, ClaimsAreExclusiveAndOnlyTheCamerasEndpointsTakeTransfers) {
    UsbCameraBench bench;
    FakeUsbCamera& camera = bench.add({kCameraVendor, kCameraProduct, 1, {2}, 0});
    LibusbHandle first = open(camera);
    LibusbHandle second = open(camera);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(libusb_claim_interface(first.get(), 1), LIBUSB_ERROR_NOT_FOUND);
    ASSERT_EQ(libusb_claim_interface(first.get(), 0), 0);
    EXPECT_EQ(libusb_claim_interface(second.get(), 0), LIBUSB_ERROR_BUSY);
    // The kernel refuses these URBs (EBUSY: claimed by another file; ENOENT: no such
    // endpoint); libusb reports any refused submission but ENODEV and ENOMEM as an I/O error.
    Packet packet{0x06};
    int done = 0;
    EXPECT_EQ(bulk(second.get(), 0x01, packet.data(), 64, &done), LIBUSB_ERROR_IO);
    EXPECT_EQ(bulk(first.get(), 0x04, packet.data(), 64, &done), LIBUSB_ERROR_IO);
    EXPECT_EQ(camera.stats().submitted, 0);
    ASSERT_EQ(libusb_release_interface(first.get(), 0), 0);
    EXPECT_EQ(libusb_claim_interface(second.get(), 0), 0);
    EXPECT_EQ(camera.stats().opens, 2);
    EXPECT_EQ(camera.stats().claims, 2);

    // A control transfer is nothing the camera's driver makes: refused and recorded.
    unsigned char status[2];
    EXPECT_LT(libusb_control_transfer(second.get(), 0x80, 0, 0, 0, status, 2, 500), 0);
    ASSERT_EQ(camera.stats().unserved.size(), 1u);
    EXPECT_NE(camera.stats().unserved[0].find("SUBMITURB"), std::string::npos);
}

TEST_F(UsbHarness, AWaitingFrameEndsPromptlyWhenCancelledOrTimedOutAndCommandsPassMeanwhile) {
    UsbCameraBench bench;
    FakeUsbCamera& camera = bench.add({kCameraVendor, kCameraProduct, 2, {1}, 0});
    LibusbHandle handle = open(camera);
    ASSERT_TRUE(handle);
    ASSERT_EQ(libusb_claim_interface(handle.get(), 0), 0);
    prepareFrames(handle.get(), true); // no trigger comes: the frame waits
    AsyncRead read, timed, released;
    EventThread events(context_.get()); // ends before the transfers are freed

    ASSERT_TRUE(command(handle.get(), Packet{0x02}));
    ASSERT_TRUE(read.submit(handle.get(), 0x83, kFrameBytes, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // The frame endpoint waits; the command endpoint does not wait behind it.
    auto start = Clock::now();
    EXPECT_EQ(readFpga(handle.get(), 0x24), 1280);
    EXPECT_LT(msSince(start), 1000);
    EXPECT_FALSE(read.done.load());

    start = Clock::now();
    ASSERT_EQ(libusb_cancel_transfer(read.transfer.get()), 0);
    ASSERT_TRUE(read.waitDone(2000));
    EXPECT_EQ(read.status.load(), LIBUSB_TRANSFER_CANCELLED);
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(camera.stats().discarded, 1);

    // libusb's own time-out cancels the same way.
    start = Clock::now();
    ASSERT_TRUE(timed.submit(handle.get(), 0x83, kFrameBytes, 300));
    ASSERT_TRUE(timed.waitDone(2500));
    EXPECT_EQ(timed.status.load(), LIBUSB_TRANSFER_TIMED_OUT);
    EXPECT_LT(msSince(start), 1500);

    // Both frame transfers reached the camera and failed there; the frame request is
    // still armed, so a trigger now releases it to the next transfer.
    int failed = 0;
    for (const auto& entry : emulated().log())
        if (entry.kind == RequestKind::FrameTransfer && !entry.succeeded) ++failed;
    EXPECT_EQ(failed, 2);
    ASSERT_TRUE(emulated().fireTrigger(0));
    ASSERT_TRUE(released.submit(handle.get(), 0x83, kFrameBytes, 2000));
    ASSERT_TRUE(released.waitDone(3000));
    EXPECT_EQ(released.status.load(), LIBUSB_TRANSFER_COMPLETED);
    EXPECT_EQ(released.transfer->actual_length, static_cast<int>(kFrameBytes));
}

TEST_F(UsbHarness, UnplugEndsThePendingTransferFailsLaterOnesAndTakesTheDeviceOffTheBus) {
    UsbCameraBench bench;
    FakeUsbCamera& camera = bench.add({kCameraVendor, kCameraProduct, 1, {3}, 0});
    FakeUsbCamera& neighbour = bench.add({kCameraVendor, kCameraProduct, 1, {4}, 1});
    LibusbHandle handle = open(camera);
    ASSERT_TRUE(handle);
    ASSERT_EQ(libusb_claim_interface(handle.get(), 0), 0);
    prepareFrames(handle.get(), true);
    AsyncRead read;
    EventThread events(context_.get()); // ends before the transfer is freed
    ASSERT_TRUE(command(handle.get(), Packet{0x02}));
    ASSERT_TRUE(read.submit(handle.get(), 0x83, kFrameBytes, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const auto start = Clock::now();
    ASSERT_TRUE(bench.unplug(0));
    ASSERT_TRUE(read.waitDone(2000));
    EXPECT_EQ(read.status.load(), LIBUSB_TRANSFER_NO_DEVICE);
    EXPECT_LT(msSince(start), 1500);
    EXPECT_FALSE(bench.unplug(0)) << "already unplugged";
    EXPECT_FALSE(emulated().cameraState(0).has_value()) << "the emulated camera went with it";

    Packet packet{0x06};
    int done = 0;
    EXPECT_EQ(bulk(handle.get(), 0x01, packet.data(), 64, &done), LIBUSB_ERROR_NO_DEVICE);
    LibusbDeviceList list(context_.get());
    EXPECT_EQ(find(list, camera), nullptr) << "libusb no longer lists it";
    EXPECT_NE(find(list, neighbour), nullptr);
    handle.reset();

    // The neighbour is untouched.
    LibusbHandle other = open(neighbour);
    ASSERT_TRUE(other);
    EXPECT_EQ(readFpga(other.get(), 0xA0), 0x0500);
}

TEST_F(UsbHarness, AUserWithoutAccessToTheNodeGetsLibusbsAccessError) {
    UsbCameraBench bench;
    FakeUsbCamera& camera = bench.add({kCameraVendor, kCameraProduct, 1, {6}, 0});
    const std::vector<std::string> probe = {ORVIX_USB_OPEN_PROBE, std::to_string(camera.entry().bus),
                                            std::to_string(camera.entry().deviceNumber)};
    std::string output;
    {
        NodeOnlyForRoot restricted(camera.entry().devnode);
        ASSERT_TRUE(restricted.ok());
        const int status = runAsNobody(probe, &output);
        if (status == kCouldNotDropPrivileges) GTEST_SKIP() << "this process may not switch to the user nobody";
        EXPECT_EQ(status, 1) << output;
        EXPECT_NE(output.find("open: " + std::to_string(LIBUSB_ERROR_ACCESS)), std::string::npos) << output;
    }
    EXPECT_EQ(camera.stats().submitted, 0);
    EXPECT_EQ(camera.stats().claims, 0);

    // With the node open to others the same user opens it (the bus itself is readable).
    ASSERT_EQ(chmod(UsbTestbed::instance().hostPath(camera.entry().devnode).c_str(), 0666), 0);
    NodeOnlyForRoot busReadable(camera.entry().devnode);
    ASSERT_EQ(chmod(UsbTestbed::instance().hostPath(camera.entry().devnode).c_str(), 0666), 0);
    output.clear();
    EXPECT_EQ(runAsNobody(probe, &output), 0) << output;
}

} // namespace
} // namespace orvix::test::usb
