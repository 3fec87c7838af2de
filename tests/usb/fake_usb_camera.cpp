#include "usb/fake_usb_camera.h"

#include <sys/ioctl.h>
#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "device/driver_protocol.h"
#include "emulator/emulator.h"

namespace orvix::test::usb {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRouteCount = 3;
// How often a cancelled frame transfer is cancelled again until it has ended (the
// first cancel may come before the emulated camera began to wait).
constexpr auto kCancelRepeat = std::chrono::milliseconds(10);
// How long unplugging waits for the running transfers, which the emulated camera
// fails at once when unplugged.
constexpr auto kUnplugWait = std::chrono::seconds(5);

bool sameRequest(unsigned long request, unsigned long code) { return request == code; }

// The pointer-sized value an ioctl was called with.
gulong argumentValue(UMockdevIoctlData* arg) {
    gulong value = 0;
    if (arg && arg->data && arg->data_len >= static_cast<gint>(sizeof value)) std::memcpy(&value, arg->data, sizeof value);
    return value;
}

// The structure an ioctl's argument points to, resolved; null when the client gave
// no readable memory there.
GObjectPtr<UMockdevIoctlData> resolveArgument(UMockdevIoctlData* arg, std::size_t length) {
    GError* error = nullptr;
    GObjectPtr<UMockdevIoctlData> data = adoptObject(umockdev_ioctl_data_resolve(arg, 0, length, &error));
    (void)takeErrorMessage(error);
    return data;
}

template <typename T>
T readStruct(const GObjectPtr<UMockdevIoctlData>& data) {
    T value{};
    std::memcpy(&value, data->data, sizeof value);
    return value;
}

template <typename T>
void writeStruct(const GObjectPtr<UMockdevIoctlData>& data, const T& value) {
    std::memcpy(data->data, &value, sizeof value);
}

int routeIndex(std::uint8_t endpoint) {
    switch (endpoint) {
    case 0x01: return 0;
    case 0x82: return 1;
    case 0x83: return 2;
    default: return -1;
    }
}

} // namespace

const std::uint32_t FakeUsbCamera::kCapabilities =
    USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
    USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_DROP_PRIVILEGES |
    USBDEVFS_CAP_CONNINFO_EX | USBDEVFS_CAP_SUSPEND;

std::string usbdevfsRequestName(unsigned long request) {
    struct Name {
        unsigned long code;
        const char* name;
    };
    static const Name names[] = {
        {USBDEVFS_CONTROL, "CONTROL"},
        {USBDEVFS_BULK, "BULK"},
        {USBDEVFS_RESETEP, "RESETEP"},
        {USBDEVFS_SETINTERFACE, "SETINTERFACE"},
        {USBDEVFS_SETCONFIGURATION, "SETCONFIGURATION"},
        {USBDEVFS_GETDRIVER, "GETDRIVER"},
        {USBDEVFS_SUBMITURB, "SUBMITURB"},
        {USBDEVFS_DISCARDURB, "DISCARDURB"},
        {USBDEVFS_REAPURB, "REAPURB"},
        {USBDEVFS_REAPURBNDELAY, "REAPURBNDELAY"},
        {USBDEVFS_DISCSIGNAL, "DISCSIGNAL"},
        {USBDEVFS_CLAIMINTERFACE, "CLAIMINTERFACE"},
        {USBDEVFS_RELEASEINTERFACE, "RELEASEINTERFACE"},
        {USBDEVFS_CONNECTINFO, "CONNECTINFO"},
        {USBDEVFS_IOCTL, "IOCTL"},
        {USBDEVFS_HUB_PORTINFO, "HUB_PORTINFO"},
        {USBDEVFS_RESET, "RESET"},
        {USBDEVFS_CLEAR_HALT, "CLEAR_HALT"},
        {USBDEVFS_DISCONNECT, "DISCONNECT"},
        {USBDEVFS_CONNECT, "CONNECT"},
        {USBDEVFS_CLAIM_PORT, "CLAIM_PORT"},
        {USBDEVFS_RELEASE_PORT, "RELEASE_PORT"},
        {USBDEVFS_GET_CAPABILITIES, "GET_CAPABILITIES"},
        {USBDEVFS_DISCONNECT_CLAIM, "DISCONNECT_CLAIM"},
        {USBDEVFS_ALLOC_STREAMS, "ALLOC_STREAMS"},
        {USBDEVFS_FREE_STREAMS, "FREE_STREAMS"},
        {USBDEVFS_DROP_PRIVILEGES, "DROP_PRIVILEGES"},
        {USBDEVFS_GET_SPEED, "GET_SPEED"},
        {USBDEVFS_FORBID_SUSPEND, "FORBID_SUSPEND"},
        {USBDEVFS_ALLOW_SUSPEND, "ALLOW_SUSPEND"},
        {USBDEVFS_WAIT_FOR_RESUME, "WAIT_FOR_RESUME"},
    };
    for (const Name& name : names)
        if (name.code == request) return name.name;
    if (_IOC_TYPE(request) == 'U' && _IOC_NR(request) == 32) return "CONNINFO_EX";
    char text[32];
    std::snprintf(text, sizeof text, "ioctl 0x%lx", request);
    return text;
}

