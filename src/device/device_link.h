#pragma once
// The channel from one Camera to one camera's driver.
//
//   device_discovery.cpp   names, presence, selection and its defaults, device files
//   control_requests.cpp   pipe requests, command packets, registers, modes, time-out
//   frame_transfer.cpp     frame buffers, one-shot and ring transfers, window copies
//
// No device file stays open between requests: every control request opens the
// selected device, makes its transfers and closes it; each transfer thread holds a
// handle of its own for its whole run.
//
// Threads: control requests (registers, gains, modes, the serial ROM) may come from
// several threads at once; each is made whole under the link's request lock, so two
// requests never interleave on the device. Selecting a device, changing the capture
// window and starting or stopping transfers rebuild or use the frame buffers: the
// capture engine makes those calls one at a time, never while a capture thread reads
// frames. The one-shot and ring threads share only their job records with the link;
// the flags and indices of those records are atomics, written by one side at a time.
//
// Cameras shared by the links of one process: a handle's start-up talks to every
// present camera, and one that another link has selected may be capturing there. The
// start-up's 8-bit mode, trigger mode and gains would break that capture's frames, so
// the start-up calls below leave such a camera alone: the link selects it and keeps
// the values, and nothing is sent. Each start-up request to a free camera is made
// under the process's lock of selections, so that no link selects the camera between
// the check and the request.
//
// Waits: a one-shot transfer is waited for at most its transfer time-out plus
// kTransferWaitMarginMs, a ring thread's stop as long; the driver ends every frame
// read at the time-out. The destructor waits for the transfer threads, which end by
// the same rule. A selection waits for the lock of selections at most as long as
// another link's selection or start-up requests to one camera, each ended by the
// driver.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/frame_copy.h"
#include "platform/device_file.h"
#include "platform/event.h"
#include "platform/global_memory.h"
#include "platform/mutex.h"
#include "platform/thread.h"

namespace orvix {

// Result codes of the link's operations (0 = success).
enum LinkResult : int {
    kLinkOk = 0,
    kLinkBadWindow = 1,         // window out of range; fewer than 2 ring slots
    kLinkBadLineGeometry = 3,
    kLinkBadLineCount = 4,
    kLinkNoMemory = 7,          // buffers could not be allocated (or do not exist)
    kLinkOpenFailed = 10,       // device could not be opened (or the transfer thread not started)
    kLinkRequestFailed = 12,    // pipe request failed or moved a different byte count
    kLinkNoDestination = 14,
    kLinkFrameRequestFailed = 18,
    kLinkTransferFailed = 19,   // frame transfer failed or was short
    kLinkBusy = 21,             // a transfer is still running
    kLinkBadIndex = 22,
};

// pollFrame results.
enum PollResult : int {
    kPollNotRunning = 0,
    kPollFailed = 1,
    kPollNoFrame = 2,
    kPollNewFrame = 3,
};

// The index arithmetic of pollFrame: the newest completed slot before `writeIndex`
// when any frame has been completed since `readIndex`. Returns kPollNoFrame or
// kPollNewFrame (then *chosen is the slot).
int chooseNewestSlot(int writeIndex, int readIndex, int slotCount, int* chosen);

class DeviceLink {
public:
    using DeviceHandle = platform::DeviceFile;
    using Packet = std::array<std::uint8_t, 64>;

    DeviceLink();
    ~DeviceLink(); // also ends a running ring and waits for a one-shot thread
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // ---- discovery and open --------------------------------------------------------
    void enumerateDevices();
    static int maxDevices() { return kDeviceCount; }
    int isDevicePresent(int index) const;
    int currentDevice() const { return currentIndex_.load(); }
    int selectDevice(int index); // 0; 22 for an index outside 0..7; 21 while a transfer runs
    // The selected device's name.
    std::string devicePath() const;

    // ---- start-up (see above: nothing reaches a camera another link has selected) ----
    // selectDevice's selection; true when the camera was free and got its requests.
    bool selectDeviceAtStartup(int index);
    // setGlobalGain and setExposure for the selected camera; true when they were sent.
    bool sendStartupGains(int gain, int exposure);
    // setCaptureWindow, its frame length sent only to a free camera.
    int setCaptureWindowAtStartup(int x, int y, int width, int height, int subSample);

