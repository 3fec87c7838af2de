#include "emulator/emulator.h"

#include <cstdlib>
#include <cstring>

#include "platform/no_destructor.h"
#include "device/driver_protocol.h"

namespace orvix::emulator {

namespace {

std::uint32_t readLe32(const void* bytes) {
    const auto* b = static_cast<const std::uint8_t*>(bytes);
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
}

bool isPipeCode(std::uint32_t code) {
    return code == protocol::kPipeWrite || code == protocol::kPipeRead || code == protocol::kFrameTransfer ||
           code == protocol::kFrameTransferOut;
}

RequestKind kindOfPipe(std::uint32_t pipe) {
    switch (pipe) {
    case protocol::kCommandPipe:
        return RequestKind::Command;
    case protocol::kResponsePipe:
        return RequestKind::AnswerRead;
    case protocol::kFramePipe:
        return RequestKind::FrameTransfer;
    default:
        return RequestKind::Other;
    }
}

std::shared_ptr<SromContents> powerOnRom(int slot) {
    auto rom = std::make_shared<SromContents>();
    const char id[] = "K62DT4";
    std::memcpy(rom->data(), id, 6);
    (*rom)[6] = static_cast<std::uint8_t>(slot);
    return rom;
}

} // namespace

int slotOfDevicePath(const char* path) {
    if (!path) return -1;
    static constexpr char kStem[] = "\\\\.\\OvixK62DT4-";
    const std::size_t stemLength = sizeof(kStem) - 1;
    if (std::strncmp(path, kStem, stemLength) != 0) return -1;
    const char digit = path[stemLength];
    if (digit < '0' || digit >= '0' + kSlotCount || path[stemLength + 1] != '\0') return -1;
    return digit - '0';
}

// ---- EmulatedFile ---------------------------------------------------------------------

EmulatedFile::EmulatedFile(Emulator& emulator, int slot, std::shared_ptr<EmulatedCamera> camera)
    : emulator_(emulator), slot_(slot), camera_(std::move(camera)) {}

EmulatedFile::~EmulatedFile() {
    LogEntry entry;
    entry.kind = RequestKind::Close;
    entry.slot = slot_;
    entry.succeeded = true;
    emulator_.record(std::move(entry));
}

bool EmulatedFile::ioControl(std::uint32_t code, const void* input, std::uint32_t inputLength, void* output,
                             std::uint32_t outputLength, std::uint32_t* bytesReturned) {
    std::uint32_t bytes = 0;
    bool ok = false;
    LogEntry entry;
    entry.slot = slot_;
    entry.code = code;
    entry.length = outputLength;
    auto* out = static_cast<std::uint8_t*>(output);

    if (code == protocol::kSetTimeout) {
        entry.kind = RequestKind::SetTimeout;
        if (input) {
            entry.byteCount = std::min<std::uint32_t>(inputLength, 64);
            std::memcpy(entry.bytes.data(), input, entry.byteCount);
        }
        const Fault fault = emulator_.takeFault(slot_, entry.kind);
        ok = fault == Fault::None && input &&
             camera_->setTransferTimeout(static_cast<const std::uint8_t*>(input), inputLength);
    } else if (isPipeCode(code) && input && inputLength >= 4) {
        entry.pipe = readLe32(input);
        entry.kind = kindOfPipe(entry.pipe);
        const Fault fault = entry.kind == RequestKind::Other ? Fault::None : emulator_.takeFault(slot_, entry.kind);
        if (out && outputLength > 0) {
            switch (entry.kind) {
            case RequestKind::Command:
                entry.byteCount = std::min<std::uint32_t>(outputLength, 64);
                std::memcpy(entry.bytes.data(), out, entry.byteCount);
                if (fault == Fault::Short) { // a partial packet: the camera discards it
                    ok = true;
                    bytes = outputLength / 2;
                } else if (fault == Fault::None) {
                    ok = camera_->command(out, outputLength, &bytes);
                }
                break;
            case RequestKind::AnswerRead:
                ok = camera_->readAnswer(out, outputLength, fault, &bytes);
                if (ok) {
                    entry.byteCount = std::min<std::uint32_t>(bytes, 64);
                    std::memcpy(entry.bytes.data(), out, entry.byteCount);
                }
                break;
            case RequestKind::FrameTransfer:
                ok = camera_->readFrame(out, outputLength, fault, &bytes);
                break;
            default:
                break;
            }
        }
    }
    if (!ok) bytes = 0;
    entry.succeeded = ok;
    entry.bytesReturned = bytes;
    emulator_.record(std::move(entry));
    if (bytesReturned) *bytesReturned = bytes;
    return ok;
}

// ---- Emulator -------------------------------------------------------------------------------

Emulator& Emulator::instance() {
    static NoDestructor<Emulator> emulator;
    return *emulator;
}

Emulator::Emulator() {
    const char* setting = std::getenv(kEmulationVariable);
    if (setting && *setting) configure(std::string_view(setting));
    platform::installDeviceBackend(this);
}

bool Emulator::active() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return active_;
}

