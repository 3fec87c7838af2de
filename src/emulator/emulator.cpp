#include "emulator/emulator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/no_destructor.h"
#include "device/driver_protocol.h"

namespace orvix::emulator {

namespace {

std::shared_ptr<SromContents> powerOnRom(int slot) {
    auto rom = std::make_shared<SromContents>();
    const char id[] = "K62DT4";
    std::memcpy(rom->data(), id, 6);
    (*rom)[6] = static_cast<std::uint8_t>(slot);
    return rom;
}

} // namespace

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
    LogEntry entry;
    entry.slot = slot_;
    entry.code = code;
    entry.length = outputLength;
    auto* out = static_cast<std::uint8_t*>(output);
    std::uint32_t bytes = 0;
    bool ok = false;

    Refusal refusal = routeRequest(code, input, inputLength, output, outputLength, &entry.kind, &entry.pipe);
    if (refusal.refused()) {
        ok = refuse(entry, std::move(refusal));
    } else {
        switch (entry.kind) {
        case RequestKind::Command:
            ok = command(entry, out, code == protocol::kPipeRead, &bytes);
            break;
        case RequestKind::AnswerRead:
            ok = readAnswer(entry, out, outputLength, &bytes);
            break;
        case RequestKind::FrameTransfer:
            ok = readFrame(entry, out, outputLength, &bytes);
            break;
        default:
            ok = setTimeout(entry, input, inputLength);
            break;
        }
    }
    if (!ok) bytes = 0;
    entry.succeeded = ok;
    entry.bytesReturned = bytes;
    if (entry.kind == RequestKind::Rejected)
        emulator_.recordRejection(std::move(entry));
    else
        emulator_.record(std::move(entry));
    if (bytesReturned) *bytesReturned = bytes;
    return ok;
}

void EmulatedFile::cancelFrameTransfers() { camera_->cancelFrameTransfers(); }

bool EmulatedFile::refuse(LogEntry& entry, Refusal refusal) {
    entry.kind = RequestKind::Rejected;
    entry.rejection = refusal.kind;
    entry.reason = std::move(refusal.reason);
    return false;
}

bool EmulatedFile::command(LogEntry& entry, std::uint8_t* packet, bool throughReadCode, std::uint32_t* bytes) {
    Packet copy;
    std::memcpy(copy.data(), packet, copy.size());
    entry.byteCount = protocol::kPacketLength;
    std::memcpy(entry.bytes.data(), copy.data(), copy.size());
    Refusal refusal = checkCommandPacket(copy, throughReadCode);
    if (refusal.refused()) return refuse(entry, std::move(refusal));
    const Fault fault = emulator_.takeFault(slot_, RequestKind::Command);
    if (fault == Fault::Short) { // a partial packet: the camera discards it
        *bytes = protocol::kPacketLength / 2;
        return true;
    }
    return fault == Fault::None && camera_->command(copy, bytes);
}

bool EmulatedFile::readAnswer(LogEntry& entry, std::uint8_t* out, std::uint32_t length, std::uint32_t* bytes) {
    const Fault fault = emulator_.takeFault(slot_, RequestKind::AnswerRead);
    if (!camera_->readAnswer(out, length, fault, bytes)) return false;
    entry.byteCount = std::min<std::uint32_t>(*bytes, protocol::kPacketLength);
    std::memcpy(entry.bytes.data(), out, entry.byteCount);
    return true;
}

bool EmulatedFile::readFrame(LogEntry& entry, std::uint8_t* out, std::uint32_t length, std::uint32_t* bytes) {
    Refusal refusal = camera_->checkFrameTransfer(length);
    if (refusal.refused()) return refuse(entry, std::move(refusal));
    return camera_->readFrame(out, length, emulator_.takeFault(slot_, RequestKind::FrameTransfer), bytes);
}

bool EmulatedFile::setTimeout(LogEntry& entry, const void* input, std::uint32_t length) {
    entry.byteCount = std::min<std::uint32_t>(length, protocol::kPacketLength);
    std::memcpy(entry.bytes.data(), input, entry.byteCount);
    const Fault fault = emulator_.takeFault(slot_, RequestKind::SetTimeout);
    return fault == Fault::None && camera_->setTransferTimeout(static_cast<const std::uint8_t*>(input));
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
    return active_ && serving_;
}

void Emulator::serveDeviceFiles(bool serve) {
    std::lock_guard<std::mutex> lock(mutex_);
    serving_ = serve;
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
    serving_ = true;
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

    Refusal refusal = checkOpen(path, access, shareMode, disposition);
    if (refusal.refused()) {
        entry.kind = RequestKind::Rejected;
        entry.rejection = refusal.kind;
        entry.reason = std::move(refusal.reason);
        recordRejection(std::move(entry));
        return nullptr;
    }
    std::shared_ptr<EmulatedCamera> camera;
    if (takeFault(entry.slot, RequestKind::Open) == Fault::None) {
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

void Emulator::recordRejection(LogEntry entry) {
    {
        std::lock_guard<std::mutex> lock(rejectionMutex_);
        ++rejectionCount_;
        if (rejections_.size() < kLogCapacity) rejections_.push_back(entry);
        report_.update(rejectionCount_, rejections_);
    }
    record(std::move(entry));
}

std::vector<LogEntry> Emulator::rejections() const {
    std::lock_guard<std::mutex> lock(rejectionMutex_);
    return {rejections_.begin(), rejections_.end()};
}

std::size_t Emulator::rejectionCount() const {
    std::lock_guard<std::mutex> lock(rejectionMutex_);
    return rejectionCount_;
}

std::vector<LogEntry> Emulator::takeRejections() {
    std::lock_guard<std::mutex> lock(rejectionMutex_);
    std::vector<LogEntry> taken(rejections_.begin(), rejections_.end());
    rejections_.clear();
    rejectionCount_ = 0;
    report_.update(0, rejections_);
    return taken;
}

void Emulator::clearRejections() { (void)takeRejections(); }

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