    // 1 and an open handle, or 0.
    static int openDevice(const char* path, DeviceHandle& handle);
    // 1 after closing an open handle, 0 for a closed one.
    static int closeDevice(DeviceHandle& handle);

    // ---- pipe requests -------------------------------------------------------------
    // -2 null buffer, -3 closed handle, 0 when the driver succeeded, -1 when it failed.
    static int pipeTransfer(DeviceHandle& handle, std::uint32_t pipe, std::uint32_t length, void* buffer, bool write,
                            std::uint32_t* bytesReturned);
    // 10 closed handle, 12 failed or short, 0 otherwise.
    static int pipeWrite(DeviceHandle& handle, std::uint32_t pipe, std::uint32_t length, void* buffer);
    static int pipeRead(DeviceHandle& handle, std::uint32_t pipe, std::uint32_t length, void* buffer);

    // ---- control requests ----------------------------------------------------------
    int writeSensorRegister(std::uint16_t address, int value);
    int readSensorRegister(std::uint16_t address, int* value) const;
    // How much longer than the transfer time-out a transfer is waited for.
    static constexpr std::uint32_t kTransferWaitMarginMs = 1000;
    int writeControlValue(std::uint8_t id, std::uint16_t value);
    int setGlobalGain(int gain);
    int globalGain() const { return globalGain_.load(); }
    static int globalGainMin() { return 0; }
    static int globalGainMax() { return 1023; }
    int setExposure(int lines);
    int exposure() const { return exposure_.load(); }
    static int exposureMin() { return 8; }
    static int exposureMax() { return 1068; }
    int setOutputMode(int mode);
    int writeFpgaRegister(std::uint8_t address, std::uint16_t value);
    int readFpgaRegister(std::uint8_t address, std::uint16_t* value);
    int readSromId(int index, std::uint8_t* value);
    int writeSromId(int index, int value);
    int readHalfClock(int* on);
    int setHalfClock(int on);
    int setTenBitMode(int on); // 1; 0 while a transfer runs (nothing sent)
    int setTriggerMode(int on);
    int sendFrameLength();
    void sendDeviceSelect();
    int setMirrorV(int on);
    int mirrorV() const { return mirrorV_; }
    void setTransferTimeout(int ms);
    int transferTimeout() const { return transferTimeoutMs_.load(); }
    int tenBitMode() const { return tenBit_.load(); }

    // ---- frame transfer ------------------------------------------------------------
    int setCaptureWindow(int x, int y, int width, int height, int subSample);
    int setupFrameBuffers(int lineLength, int firstSample, int width, int rawLines, int firstLine, int height,
                          int slotCount);
    int startSingleTransfer();
    int finishSingleTransfer();
    int setNoWait(int on);
    int convertFrame(std::uint8_t* dst, int color, int measureBalance, int raw);
    int startContinuousTransfer();
    int stopContinuousTransfer();
    int pollFrame();
    int convertRingFrame(std::uint8_t* dst, int color, int measureBalance, int raw);

    // Geometry and transfer figures.
    int subSample() const { return subSample_; }
    std::uint32_t frameSamples() const { return frameSamples_; }
    std::uint32_t transferLength() const; // bytes of one frame transfer in the current mode
    // The window the convert operations copy, and the bytes they write for the
    // current sample width.
    WindowCopy windowCopy() const;
    std::size_t frameCopyBytes() const { return windowCopyBytes(windowCopy(), tenBitMode() != 0); }
    int lastTransferMs() const { return lastTransferMs_.load(); }
    // The raw frame convertRingFrame would copy now (nullptr without a ring), for
    // measurements beside the window copy.
    const std::uint8_t* chosenRingFrame() const;
    bool transferRunning() const;

    static constexpr int kDeviceCount = 8;
    static constexpr int kRegisterCount = 1024;

private:
    struct SingleTransferJob {
        std::uint8_t* buffer = nullptr;
        std::uint32_t length = 0;
        platform::Event event;
        std::atomic<std::int32_t> elapsedMs{0};
        std::atomic<std::int32_t> result{0};
        std::atomic<std::int32_t> done{1};
        std::int32_t tenBit = 0;
        char path[32] = {};
    };
    struct RingJob {
        std::uint32_t length = 0;
        platform::Event event;
        std::atomic<std::int32_t> elapsedMs{0};
        std::atomic<std::int32_t> frameCount{0};
        std::atomic<std::int32_t> result{0};
        std::atomic<std::int32_t> stopped{1};
        std::atomic<std::int32_t> failed{0};
        std::int32_t tenBit = 0;
        std::int32_t slotCount = 0;
        platform::LockedMemoryBlock* slots = nullptr;
        std::atomic<std::int32_t> writeIndex{0};
        std::atomic<std::int32_t> readIndex{0};
        char path[32] = {};
    };