void Emulator::detachAll() {
    for (auto& camera : cameras_) {
        if (camera) camera->unplug();
        camera.reset();
    }
}

std::shared_ptr<EmulatedCamera> Emulator::attach(int slot) {
    if (!roms_[slot]) roms_[slot] = powerOnRom(slot);
    cameras_[slot] = std::make_shared<EmulatedCamera>(config_, roms_[slot]);
    return cameras_[slot];
}

void Emulator::configure(const EmulationConfig& config) {
    std::lock_guard<std::mutex> lock(mutex_);
    detachAll();
    active_ = true;
    config_ = config;
    roms_ = {};
    faults_ = {};
    for (int slot = 0; slot < kSlotCount; ++slot)
        if (config.hasSlot(slot)) attach(slot);
}

bool Emulator::configure(std::string_view setting) {
    const std::optional<EmulationConfig> parsed = parseEmulationSetting(setting);
    configure(parsed.value_or(EmulationConfig{}));
    return parsed.has_value();
}

void Emulator::deactivate() {
    std::lock_guard<std::mutex> lock(mutex_);
    detachAll();
    active_ = false;
    config_ = EmulationConfig{};
    roms_ = {};
    faults_ = {};
}

std::unique_ptr<platform::DeviceChannel> Emulator::open(const char* path, std::uint32_t access, std::uint32_t shareMode,
                                             std::uint32_t disposition) {
    LogEntry entry;
    entry.kind = RequestKind::Open;
    entry.slot = slotOfDevicePath(path);
    entry.path = path ? path : "";
    entry.access = access;
    entry.shareMode = shareMode;
    entry.disposition = disposition;

    std::shared_ptr<EmulatedCamera> camera;
    if (entry.slot >= 0 && (access & protocol::kGenericWrite) && disposition == protocol::kOpenExisting &&
        takeFault(entry.slot, RequestKind::Open) == Fault::None) {
        std::lock_guard<std::mutex> lock(mutex_);
        camera = cameras_[entry.slot];
    }
    if (camera && !camera->plugged()) camera.reset();
    entry.succeeded = camera != nullptr;
    const int slot = entry.slot;
    record(std::move(entry));
    if (!camera) return nullptr;
    return std::make_unique<EmulatedFile>(*this, slot, std::move(camera));
}

bool Emulator::fireTrigger(int slot) {
    std::shared_ptr<EmulatedCamera> camera;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (slot < 0 || slot >= kSlotCount) return false;
        camera = cameras_[slot];
    }
    if (!camera || !camera->plugged()) return false;
    camera->fireTrigger();
    return true;
}

bool Emulator::unplug(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kSlotCount || !cameras_[slot]) return false;
    cameras_[slot]->unplug();
    cameras_[slot].reset();
    return true;
}

bool Emulator::replug(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_ || slot < 0 || slot >= kSlotCount) return false;
    if (cameras_[slot]) cameras_[slot]->unplug();
    attach(slot);
    return true;
}

void Emulator::failNext(int slot, RequestKind kind, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot >= 0 && slot < kSlotCount) faults_[slot][static_cast<int>(kind)].fail = count;
}

void Emulator::shortenNext(int slot, RequestKind kind, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot >= 0 && slot < kSlotCount) faults_[slot][static_cast<int>(kind)].shorten = count;
}

Fault Emulator::takeFault(int slot, RequestKind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kSlotCount) return Fault::None;
    FaultCounters& counters = faults_[slot][static_cast<int>(kind)];
    if (counters.fail > 0) {
        --counters.fail;
        return Fault::Fail;
    }
    if (counters.shorten > 0) {
        --counters.shorten;
        return kind == RequestKind::Open ? Fault::Fail : Fault::Short;
    }
    return Fault::None;
}

void Emulator::record(LogEntry entry) {
    std::lock_guard<std::mutex> lock(logMutex_);
    if (log_.size() >= kLogCapacity) log_.pop_front();
    log_.push_back(std::move(entry));
}

std::vector<LogEntry> Emulator::log() const {
    std::lock_guard<std::mutex> lock(logMutex_);
    return {log_.begin(), log_.end()};
}

void Emulator::clearLog() {
    std::lock_guard<std::mutex> lock(logMutex_);
    log_.clear();
}

std::optional<CameraState> Emulator::cameraState(int slot) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kSlotCount || !cameras_[slot]) return std::nullopt;
    return cameras_[slot]->state();
}

std::optional<std::uint16_t> Emulator::fpgaRegister(int slot, std::uint8_t address) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kSlotCount || !cameras_[slot]) return std::nullopt;
    return cameras_[slot]->fpgaRegister(address);
}

bool Emulator::setFpgaReading(int slot, std::uint8_t address, std::uint16_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (slot < 0 || slot >= kSlotCount || !cameras_[slot]) return false;
    cameras_[slot]->setFpgaReading(address, value);
    return true;
}

} // namespace orvix::emulator