// ---- set-up and removal -----------------------------------------------------------------

FakeUsbCamera::FakeUsbCamera(UsbTestbed& testbed, const FakeCameraSetup& setup)
    : testbed_(testbed), setup_(setup), endpoints_(endpointsOf(setup.endpoints)),
      handler_(adoptObject(umockdev_ioctl_base_new())) {
    g_signal_connect(handler_.get(), "handle-ioctl", G_CALLBACK(&FakeUsbCamera::onIoctl), this);
    g_signal_connect(handler_.get(), "client-connected", G_CALLBACK(&FakeUsbCamera::onConnected), this);
    g_signal_connect(handler_.get(), "client-vanished", G_CALLBACK(&FakeUsbCamera::onVanished), this);

    if (setup.emulatorSlot >= 0) {
        const std::string path = "\\\\.\\OvixK62DT4-" + std::to_string(setup.emulatorSlot);
        std::unique_ptr<platform::DeviceChannel> channel = emulator::Emulator::instance().open(
            path.c_str(), protocol::kGenericWrite, protocol::kFileShareWrite, protocol::kOpenExisting);
        if (auto* file = dynamic_cast<emulator::EmulatedFile*>(channel.get())) {
            (void)channel.release();
            file_.reset(file);
        }
    }
    for (int route = 0; route < kRouteCount; ++route) workers_[route] = std::thread([this, route] { workerMain(route); });
    timer_ = std::thread([this] { timerMain(); });

    try {
        entry_ = testbed.addDevice(setup.bus, setup.ports, setup.vendor, setup.product,
                                   deviceDescriptors(setup.vendor, setup.product, endpoints_));
        std::string error;
        if (!testbed.attachIoctl(entry_.devnode, handler_.get(), &error))
            throw std::runtime_error("umockdev does not serve " + entry_.devnode + ": " + error);
    } catch (...) {
        stopThreads();
        throw;
    }
}

FakeUsbCamera::~FakeUsbCamera() {
    stopThreads();
    g_signal_handlers_disconnect_by_data(handler_.get(), this);
}

bool FakeUsbCamera::plugged() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return plugged_;
}

FakeDeviceStats FakeUsbCamera::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
}

bool FakeUsbCamera::unplug() {
    std::shared_ptr<emulator::EmulatedFile> file;
    Completions out;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!plugged_) return false;
        plugged_ = false;
        file = file_;
        for (auto& queue : queues_) {
            for (const UrbPtr& urb : queue) finishUrb(urb, -ENODEV, 0, out);
            queue.clear();
        }
    }
    deliver(out);
    // The running transfers end at once: the camera is gone.
    if (file) file->cancelFrameTransfers();
    if (setup_.emulatorSlot >= 0) (void)emulator::Emulator::instance().unplug(setup_.emulatorSlot);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, kUnplugWait, [this] {
            return std::none_of(running_.begin(), running_.end(), [](const UrbPtr& urb) { return urb != nullptr; });
        });
        // Whoever still waits for a URB gets what is left, then ENODEV.
        for (auto& [key, client] : clients_) serveReapers(key, out);
        for (Reaper& reaper : reapers_) out.push_back(Completion{std::move(reaper.client), -1, ENODEV, {}, {}});
        reapers_.clear();
        file_.reset(); // closes the emulated camera's file
    }
    deliver(out);
    stopThreads();
    testbed_.removeDevice(entry_);
    return true;
}

