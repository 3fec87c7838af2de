#pragma once
// Per-user settings store with the registry's key/value model, DWORD values only.
//
// Windows: the registry under HKEY_CURRENT_USER (RegOpenKeyExA with KEY_READ,
// RegCreateKeyExA with KEY_ALL_ACCESS, RegQueryValueExA, RegSetValueExA).
// Linux: a text file in the registry's .reg export format at $ORVIX_REGISTRY_FILE,
// else $XDG_CONFIG_HOME/quelm/OrvixK62DT4Sdk.reg (~/.config when unset). Every change
// rewrites the file through a temporary file renamed over it, under an exclusive
// lock, so concurrent writers lose nothing and a crash leaves the previous file. A
// file that cannot be fully parsed is read as far as it is valid and is copied to a
// backup before it is first rewritten.
//
// Paths use backslashes like registry paths ("Software\\Quelm\\OrvixK62DT4Sdk").
// Key and value names compare case-insensitively, as in the registry.

#include <cstdint>
#include <memory>
#include <string>

namespace orvix::platform {

// The library's key below HKEY_CURRENT_USER: capture formats, stream settings,
// per-camera gains and filter values all live under it.
inline constexpr char kSettingsKeyPath[] = "Software\\Quelm\\OrvixK62DT4Sdk";

class RegistryKey {
public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(RegistryKey&&) noexcept;
    RegistryKey& operator=(RegistryKey&&) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens an existing key below HKEY_CURRENT_USER for reading.
    static RegistryKey openCurrentUser(const std::string& path);
    // Creates (or opens) a key below HKEY_CURRENT_USER for reading and writing.
    static RegistryKey createCurrentUser(const std::string& path);

    // A key below this one (`name` may hold several levels, separated by
    // backslashes); open for reading, or created (with the keys between) for writing.
    // A closed key opens nothing.
    RegistryKey openSubkey(const std::string& name) const;
    RegistryKey createSubkey(const std::string& name) const;

    bool isOpen() const;
    explicit operator bool() const { return isOpen(); }
    void close();

    // Reads a REG_DWORD value; false (value untouched) when missing or not a DWORD.
    bool queryDword(const std::string& name, std::uint32_t& value) const;
    // Reads a REG_DWORD value into a signed 32-bit field.
    bool queryInt(const std::string& name, std::int32_t& value) const;
    // Writes a REG_DWORD value; needs a key opened by a create call.
    bool setDword(const std::string& name, std::uint32_t value);
    bool setInt(const std::string& name, std::int32_t value) {
        return setDword(name, static_cast<std::uint32_t>(value));
    }

    struct Impl;

private:
    explicit RegistryKey(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orvix::platform
