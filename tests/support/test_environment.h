#pragma once
// Shared test set-up: every test program keeps its settings away from the user's,
// and holds the library to the camera's contract.
//
// On Linux the settings file is pointed at a fresh temporary file for the whole
// program ($ORVIX_REGISTRY_FILE); on Windows the tests run in a throw-away Wine
// prefix, and resetSettings() deletes the library's registry key there.
//
// The emulated driver refuses every request the contract does not allow and reports
// it into the folder named by ORVIX_K62DT4_EMULATE_REJECTIONS, whichever emulator it
// was (the test program's own, the one inside the library, or one in a program the
// test started). The test main points that variable at a fresh folder and fails the
// program at exit when a report is left there: tests that make such requests on
// purpose take or clear them from their emulator (Emulator::takeRejections).

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

// Points the emulators of this program, and of the programs it starts, at a fresh
// folder for the requests they refuse. Called once by the test main, before the tests.
void watchEmulatorRejections();

// The reports of refused requests no test cleared, as the emulators wrote them; empty
// when there are none.
std::string unexpectedRejections();

// Called by the test main after the tests: prints the reports left, removes the folder
// and returns false when there were any.
bool finishRejectionWatch();

void setEnvironment(const std::string& name, const std::string& value);
void unsetEnvironment(const std::string& name);

} // namespace orvix::test