void FakeUsbCamera::shutDown() {
    (void)unplug();
    stopThreads();
}

void FakeUsbCamera::stopThreads() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_)
        if (worker.joinable()) worker.join();
    if (timer_.joinable()) timer_.join();
}

// ---- the handler's signals (umockdev's thread) -------------------------------------------------

gboolean FakeUsbCamera::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* camera = static_cast<FakeUsbCamera*>(self);
    Completions out;
    camera->serve(client, out);
    deliver(out);
    return TRUE;
}

void FakeUsbCamera::onConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* camera = static_cast<FakeUsbCamera*>(self);
    std::lock_guard<std::mutex> lock(camera->mutex_);
    (void)camera->clientOf(client);
    ++camera->stats_.opens;
}

void FakeUsbCamera::onVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* camera = static_cast<FakeUsbCamera*>(self);
    std::shared_ptr<emulator::EmulatedFile> file;
    bool cancelFrame = false;
    {
        std::lock_guard<std::mutex> lock(camera->mutex_);
        // The kernel kills a closed file's URBs and releases its claims. Running ones
        // end on their own; their results go nowhere.
        for (auto& queue : camera->queues_)
            queue.erase(std::remove_if(queue.begin(), queue.end(),
                                       [client](const UrbPtr& urb) { return urb->owner == client; }),
                        queue.end());
        for (const UrbPtr& urb : camera->running_)
            if (urb && urb->owner == client) {
                urb->cancelled = true;
                cancelFrame = cancelFrame || urb->route == Route::Frame;
            }
        camera->reapers_.erase(std::remove_if(camera->reapers_.begin(), camera->reapers_.end(),
                                              [client](const Reaper& r) { return r.client.get() == client; }),
                               camera->reapers_.end());
        if (camera->claimedBy_ == client) camera->claimedBy_ = nullptr;
        camera->clients_.erase(client);
        file = camera->file_;
    }
    if (cancelFrame && file) file->cancelFrameTransfers();
}

// ---- requests ------------------------------------------------------------------------------------

FakeUsbCamera::Client& FakeUsbCamera::clientOf(UMockdevIoctlClient* client) {
    auto found = clients_.find(client);
    if (found == clients_.end()) found = clients_.emplace(client, Client{retainObject(client), {}, {}}).first;
    return found->second;
}

void FakeUsbCamera::reply(UMockdevIoctlClient* client, long result, int error, Completions& out) {
    out.push_back(Completion{retainObject(client), result, error, {}, {}});
}

void FakeUsbCamera::replyIf(UMockdevIoctlClient* client, bool ok, int error, Completions& out) {
    reply(client, ok ? 0 : -1, ok ? 0 : error, out);
}

void FakeUsbCamera::unserved(UMockdevIoctlClient* client, const std::string& what, int error, Completions& out) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stats_.unserved.push_back(what);
    }
    std::fprintf(stderr, "fake USB camera %s: %s not served\n", entry_.devnode.c_str(), what.c_str());
    reply(client, -1, error, out);
}

const EndpointDescriptor* FakeUsbCamera::endpoint(std::uint8_t address) const {
    for (const EndpointDescriptor& e : endpoints_)
        if (e.address == address) return &e;
    return nullptr;
}

