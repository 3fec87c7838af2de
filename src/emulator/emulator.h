#pragma once
// The emulated camera driver: up to eight emulated cameras behind the device names
// "\\.\OvixK62DT4-n", reached through the platform's device-file service.
//
// The driver is strict: it takes exactly the opens, control codes, pipes, lengths and
// command packets of the camera's contract (request_rules.h) and refuses anything
// else as a driver does, the open failing or the request failing with no bytes
// returned. Each refusal is logged (kind Rejected, with its Rejection and a reason),
// counted until a test clears it, and reported in a file (rejection_report.h), so a
// test run can assert that the library never made such a request.
//
// It is active when ORVIX_K62DT4_EMULATE is set to a non-empty value (read once, on
// first use; syntax in emulation_config.h) or when configured through this
// interface. While it is active every device name goes to it; a malformed variable
// leaves it active with no camera attached.
//
// A test of another device-file backend (the USB driver, against a fake bus whose
// devices answer through this emulator) turns serving off: serveDeviceFiles(false).
// The cameras stay attached and keep their state, but the platform's device files
// no longer come here, so the library's requests go to that backend. The fake bus
// reaches each camera as the driver would, through open() and EmulatedFile's
// ioControl() with the driver's control codes, so every request is still checked by
// the same rules and logged in the same log.
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
#include "emulator/rejection_report.h"
#include "emulator/request_log.h"
#include "emulator/request_rules.h"
#include "platform/device_file.h"

namespace orvix {
template <typename T>
class NoDestructor;
} // namespace orvix

namespace orvix::emulator {

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

    // Ends the camera's frame transfers that are waiting now as if their time-out had
    // passed: each fails (and is logged so). For a host that cancels a transfer it
    // gave up on, as a USB host does; the Windows driver ends its transfers only at
    // the time-out.
    void cancelFrameTransfers();

private:
    bool command(LogEntry& entry, std::uint8_t* packet, bool throughReadCode, std::uint32_t* bytes);
    bool readAnswer(LogEntry& entry, std::uint8_t* out, std::uint32_t length, std::uint32_t* bytes);
    bool readFrame(LogEntry& entry, std::uint8_t* out, std::uint32_t length, std::uint32_t* bytes);
    bool setTimeout(LogEntry& entry, const void* input, std::uint32_t length);
    bool refuse(LogEntry& entry, Refusal refusal);

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
    // As without the variable: nothing emulated, device names go to the real driver,
    // and device files are served again once the emulator is configured.
    void deactivate();
    // Whether the platform's device files come to the emulator while it is active
    // (true until changed; configure() leaves it as it is). See the top of this file.
    void serveDeviceFiles(bool serve);

    bool fireTrigger(int slot);          // false when no camera is attached there
    bool unplug(int slot);               // fails the camera's pending and later requests
    bool replug(int slot);               // attaches a camera at power-on state (serial ROM kept)
    // The next `count` requests of `kind` on `slot` fail, or come back short (half the
    // bytes; a short open fails).
    void failNext(int slot, RequestKind kind, int count);
    void shortenNext(int slot, RequestKind kind, int count);

    std::vector<LogEntry> log() const; // oldest first; keeps the last kLogCapacity entries
    void clearLog();

    // Requests refused since the last clearRejections (the first kLogCapacity of them
    // kept, all counted). Tests that make such requests on purpose take or clear them;
    // clearing the log leaves them.
    std::vector<LogEntry> rejections() const;
    std::size_t rejectionCount() const;
    std::vector<LogEntry> takeRejections();
    void clearRejections();
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
    // Logs, counts and reports a refused request (entry.rejection and reason set).
    void recordRejection(LogEntry entry);

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
    bool serving_ = true;
    EmulationConfig config_;
    std::array<std::shared_ptr<EmulatedCamera>, kSlotCount> cameras_;
    std::array<std::shared_ptr<SromContents>, kSlotCount> roms_;
    std::array<std::array<FaultCounters, kKinds>, kSlotCount> faults_{};

    mutable std::mutex logMutex_;
    std::deque<LogEntry> log_;

    mutable std::mutex rejectionMutex_;
    std::deque<LogEntry> rejections_;
    std::size_t rejectionCount_ = 0;
    RejectionReport report_;
};

} // namespace orvix::emulator
