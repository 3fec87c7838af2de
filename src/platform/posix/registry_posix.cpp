// The settings store on Linux: keys and values in the settings file.

#include "platform/registry.h"

#include "platform/posix/registry_file.h"

namespace orvix::platform {

using regfile::Document;
using regfile::KeyPath;

// An open key remembers the file it belongs to and its path; every query reads the
// file as it is now (parsed once per version), every change goes through an update
// that locks only when the file does not hold the change yet.
struct RegistryKey::Impl {
    std::string file;
    KeyPath path;
    bool writable = false;
};

namespace {

bool appendPath(KeyPath& path, const std::string& names) {
    KeyPath more;
    if (!regfile::splitKeyPath(names, more)) return false;
    path.insert(path.end(), more.begin(), more.end());
    return true;
}

} // namespace

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;
RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

namespace {

std::unique_ptr<RegistryKey::Impl> openKey(const std::string& file, KeyPath path) {
    const auto document = regfile::load(file);
    if (!document || !document->keyExists(path)) return nullptr;
    return std::make_unique<RegistryKey::Impl>(RegistryKey::Impl{file, std::move(path), false});
}

std::unique_ptr<RegistryKey::Impl> createKey(const std::string& file, KeyPath path) {
    const regfile::Change change{[&](const Document& document) { return document.keyExists(path); },
                                 [&](Document& document) { return document.createKey(path); }};
    if (!regfile::update(file, change)) return nullptr;
    return std::make_unique<RegistryKey::Impl>(RegistryKey::Impl{file, std::move(path), true});
}

} // namespace

RegistryKey RegistryKey::openCurrentUser(const std::string& path) {
    KeyPath names;
    if (!regfile::splitKeyPath(path, names)) return {};
    return RegistryKey(openKey(regfile::settingsFilePath(), std::move(names)));
}

RegistryKey RegistryKey::createCurrentUser(const std::string& path) {
    KeyPath names;
    if (!regfile::splitKeyPath(path, names)) return {};
    return RegistryKey(createKey(regfile::settingsFilePath(), std::move(names)));
}

RegistryKey RegistryKey::openSubkey(const std::string& name) const {
    if (!impl_) return {};
    KeyPath path = impl_->path;
    if (!appendPath(path, name)) return {};
    return RegistryKey(openKey(impl_->file, std::move(path)));
}

RegistryKey RegistryKey::createSubkey(const std::string& name) const {
    if (!impl_) return {};
    KeyPath path = impl_->path;
    if (!appendPath(path, name)) return {};
    return RegistryKey(createKey(impl_->file, std::move(path)));
}

bool RegistryKey::isOpen() const { return impl_ != nullptr; }
void RegistryKey::close() { impl_.reset(); }

bool RegistryKey::queryDword(const std::string& name, std::uint32_t& value) const {
    if (!impl_ || !regfile::isStorableValueName(name)) return false;
    const auto document = regfile::load(impl_->file);
    if (!document) return false;
    const auto stored = document->queryDword(impl_->path, name);
    if (!stored) return false;
    value = *stored;
    return true;
}

bool RegistryKey::setDword(const std::string& name, std::uint32_t value) {
    if (!impl_ || !impl_->writable || !regfile::isStorableValueName(name)) return false;
    // A key removed from the file by hand since it was opened is created again.
    const regfile::Change change{
        [&](const Document& document) { return document.queryDword(impl_->path, name) == value; },
        [&](Document& document) { return document.setDword(impl_->path, name, value); }};
    return regfile::update(impl_->file, change);
}

} // namespace orvix::platform
