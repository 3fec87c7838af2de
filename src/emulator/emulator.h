#pragma once
// The emulated camera driver: up to eight emulated cameras behind the device names
// "\\.\OvixK62DT4-n", reached through the platform's device-file service.
//
// It is active when ORVIX_K62DT4_EMULATE is set to a non-empty value (read once, on
// first use; syntax in emulation_config.h) or when configured through this
// interface. While it is active every device name goes to it; a malformed variable
// leaves it active with no camera attached.
//
// The rest of this header is the test interface (internal to the library, never
// exported): configure, fire triggers, unplug and re-plug, inject faults, read the
// ordered log of requests.

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/emulated_camera.h"
#include "emulator/emulation_config.h"
#include "platform/device_file.h"

namespace orvix {
template <typename T>
class NoDestructor;
} // namespace orvix

namespace orvix::emulator {

// What a request was, by the pipe it went to (any request on the command pipe is a
// command, whatever its control code).
enum class RequestKind {
    Open,
    Close,
    Command,       // command pipe
    AnswerRead,    // response pipe
    FrameTransfer, // frame pipe
    SetTimeout,    // the set-time-out request
    Other,         // unknown control code or pipe
};

struct LogEntry {
    RequestKind kind = RequestKind::Other;
    int slot = -1;              // -1 when an open named no slot
    std::uint32_t code = 0;     // control code
    std::uint32_t pipe = 0;
    std::uint32_t length = 0;   // output buffer length asked for
    std::uint32_t bytesReturned = 0;
    bool succeeded = false;
    std::uint32_t byteCount = 0;        // bytes kept below
    std::array<std::uint8_t, 64> bytes{}; // command packet, answer, or set-time-out input
    std::string path;                   // opens: the name asked for
    std::uint32_t access = 0, shareMode = 0, disposition = 0; // opens
};

class Emulator;

// One open device file.
class EmulatedFile final : public platform::DeviceChannel {
public:
    EmulatedFile(Emulator& emulator, int slot, std::shared_ptr<EmulatedCamera> camera);
    ~EmulatedFile() override; // logs the close
    EmulatedFile(const EmulatedFile&) = delete;
    EmulatedFile& operator=(const EmulatedFile&) = delete;

    bool ioControl(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                   std::uint32_t outputLength, std::uint32_t* bytesReturned) override;

private:
    Emulator& emulator_;
    const int slot_;
    const std::shared_ptr<EmulatedCamera> camera_;
};

class Emulator final : public platform::DeviceBackend {
public:
    // The process's emulator, never destroyed. Made on first use, when it reads the
    // variable and installs itself as the device backend.
    static Emulator& instance();

    // ---- driver side -------------------------------------------------------------
    bool active() const override;
    // Opens a device name; nothing when it names no attached camera (or the open is
    // made to fail).
    std::unique_ptr<platform::DeviceChannel> open(const char* path, std::uint32_t access, std::uint32_t shareMode,
                                                  std::uint32_t disposition) override;

    // ---- test interface ------------------------------------------------------------
    // Activates the emulator with these cameras, all at power-on state (serial ROMs
    // included); cameras attached before are removed, failing their transfers.
    void configure(const EmulationConfig& config);
    // The same from the variable's syntax; false (and no camera) when malformed.
    bool configure(std::string_view setting);
    // As without the variable: nothing emulated, device names go to the real driver.
    void deactivate();

    bool fireTrigger(int slot);          // false when no camera is attached there
    bool unplug(int slot);               // fails the camera's pending and later requests
    bool replug(int slot);               // attaches a camera at power-on state (serial ROM kept)
    // The next `count` requests of `kind` on `slot` fail, or come back short (half the
    // bytes; a short open fails).
    void failNext(int slot, RequestKind kind, int count);
    void shortenNext(int slot, RequestKind kind, int count);

    std::vector<LogEntry> log() const; // oldest first; keeps the last kLogCapacity entries
    void clearLog();
    std::optional<CameraState> cameraState(int slot) const;
    // FPGA register as the host would read it (nothing without a camera).
    std::optional<std::uint16_t> fpgaRegister(int slot, std::uint8_t address) const;
    // The FPGA register reads `value` until the host next writes it (false without a
    // camera); for states the host cannot write, such as a preview mode of 0x0012.
    bool setFpgaReading(int slot, std::uint8_t address, std::uint16_t value);

    static constexpr std::size_t kLogCapacity = 8192;

    // Used by EmulatedFile.
    Fault takeFault(int slot, RequestKind kind);
    void record(LogEntry entry);

private:
    friend class orvix::NoDestructor<Emulator>;
    Emulator();

    struct FaultCounters {
        int fail = 0;
        int shorten = 0;
    };
    static constexpr int kKinds = 7;

    std::shared_ptr<EmulatedCamera> attach(int slot);
    void detachAll();

    mutable std::mutex mutex_;
    bool active_ = false;
    EmulationConfig config_;
    std::array<std::shared_ptr<EmulatedCamera>, kSlotCount> cameras_;
    std::array<std::shared_ptr<SromContents>, kSlotCount> roms_;
    std::array<std::array<FaultCounters, kKinds>, kSlotCount> faults_{};

    mutable std::mutex logMutex_;
    std::deque<LogEntry> log_;
};

// Parses a device name "\\.\OvixK62DT4-n"; the slot n, or -1.
int slotOfDevicePath(const char* path);

} // namespace orvix::emulator