    // Discovery
    void restoreSelectionDefaults();
    // selectDevice, recorded in the table of selections; with `onlyIfFree` the
    // selection's requests go only to a camera no other link has selected. `talked`:
    // whether they went.
    int takeSelection(int index, bool onlyIfFree, bool& talked);
    // Takes `index` as the selected camera; `talk`: also sends the selection's requests.
    void applySelection(int index, bool talk);
    // Runs `talk` under the lock of selections unless another link has the selected
    // camera; false then.
    template <typename Talk>
    bool talkIfCameraFree(Talk&& talk);
    void rememberGains(int gain, int exposure); // the values setGlobalGain and setExposure keep
    void formatDevicePath(char* out, std::size_t size, int index) const;

    // Control requests, each whole under the request lock.
    int sendCommand(const Packet& packet) ORVIX_EXCLUDES(requestMutex_);
    int query(Packet& packet) ORVIX_EXCLUDES(requestMutex_);
    int sendSromPacket(Packet& packet, bool expectAnswer) ORVIX_EXCLUDES(requestMutex_);
    int shadowValue(std::uint16_t address) const ORVIX_EXCLUDES(requestMutex_);
    // Waits for a transfer thread's flag at most the transfer time-out and the
    // margin; false when it is still not set.
    bool waitForTransfer(const platform::Event& event, const std::atomic<std::int32_t>& flag) const;
    static bool frameTransfer(DeviceHandle& handle, std::uint32_t length, std::uint8_t* buffer);

    // Frame transfer
    int applyCaptureWindow(int x, int y, int width, int height, int subSample, bool talk);
    // setupFrameBuffers; `talk`: also sends the frame length.
    int buildFrameBuffers(int lineLength, int firstSample, int width, int rawLines, int firstLine, int height,
                          int slotCount, bool talk);
    void releaseFrameBuffers();
    void singleTransferMain();
    void ringTransferMain();
    void copyActiveWindow(const std::uint8_t* frame, bool tenBit, std::uint8_t* dst) const;

    // Held while a control request talks to the device, and while the selected
    // device's name or the register shadow is read or written.
    mutable Mutex requestMutex_;

    // Discovery state
    char devicePrefix_[11] = {};
    std::int32_t present_[kDeviceCount] = {}; // written by the constructor only
    std::atomic<std::int32_t> currentIndex_{0};
    char devicePath_[32] ORVIX_GUARDED_BY(requestMutex_) = {};

    // Control state
    std::int32_t shadow_[kRegisterCount] ORVIX_GUARDED_BY(requestMutex_) = {};
    std::atomic<std::uint16_t> globalGain_{0};
    std::atomic<std::uint16_t> exposure_{0};
    const std::int32_t mirrorV_ = 0;
    std::atomic<std::int32_t> transferTimeoutMs_{3000};

    // Frame geometry
    std::int32_t lineLength_ = 0;
    std::int32_t firstSample_ = 0;
    std::int32_t rawLines_ = 0;
    std::int32_t firstLine_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t windowX_ = 0;
    std::int32_t windowY_ = 0;
    std::int32_t subSample_ = 0;
    std::atomic<std::int32_t> tenBit_{0};
    std::uint32_t rawSamples_ = 0;
    std::uint32_t frameSamples_ = 0;
    std::int32_t slotCount_ = 0;

    // Buffers and transfers
    std::vector<std::uint8_t> workBuffer_;
    std::vector<platform::LockedMemoryBlock> ringSlots_;
    std::atomic<std::int32_t> lastTransferMs_{0};
    std::atomic<std::int32_t> noWait_{0};
    SingleTransferJob single_;
    RingJob ring_;
    platform::Thread singleThread_;
    platform::Thread ringThread_;
};

} // namespace orvix
