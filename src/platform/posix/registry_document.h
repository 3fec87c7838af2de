#pragma once
// In-memory form of a settings file in the registry's .reg export text format, with
// the registry's rules for keys and values. Pure text processing: no system calls.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Quelm\OrvixK62DT4Sdk]
//   "Color"=dword:00000002
//
// Only REG_DWORD values below HKEY_CURRENT_USER are read and written. Everything else
// that is well formed (comments, blank lines, strings, hex:... values with `\` line
// continuations, value deletions, sections of other roots) is kept verbatim and
// written back unchanged. Lines that are not well formed are skipped: the rest of
// the section they appear in is skipped too (up to the next valid section header),
// so no value is ever attributed to the wrong key, and the document is marked
// incomplete. A last line without a line end may be cut short; it is accepted only
// where a cut cannot change its meaning.
//
// Input is 8-bit text (an UTF-8 byte order mark is skipped) or UTF-16LE with a byte
// order mark, as regedit writes by default; output is always 8-bit text with the line
// ends of the input (LF for a new file).
//
// Key and value names compare case-insensitively (ASCII letters), as in the registry.
//
// A Document keeps an index of its keys and values, so looking up a key or a value
// costs a hash lookup, whatever the size of the file; every change brings the index
// up to date. A Document that is not changed may be read from several threads.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvix::platform::regfile {

// Key names below HKEY_CURRENT_USER, outermost first.
using KeyPath = std::vector<std::string>;

// Longest key name the registry accepts.
inline constexpr std::size_t kMaxKeyNameLength = 255;

// Splits a backslash-separated key path ("Software\\Quelm") into its names. The empty
// path names HKEY_CURRENT_USER itself. False for empty or over-long names and names
// with control characters (they cannot be stored in the text format).
bool splitKeyPath(std::string_view path, KeyPath& names);

// True for a value name the text format can hold (no control characters but tab).
// The empty name is the key's default value ("@" in the file).
bool isStorableValueName(std::string_view name);

// True when the two names are equal, ignoring the case of ASCII letters.
bool namesEqual(std::string_view a, std::string_view b);

class Document {
public:
    // Reads as much of `bytes` as is valid; never fails.
    static Document parse(std::string_view bytes);
    // The whole file; always ends with a line end.
    std::string serialize() const;

    // False when some of the input was not understood and was skipped.
    bool complete() const { return complete_; }

    // A key exists when it has a section of its own or a key below it has one.
    bool keyExists(const KeyPath& key) const;
    // Creates the key unless it exists; true when the document changed.
    bool createKey(const KeyPath& key);

    // The DWORD value `name` of `key`; empty when the key or value is missing or the
    // value has another type. The last definition of a value wins, as on import.
    std::optional<std::uint32_t> queryDword(const KeyPath& key, std::string_view name) const;
    // Sets a DWORD value (replacing a value of another type), creating the key when
    // needed. True when the document changed.
    bool setDword(const KeyPath& key, std::string_view name, std::uint32_t value);

    // Every DWORD value a query finds, in the order of the file (the key spelt as in
    // the section holding the value).
    struct DwordValue {
        KeyPath key;
        std::string name;
        std::uint32_t value = 0;
    };
    std::vector<DwordValue> dwordValues() const;

    // How a value line was understood.
    enum class EntryKind {
        Trivia,      // blank line or comment
        Dword,       // dword:xxxxxxxx or hex(4) of four bytes
        OtherValue,  // any other well-formed value (kept verbatim)
        Deletion,    // "Name"=- : the value does not exist
    };

    struct Entry {
        EntryKind kind = EntryKind::Trivia;
        std::string name; // value name without quotes or escapes
        std::uint32_t dword = 0;
        std::vector<std::string> lines; // the text as read, without line ends
    };

    struct Section {
        std::string header;       // the header line as read
        bool currentUser = false; // below HKEY_CURRENT_USER (otherwise kept verbatim only)
        KeyPath path;
        std::vector<Entry> entries;
    };

private:
    // Where a value's last definition is.
    struct EntryPosition {
        std::size_t section = 0;
        std::size_t entry = 0;
    };
    // What the index knows of one key: its sections (none for a key that exists only
    // because a key below it has a section) and its values by lower-case name.
    struct KeyEntry {
        std::vector<std::size_t> sections;
        std::unordered_map<std::string, EntryPosition> values;
    };

    void rebuildIndex();
    const KeyEntry* findKey(const KeyPath& key) const;
    Entry* findValue(const KeyPath& key, std::string_view name);
    const Entry* findValue(const KeyPath& key, std::string_view name) const;
    Section& addSection(const KeyPath& key);
    std::size_t newSectionPosition(const KeyPath& key) const;

    std::vector<std::string> prologue_; // lines before the first section
    bool hasFileHeader_ = false;
    std::vector<Section> sections_;
    bool complete_ = true;
    bool crlf_ = false;
    // By the lower-case key path, names joined with backslashes.
    std::unordered_map<std::string, KeyEntry> index_;
    friend class Parser;
};

} // namespace orvix::platform::regfile