void FakeUsbCamera::serve(UMockdevIoctlClient* client, Completions& out) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);

    if (sameRequest(request, USBDEVFS_REAPURB) || sameRequest(request, USBDEVFS_REAPURBNDELAY))
        return reap(client, arg, sameRequest(request, USBDEVFS_REAPURB), out);
    if (!plugged()) return reply(client, -1, ENODEV, out); // everything else fails once unplugged

    if (sameRequest(request, USBDEVFS_SUBMITURB)) return submit(client, arg, out);
    if (sameRequest(request, USBDEVFS_DISCARDURB)) return discard(client, arg, out);
    if (sameRequest(request, USBDEVFS_GET_CAPABILITIES)) {
        auto caps = resolveArgument(arg, sizeof(std::uint32_t));
        if (!caps) return reply(client, -1, EFAULT, out);
        writeStruct(caps, kCapabilities);
        return reply(client, 0, 0, out);
    }
    if (sameRequest(request, USBDEVFS_CLAIMINTERFACE) || sameRequest(request, USBDEVFS_RELEASEINTERFACE)) {
        auto number = resolveArgument(arg, sizeof(unsigned));
        if (!number) return reply(client, -1, EFAULT, out);
        const auto interface = readStruct<unsigned>(number);
        return sameRequest(request, USBDEVFS_CLAIMINTERFACE) ? claim(client, interface, out)
                                                             : release(client, interface, out);
    }
    if (sameRequest(request, USBDEVFS_DISCONNECT_CLAIM)) {
        // No kernel driver is bound to the camera: this is a plain claim.
        auto data = resolveArgument(arg, sizeof(usbdevfs_disconnect_claim));
        if (!data) return reply(client, -1, EFAULT, out);
        return claim(client, readStruct<usbdevfs_disconnect_claim>(data).interface, out);
    }
    if (sameRequest(request, USBDEVFS_GETDRIVER)) return reply(client, -1, ENODATA, out);
    if (sameRequest(request, USBDEVFS_IOCTL)) {
        auto data = resolveArgument(arg, sizeof(usbdevfs_ioctl));
        if (!data) return reply(client, -1, EFAULT, out);
        const auto call = readStruct<usbdevfs_ioctl>(data);
        if (static_cast<unsigned long>(call.ioctl_code) == USBDEVFS_DISCONNECT)
            return reply(client, -1, ENODATA, out); // no driver to detach
        if (static_cast<unsigned long>(call.ioctl_code) == USBDEVFS_CONNECT)
            return reply(client, 0, 0, out); // no driver binds to the camera (libusb's re-attach after a release)
        return unserved(client, "IOCTL " + usbdevfsRequestName(static_cast<unsigned long>(call.ioctl_code)), ENOTTY,
                        out);
    }
    if (sameRequest(request, USBDEVFS_SETINTERFACE)) {
        auto data = resolveArgument(arg, sizeof(usbdevfs_setinterface));
        if (!data) return reply(client, -1, EFAULT, out);
        const auto setting = readStruct<usbdevfs_setinterface>(data);
        return replyIf(client, setting.interface == 0 && setting.altsetting == 0, EINVAL, out);
    }
    if (sameRequest(request, USBDEVFS_SETCONFIGURATION)) {
        auto data = resolveArgument(arg, sizeof(unsigned));
        if (!data) return reply(client, -1, EFAULT, out);
        return replyIf(client, readStruct<unsigned>(data) == 1, EINVAL, out);
    }
    if (sameRequest(request, USBDEVFS_CLEAR_HALT) || sameRequest(request, USBDEVFS_RESETEP)) {
        auto data = resolveArgument(arg, sizeof(unsigned));
        if (!data) return reply(client, -1, EFAULT, out);
        const auto address = readStruct<unsigned>(data);
        return replyIf(client, address <= 0xFF && endpoint(static_cast<std::uint8_t>(address)), ENOENT, out);
    }
    if (sameRequest(request, USBDEVFS_RESET)) return reply(client, 0, 0, out);
    if (sameRequest(request, USBDEVFS_GET_SPEED)) return reply(client, USB_SPEED_HIGH, 0, out);
    if (sameRequest(request, USBDEVFS_CONNECTINFO)) {
        auto data = resolveArgument(arg, sizeof(usbdevfs_connectinfo));
        if (!data) return reply(client, -1, EFAULT, out);
        usbdevfs_connectinfo info{};
        info.devnum = static_cast<unsigned>(entry_.deviceNumber);
        writeStruct(data, info);
        return reply(client, 0, 0, out);
    }
    if (_IOC_TYPE(request) == 'U' && _IOC_NR(request) == 32) { // CONNINFO_EX(size)
        usbdevfs_conninfo_ex info{};
        info.size = sizeof info;
        info.busnum = static_cast<std::uint32_t>(entry_.bus);
        info.devnum = static_cast<std::uint32_t>(entry_.deviceNumber);
        info.speed = USB_SPEED_HIGH;
        info.num_ports = static_cast<std::uint8_t>(std::min<std::size_t>(setup_.ports.size(), 7));
        for (std::size_t i = 0; i < info.num_ports; ++i) info.ports[i] = static_cast<std::uint8_t>(setup_.ports[i]);
        const std::size_t length = std::min<std::size_t>(_IOC_SIZE(request), sizeof info);
        auto data = resolveArgument(arg, length);
        if (!data) return reply(client, -1, EFAULT, out);
        std::memcpy(data->data, &info, length);
        return reply(client, 0, 0, out);
    }
    unserved(client, usbdevfsRequestName(request), ENOTTY, out);
}

