#pragma once
// The Win32 resource script of the dialog templates, written from the description:
// every template in English (LANGUAGE 0x409) and Japanese (0x411) as a DIALOGEX with
// the "MS Shell Dlg" 8-point font and one CONTROL statement per control. The
// committed resources/dialogs.rc is this text.

#include <string>

namespace orvix::dialogs {

std::string resourceScript();

} // namespace orvix::dialogs
