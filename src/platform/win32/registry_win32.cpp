// The settings store on Windows: the registry under HKEY_CURRENT_USER. The registry
// serialises writers itself and never blocks a caller on another process, so there is
// no lock and no file to check here.

#include "platform/registry.h"

#include <windows.h>

namespace orvix::platform {

// Owns one open HKEY.
struct RegistryKey::Impl {
    HKEY key = nullptr;
    bool writable = false; // opened by a create call
    Impl(HKEY opened, bool forWriting) : key(opened), writable(forWriting) {}
    ~Impl() { RegCloseKey(key); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;
RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

namespace {

std::unique_ptr<RegistryKey::Impl> openKey(HKEY parent, const std::string& path) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<RegistryKey::Impl>(opened, false);
}

std::unique_ptr<RegistryKey::Impl> createKey(HKEY parent, const std::string& path) {
    HKEY created = nullptr;
    char emptyClass[] = "";
    if (RegCreateKeyExA(parent, path.c_str(), 0, emptyClass, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<RegistryKey::Impl>(created, true);
}

} // namespace

RegistryKey RegistryKey::openCurrentUser(const std::string& path) {
    return RegistryKey(openKey(HKEY_CURRENT_USER, path));
}

RegistryKey RegistryKey::createCurrentUser(const std::string& path) {
    return RegistryKey(createKey(HKEY_CURRENT_USER, path));
}

RegistryKey RegistryKey::openSubkey(const std::string& name) const {
    if (!impl_) return {};
    return RegistryKey(openKey(impl_->key, name));
}

RegistryKey RegistryKey::createSubkey(const std::string& name) const {
    if (!impl_) return {};
    return RegistryKey(createKey(impl_->key, name));
}

bool RegistryKey::isOpen() const { return impl_ != nullptr; }
void RegistryKey::close() { impl_.reset(); }

bool RegistryKey::queryDword(const std::string& name, std::uint32_t& value) const {
    if (!impl_) return false;
    DWORD type = 0;
    DWORD stored = 0;
    DWORD size = sizeof stored;
    if (RegQueryValueExA(impl_->key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof stored) {
        return false;
    }
    value = stored;
    return true;
}

bool RegistryKey::setDword(const std::string& name, std::uint32_t value) {
    if (!impl_ || !impl_->writable) return false;
    // As with the settings file elsewhere: a value that holds already is not written.
    std::uint32_t current = 0;
    if (queryDword(name, current) && current == value) return true;
    const DWORD stored = value;
    return RegSetValueExA(impl_->key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                          sizeof stored) == ERROR_SUCCESS;
}

} // namespace orvix::platform