void FakeUsbCamera::claim(UMockdevIoctlClient* client, unsigned interface, Completions& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (interface != 0) return reply(client, -1, ENOENT, out);
    if (claimedBy_ && claimedBy_ != client) return reply(client, -1, EBUSY, out);
    claimedBy_ = client;
    ++stats_.claims;
    reply(client, 0, 0, out);
}

void FakeUsbCamera::release(UMockdevIoctlClient* client, unsigned interface, Completions& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (interface != 0 || claimedBy_ != client) return reply(client, -1, EINVAL, out);
    claimedBy_ = nullptr;
    reply(client, 0, 0, out);
}

void FakeUsbCamera::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg, Completions& out) {
    auto urbData = resolveArgument(arg, sizeof(usbdevfs_urb));
    if (!urbData) return reply(client, -1, EFAULT, out);
    const auto header = readStruct<usbdevfs_urb>(urbData);
    const EndpointDescriptor* target = endpoint(header.endpoint);
    if (header.type != USBDEVFS_URB_TYPE_BULK && header.type != USBDEVFS_URB_TYPE_INTERRUPT)
        return unserved(client, "SUBMITURB of type " + std::to_string(header.type), EINVAL, out);
    if (!target) return reply(client, -1, ENOENT, out);
    const std::uint8_t wanted = header.type == USBDEVFS_URB_TYPE_BULK ? kTransferBulk : kTransferInterrupt;
    if (target->type != wanted || header.buffer_length < 0) return reply(client, -1, EINVAL, out);

    auto urb = std::make_shared<Urb>();
    urb->owner = client;
    urb->address = urbData->client_addr;
    urb->endpoint = header.endpoint;
    urb->length = static_cast<std::uint32_t>(header.buffer_length);
    urb->shortNotOk = (header.flags & USBDEVFS_URB_SHORT_NOT_OK) != 0;
    const int route = routeIndex(header.endpoint);
    urb->route = route < 0 ? Route::None : static_cast<Route>(route);
    if (urb->length > 0) {
        GError* error = nullptr;
        urb->buffer = adoptObject(
            umockdev_ioctl_data_resolve(urbData.get(), offsetof(usbdevfs_urb, buffer), urb->length, &error));
        if (!urb->buffer) {
            (void)takeErrorMessage(error);
            return reply(client, -1, EFAULT, out);
        }
    }
    urb->urb = std::move(urbData);

    std::lock_guard<std::mutex> lock(mutex_);
    if (claimedBy_ && claimedBy_ != client) return reply(client, -1, EBUSY, out);
    if (!claimedBy_) { // the kernel claims an unclaimed interface for the file that uses it
        claimedBy_ = client;
        ++stats_.implicitClaims;
    }
    ++stats_.submitted;
    clientOf(client).pending.push_back(urb);
    if (route < 0 || !file_) {
        finishUrb(urb, -EPROTO, 0, out); // nothing answers there
    } else {
        queues_[route].push_back(urb);
        changed_.notify_all();
    }
    reply(client, 0, 0, out);
}

