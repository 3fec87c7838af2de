#include "platform/posix/usb_driver.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/mutex.h"
#include "platform/no_destructor.h"
#include "platform/posix/usb_devices.h"

namespace orvix::platform::usb {

namespace {

// The driver requests of the device-file contract.
constexpr std::uint32_t kPipeWrite = 0x222051;
constexpr std::uint32_t kPipeRead = 0x22204E;
constexpr std::uint32_t kFrameTransfer = 0x2220A9;
constexpr std::uint32_t kSetTimeout = 0x2220A0;
constexpr std::uint32_t kSetTimeoutInputLength = 44;
constexpr std::uint32_t kPipeCount = 3;
constexpr std::uint32_t kLongestTransfer = 0x7FFFFFFF; // libusb's lengths are ints

constexpr std::uint32_t kDefaultTimeoutMs = 3000;
constexpr std::uint32_t kLongestTimeoutMs = 3600 * 1000;
// How long a transfer may stay pending after its time-out before it is cancelled.
constexpr auto kCancelGrace = std::chrono::seconds(1);
// One turn of event handling while a transfer is pending.
constexpr long kEventTurnUs = 100 * 1000;

std::uint32_t le32(const void* bytes) {
    const auto* b = static_cast<const std::uint8_t*>(bytes);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// The slot of "\\.\OvixK62DT4-n", or -1.
int slotOfPath(const char* path) {
    static const char prefix[] = "\\\\.\\OvixK62DT4-";
    if (!path || std::strncmp(path, prefix, sizeof prefix - 1) != 0) return -1;
    const char* digit = path + sizeof prefix - 1;
    if (digit[0] < '0' || digit[0] >= '0' + kMaxCameras || digit[1] != '\0') return -1;
    return digit[0] - '0';
}

struct TransferDeleter {
    void operator()(libusb_transfer* transfer) const { libusb_free_transfer(transfer); }
};
using Transfer = std::unique_ptr<libusb_transfer, TransferDeleter>;

extern "C" void LIBUSB_CALL markTransferDone(libusb_transfer* transfer) {
    static_cast<std::atomic<bool>*>(transfer->user_data)->store(true, std::memory_order_release);
}

// What the driver keeps of an attached camera while it stays attached, open or not:
// the transfer time-out, as a driver keeps it per device.
class AttachedCamera {
public:
    explicit AttachedCamera(libusb_device* device) : device_(libusb_ref_device(device)) {}
    ~AttachedCamera() { libusb_unref_device(device_); }
    AttachedCamera(const AttachedCamera&) = delete;
    AttachedCamera& operator=(const AttachedCamera&) = delete;

    libusb_device* device() const { return device_; }
    std::atomic<std::uint32_t> timeoutMs{kDefaultTimeoutMs};

private:
    libusb_device* const device_; // referenced, so the pointer names this device only
};

// One opened camera: its claimed interface 0, shared by every open file of it. Made
// and destroyed by the Driver, under the driver's lock.
class UsbCamera {
public:
    UsbCamera(std::shared_ptr<AttachedCamera> attached, libusb_device_handle* handle, CameraPipes pipes)
        : attached_(std::move(attached)), handle_(handle), pipes_(pipes) {}
    ~UsbCamera() {
        libusb_release_interface(handle_, 0);
        libusb_close(handle_);
    }
    UsbCamera(const UsbCamera&) = delete;
    UsbCamera& operator=(const UsbCamera&) = delete;

    libusb_device* device() const { return attached_->device(); }
    bool gone() const { return gone_.load(); }
    void setTimeout(std::uint32_t ms) { attached_->timeoutMs.store(ms); }

    // One bulk transfer of `length` bytes on the pipe; true when all of them went.
    bool transfer(std::uint32_t pipe, std::uint8_t* data, std::uint32_t length, std::uint32_t* actual) {
        *actual = 0;
        if (gone()) return false;
        Transfer transfer(libusb_alloc_transfer(0));
        if (!transfer) return false;
        std::atomic<bool> done{false};
        const std::uint32_t timeoutMs = attached_->timeoutMs.load();
        libusb_fill_bulk_transfer(transfer.get(), handle_, pipes_.endpoint[pipe], data, static_cast<int>(length),
                                  markTransferDone, &done, timeoutMs);
        const int submitted = libusb_submit_transfer(transfer.get());
        if (submitted != 0) {
            if (submitted == LIBUSB_ERROR_NO_DEVICE) gone_.store(true);
            return false;
        }
        waitUntilDone(transfer.get(), done, timeoutMs);
        *actual = static_cast<std::uint32_t>(transfer->actual_length);
        if (transfer->status == LIBUSB_TRANSFER_NO_DEVICE) gone_.store(true);
        return transfer->status == LIBUSB_TRANSFER_COMPLETED && *actual == length;
    }

private:
    // Handles libusb's events until the transfer has ended. libusb ends it at its
    // time-out; should it still be pending a second later, or the device go away, it is
    // cancelled, and the wait lasts until libusb reports it cancelled (the buffer is
    // the caller's, so it is never left to a transfer still in flight).
    static void waitUntilDone(libusb_transfer* transfer, const std::atomic<bool>& done, std::uint32_t timeoutMs) {
        const auto cancelAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs) + kCancelGrace;
        bool cancelled = false;
        while (!done.load(std::memory_order_acquire)) {
            timeval turn{0, kEventTurnUs};
            const int handled = libusb_handle_events_timeout_completed(usbContext(), &turn, nullptr);
            const bool failing = handled != 0 && handled != LIBUSB_ERROR_INTERRUPTED && handled != LIBUSB_ERROR_TIMEOUT;
            if (!cancelled && (failing || std::chrono::steady_clock::now() >= cancelAt) &&
                !done.load(std::memory_order_acquire)) {
                libusb_cancel_transfer(transfer);
                cancelled = true;
            }
        }
    }

    const std::shared_ptr<AttachedCamera> attached_;
    libusb_device_handle* const handle_;
    const CameraPipes pipes_;
    std::atomic<bool> gone_{false};
};

// The open cameras, each shared by its open files.
class Driver {
public:
    std::shared_ptr<UsbCamera> cameraInSlot(int slot) ORVIX_EXCLUDES(mutex_) {
        std::vector<MatchedDevice> matches = matchingDevices(configuredUsbIds());
        if (slot >= static_cast<int>(matches.size())) return nullptr;
        const MatchedDevice& match = matches[static_cast<std::size_t>(slot)];
        MutexLock lock(mutex_);
        keepAttached(matches);
        for (const std::weak_ptr<UsbCamera>& entry : cameras_) {
            std::shared_ptr<UsbCamera> camera = entry.lock();
            if (camera && !camera->gone() && camera->device() == match.device()) return camera;
        }
        return openCamera(match);
    }

private:
    std::shared_ptr<UsbCamera> openCamera(const MatchedDevice& match) ORVIX_REQUIRES(mutex_) {
        CameraPipes pipes;
        std::string problem;
        if (!match.cameraPipes(&pipes, &problem)) return nullptr;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(match.device(), &handle) != 0) return nullptr;
        libusb_set_auto_detach_kernel_driver(handle, 1);
        if (libusb_claim_interface(handle, 0) != 0) {
            libusb_close(handle);
            return nullptr;
        }
        // The last file to close releases the camera under the lock, so a new open of
        // the same camera never finds its interface still claimed.
        std::shared_ptr<UsbCamera> camera(new UsbCamera(attachedCamera(match), handle, pipes), [this](UsbCamera* closing) {
            MutexLock lock(mutex_);
            delete closing;
        });
        forgetClosed();
        cameras_.push_back(camera);
        return camera;
    }

