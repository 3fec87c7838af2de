#pragma once
// Shared test set-up: every test program keeps its settings away from the user's.
//
// On Linux the settings file is pointed at a fresh temporary file for the whole
// program ($ORVIX_REGISTRY_FILE); on Windows the tests run in a throw-away Wine
// prefix, and resetSettings() deletes the library's registry key there.

#include <string>

namespace orvix::test {

// Points the settings store at a new temporary file (Linux) unless the caller
// already chose one. Called once by the test main.
void isolateSettings();

// Path of the settings file in use (Linux); empty on Windows.
std::string settingsFilePath();

// Removes every stored setting of the library, so a test starts from an empty store.
void resetSettings();

// A fresh, unique path in the temporary folder (nothing is created there).
std::string temporaryPath(const std::string& stem);

void setEnvironment(const std::string& name, const std::string& value);
void unsetEnvironment(const std::string& name);

} // namespace orvix::test
