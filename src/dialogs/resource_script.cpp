// Writing the resource script from the template description.

#include "dialogs/resource_script.h"

#include <cstdio>

#include "dialog_templates.h"

namespace orvix::dialogs {

namespace {

// A string literal of the script: quotes doubled, UTF-8 kept (code page 65001).
std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '"') out += '"';
        out += *p;
    }
    return out + "\"";
}

std::string hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
    return buffer;
}

void writeDialog(std::string& out, const DialogTemplate& dialog, Language language) {
    char line[160];
    std::snprintf(line, sizeof line, "%d DIALOGEX 0, 0, %d, %d\n", dialog.resource(language),
                  dialog.widthIn(language), dialog.height);
    out += line;
    out += "STYLE " + hex(win32DialogStyle(dialog)) + "\n";
    if (!dialog.child) out += "CAPTION " + quoted(dialog.title(language)) + "\n";
    out += "FONT 8, \"MS Shell Dlg\", 0, 0, 0x1\nBEGIN\n";
    ControlKind previous = ControlKind::Label;
    for (std::size_t i = 0; i < dialog.controlCount; ++i) {
        const ControlTemplate& c = dialog.controls[i];
        const bool startsGroup = !(c.kind == ControlKind::RadioButton && previous == ControlKind::RadioButton);
        std::snprintf(line, sizeof line, ", %d, \"%s\", %s, %d, %d, %d, %d\n", c.id, win32ClassOf(c.kind),
                      hex(win32StyleOf(c.kind, startsGroup)).c_str(), c.x, c.y, c.width, c.height);
        out += "    CONTROL " + quoted(c.text(language)) + line;
        previous = c.kind;
    }
    out += "END\n\n";
}

} // namespace

std::string resourceScript() {
    std::string out =
        "// Dialog templates of the library, English and Japanese. Written from\n"
        "// resources/dialog_templates.h; a test keeps the two equal.\n"
        "#pragma code_page(65001)\n\n";
    for (const Language language : {Language::English, Language::Japanese}) {
        out += language == Language::English ? "LANGUAGE 0x09, 0x01\n\n" : "LANGUAGE 0x11, 0x01\n\n";
        for (const DialogTemplate& dialog : templates::kDialogs) writeDialog(out, dialog, language);
    }
    return out;
}

} // namespace orvix::dialogs