    // Forgets the cameras no longer attached (a camera plugged in again starts afresh).
    void keepAttached(const std::vector<MatchedDevice>& matches) ORVIX_REQUIRES(mutex_) {
        std::vector<std::shared_ptr<AttachedCamera>> kept;
        for (std::shared_ptr<AttachedCamera>& camera : attached_) {
            for (const MatchedDevice& match : matches)
                if (match.device() == camera->device()) {
                    kept.push_back(std::move(camera));
                    break;
                }
        }
        attached_.swap(kept);
    }

    std::shared_ptr<AttachedCamera> attachedCamera(const MatchedDevice& match) ORVIX_REQUIRES(mutex_) {
        for (const std::shared_ptr<AttachedCamera>& camera : attached_)
            if (camera->device() == match.device()) return camera;
        attached_.push_back(std::make_shared<AttachedCamera>(match.device()));
        return attached_.back();
    }

    void forgetClosed() ORVIX_REQUIRES(mutex_) {
        std::vector<std::weak_ptr<UsbCamera>> open;
        for (std::weak_ptr<UsbCamera>& entry : cameras_)
            if (!entry.expired()) open.push_back(std::move(entry));
        cameras_.swap(open);
    }

    Mutex mutex_;
    std::vector<std::shared_ptr<AttachedCamera>> attached_ ORVIX_GUARDED_BY(mutex_);
    std::vector<std::weak_ptr<UsbCamera>> cameras_ ORVIX_GUARDED_BY(mutex_);
};

Driver& driver() {
    static NoDestructor<Driver> instance;
    return *instance;
}

class UsbCameraFile final : public DeviceChannel {
public:
    explicit UsbCameraFile(std::shared_ptr<UsbCamera> camera) : camera_(std::move(camera)) {}

    bool ioControl(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                   std::uint32_t outputLength, std::uint32_t* bytesReturned) override {
        std::uint32_t bytes = 0;
        const bool ok = request(code, input, inputLength, output, outputLength, &bytes);
        if (bytesReturned) *bytesReturned = bytes;
        return ok;
    }

private:
    bool request(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                 std::uint32_t outputLength, std::uint32_t* bytes) {
        if (code == kSetTimeout) return setTimeout(input, inputLength, output, outputLength);
        if (code != kPipeWrite && code != kPipeRead && code != kFrameTransfer) return false;
        if (!input || inputLength != 4 || !output || outputLength == 0 || outputLength > kLongestTransfer) return false;
        const std::uint32_t pipe = le32(input);
        if (pipe >= kPipeCount) return false;
        return camera_->transfer(pipe, static_cast<std::uint8_t*>(output), outputLength, bytes);
    }

    bool setTimeout(const void* input, std::uint32_t inputLength, const void* output, std::uint32_t outputLength) {
        if (!input || inputLength != kSetTimeoutInputLength || output || outputLength != 0) return false;
        const auto* bytes = static_cast<const std::uint8_t*>(input);
        const std::uint32_t ms = le32(bytes + 4);
        if (le32(bytes) != 1 || ms == 0 || ms > kLongestTimeoutMs) return false;
        camera_->setTimeout(ms);
        return true;
    }

    const std::shared_ptr<UsbCamera> camera_;
};

} // namespace

std::unique_ptr<DeviceChannel> openCameraFile(const char* path) {
    const int slot = slotOfPath(path);
    if (slot < 0) return nullptr;
    std::shared_ptr<UsbCamera> camera = driver().cameraInSlot(slot);
    if (!camera) return nullptr;
    return std::make_unique<UsbCameraFile>(std::move(camera));
}

} // namespace orvix::platform::usb