void FakeUsbCamera::discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg, Completions& out) {
    const gulong address = argumentValue(arg);
    std::shared_ptr<emulator::EmulatedFile> cancelFrame;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Client& owner = clientOf(client);
        const auto found = std::find_if(owner.pending.begin(), owner.pending.end(),
                                        [address](const UrbPtr& urb) { return urb->address == address; });
        if (found == owner.pending.end()) return reply(client, -1, EINVAL, out); // done or never submitted
        const UrbPtr urb = *found;
        ++stats_.discarded;
        if (urb->state == State::Queued) {
            auto& queue = queues_[static_cast<int>(urb->route)];
            queue.erase(std::remove(queue.begin(), queue.end(), urb), queue.end());
            finishUrb(urb, -ENOENT, 0, out);
        } else {
            urb->cancelled = true; // the worker completes it with -ECONNRESET
            if (urb->route == Route::Frame) cancelFrame = file_;
            changed_.notify_all();
        }
        reply(client, 0, 0, out);
    }
    if (cancelFrame) cancelFrame->cancelFrameTransfers();
}

void FakeUsbCamera::reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg, bool blocking, Completions& out) {
    GObjectPtr<UMockdevIoctlData> slot = resolveArgument(arg, sizeof(void*));
    if (!slot) return reply(client, -1, EFAULT, out);
    std::lock_guard<std::mutex> lock(mutex_);
    Client& owner = clientOf(client);
    if (!owner.done.empty()) {
        UrbPtr urb = owner.done.front();
        owner.done.pop_front();
        out.push_back(Completion{retainObject(client), 0, 0, std::move(slot), std::move(urb)});
        return;
    }
    if (!plugged_ || stopping_) return reply(client, -1, ENODEV, out);
    reapers_.push_back(Reaper{retainObject(client), std::move(slot), blocking,
                              Clock::now() + std::chrono::milliseconds(kReapHoldMs)});
    changed_.notify_all();
}

// ---- completion ------------------------------------------------------------------------------------

void FakeUsbCamera::finishUrb(const UrbPtr& urb, int status, std::uint32_t actual, Completions& out) {
    urb->state = State::Done;
    urb->status = status;
    urb->actual = actual;
    auto found = clients_.find(urb->owner);
    if (found == clients_.end()) return; // the file was closed meanwhile
    Client& owner = found->second;
    owner.pending.erase(std::remove(owner.pending.begin(), owner.pending.end(), urb), owner.pending.end());
    owner.done.push_back(urb);
    serveReapers(urb->owner, out);
}

void FakeUsbCamera::serveReapers(UMockdevIoctlClient* client, Completions& out) {
    auto found = clients_.find(client);
    if (found == clients_.end()) return;
    Client& owner = found->second;
    for (auto reaper = reapers_.begin(); reaper != reapers_.end() && !owner.done.empty();) {
        if (reaper->client.get() != client) {
            ++reaper;
            continue;
        }
        UrbPtr urb = owner.done.front();
        owner.done.pop_front();
        out.push_back(Completion{std::move(reaper->client), 0, 0, std::move(reaper->slot), std::move(urb)});
        reaper = reapers_.erase(reaper);
    }
}

void FakeUsbCamera::deliver(Completions& completions) {
    for (Completion& completion : completions) {
        if (completion.urb) {
            Urb& urb = *completion.urb;
            if (urb.buffer && urb.actual > 0 && !urb.received.empty())
                std::memcpy(urb.buffer->data, urb.received.data(), urb.actual);
            auto* header = reinterpret_cast<usbdevfs_urb*>(urb.urb->data);
            header->status = urb.status;
            header->actual_length = static_cast<int>(urb.actual);
            header->error_count = 0;
            umockdev_ioctl_data_set_ptr(completion.slot.get(), 0, urb.urb.get());
        }
        umockdev_ioctl_client_complete(completion.client.get(), completion.result, completion.error);
    }
    completions.clear();
}

// ---- threads ---------------------------------------------------------------------------------------

void FakeUsbCamera::perform(Urb& urb, const std::shared_ptr<emulator::EmulatedFile>& file) {
    std::uint8_t pipeNumber[4] = {0, 0, 0, 0};
    std::uint32_t code = protocol::kPipeWrite;
    std::uint8_t* data = urb.buffer ? urb.buffer->data : nullptr;
    if ((urb.endpoint & 0x80) && urb.length > 0) {
        urb.received.assign(urb.length, 0);
        data = urb.received.data();
    }
    switch (urb.route) {
    case Route::Command:
        // The frame request goes as a read request, the form the ring transfer uses.
        if (data && urb.length > 0 && data[0] == protocol::kCmdFrameRequest) code = protocol::kPipeRead;
        break;
    case Route::Answer:
        code = protocol::kPipeRead;
        pipeNumber[0] = protocol::kResponsePipe;
        break;
    case Route::Frame:
        code = protocol::kFrameTransfer;
        pipeNumber[0] = protocol::kFramePipe;
        break;
    case Route::None:
        break;
    }
    std::uint32_t bytes = 0;
    const bool ok = file->ioControl(code, pipeNumber, sizeof pipeNumber, data, urb.length, &bytes);
    urb.actual = ok ? std::min(bytes, urb.length) : 0;
    urb.status = !ok ? -EPROTO : (urb.actual < urb.length && urb.shortNotOk && (urb.endpoint & 0x80)) ? -EREMOTEIO : 0;
}

void FakeUsbCamera::workerMain(int route) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [&] { return stopping_ || !queues_[route].empty(); });
        if (queues_[route].empty()) return; // stopping, nothing left
        UrbPtr urb = queues_[route].front();
        queues_[route].pop_front();
        urb->state = State::Running;
        running_[route] = urb;
        const std::shared_ptr<emulator::EmulatedFile> file = file_;
        const bool gone = !plugged_;
        lock.unlock();
        if (file && !gone) perform(*urb, file);
        lock.lock();
        running_[route].reset();
        int status = urb->status;
        std::uint32_t actual = urb->actual;
        if (!plugged_ || !file || gone) {
            status = -ENODEV;
            actual = 0;
        } else if (urb->cancelled) {
            status = -ECONNRESET;
        }
        Completions out;
        finishUrb(urb, status, actual, out);
        changed_.notify_all();
        lock.unlock();
        deliver(out);
        lock.lock();
    }
}

void FakeUsbCamera::timerMain() {
    std::unique_lock<std::mutex> lock(mutex_);
    auto nextCancel = Clock::now() + kCancelRepeat;
    while (!stopping_) {
        auto wake = nextCancel;
        for (const Reaper& reaper : reapers_)
            if (!reaper.blocking) wake = std::min(wake, reaper.deadline);
        changed_.wait_until(lock, wake);
        const auto now = Clock::now();
        Completions out;
        for (auto reaper = reapers_.begin(); reaper != reapers_.end();) {
            if (!reaper->blocking && reaper->deadline <= now) {
                out.push_back(Completion{std::move(reaper->client), -1, EAGAIN, {}, {}});
                reaper = reapers_.erase(reaper);
            } else {
                ++reaper;
            }
        }
        std::shared_ptr<emulator::EmulatedFile> cancelFrame;
        if (now >= nextCancel) {
            nextCancel = now + kCancelRepeat;
            const UrbPtr& frame = running_[static_cast<int>(Route::Frame)];
            if (frame && frame->cancelled) cancelFrame = file_;
        }
        lock.unlock();
        deliver(out);
        if (cancelFrame) cancelFrame->cancelFrameTransfers();
        lock.lock();
    }
}

} // namespace orvix::test::usb
