#include "platform/posix/registry_document.h"

#include <array>

namespace orvix::platform::regfile {

namespace {

constexpr std::string_view kFileHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldFileHeader = "REGEDIT4";
constexpr std::string_view kCurrentUserRoot = "HKEY_CURRENT_USER";
// Roots whose sections are well formed but not ours: kept verbatim.
constexpr std::array<std::string_view, 7> kOtherRoots = {
    "HKEY_LOCAL_MACHINE",  "HKEY_CLASSES_ROOT",     "HKEY_USERS",          "HKEY_CURRENT_CONFIG",
    "HKEY_DYN_DATA",       "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_USER_LOCAL_SETTINGS"};

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    return s;
}
std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}
std::string_view trim(std::string_view s) { return trimRight(trimLeft(s)); }

bool hasControlCharacters(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return true;
    }
    return false;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = asciiLower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool startsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && namesEqual(s.substr(0, prefix.size()), prefix);
}

bool isBlankLine(const Document::Entry& entry) {
    return entry.kind == Document::EntryKind::Trivia && entry.lines.size() == 1 &&
           trim(entry.lines.front()).empty();
}

bool pathHasPrefix(const KeyPath& path, const KeyPath& prefix, std::size_t prefixLength) {
    if (path.size() < prefixLength) return false;
    for (std::size_t i = 0; i < prefixLength; ++i) {
        if (!namesEqual(path[i], prefix[i])) return false;
    }
    return true;
}

std::string lowerCase(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = asciiLower(c);
    return lower;
}

// The index's name of the first `length` names of a path.
std::string indexKey(const KeyPath& path, std::size_t length) {
    std::string key;
    for (std::size_t i = 0; i < length; ++i) {
        if (i) key += '\\';
        key += lowerCase(path[i]);
    }
    return key;
}

void appendUtf8(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// UTF-16LE to UTF-8. Unpaired surrogates and an odd trailing byte become U+FFFD and
// clear `clean`.
std::string decodeUtf16le(std::string_view bytes, bool& clean) {
    constexpr std::uint32_t kReplacement = 0xFFFD;
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * i])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8);
    };
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 &&
            unitAt(i + 1) <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(out, kReplacement);
            clean = false;
        } else {
            appendUtf8(out, unit);
        }
    }
    if (bytes.size() % 2 != 0) {
        appendUtf8(out, kReplacement);
        clean = false;
    }
    return out;
}

std::string escapeName(std::string_view name) {
    std::string out;
    out.reserve(name.size() + 2);
    for (char c : name) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::string formatDwordLine(std::string_view name, std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string line = name.empty() ? std::string("@") : "\"" + escapeName(name) + "\"";
    line += "=dword:";
    for (int shift = 28; shift >= 0; shift -= 4) line += kDigits[(value >> shift) & 0xF];
    return line;
}

// Reads one value line (after line continuations are joined) left to right.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    std::string_view rest() const { return text_.substr(pos_); }
    void skipBlanks() {
        while (!atEnd() && isBlank(text_[pos_])) ++pos_;
    }
    bool take(char c) {
        if (peek() != c || atEnd()) return false;
        ++pos_;
        return true;
    }
    bool takeWord(std::string_view word) {
        if (!startsWithIgnoringCase(rest(), word)) return false;
        pos_ += word.size();
        return true;
    }
    // Up to `maxDigits` hex digits (at least one); false when there are more.
    bool takeHexNumber(std::size_t maxDigits, std::uint32_t& value, std::size_t& digits) {
        value = 0;
        digits = 0;
        while (!atEnd() && hexDigitValue(text_[pos_]) >= 0) {
            if (++digits > maxDigits) return false;
            value = (value << 4) | static_cast<std::uint32_t>(hexDigitValue(text_[pos_]));
            ++pos_;
        }
        return digits > 0;
    }
    // A double-quoted string with backslash escapes; the unescaped text goes to `out`.
    bool takeQuoted(std::string* out) {
        if (!take('"')) return false;
        while (!atEnd()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (c == '\\') {
                if (atEnd()) return false;
                c = text_[pos_++];
            }
            if (out) *out += c;
        }
        return false;
    }
    // Only blanks remain (or a comment, where `commentAllowed`).
    bool finished(bool commentAllowed = false) {
        skipBlanks();
        return atEnd() || (commentAllowed && peek() == ';');
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Value name and '='; false when the line does not start like a value line.
bool readValueName(Cursor& cursor, std::string& name) {
    if (cursor.take('@')) {
        name.clear();
    } else if (!cursor.takeQuoted(&name)) {
        return false;
    }
    cursor.skipBlanks();
    if (!cursor.take('=')) return false;
    cursor.skipBlanks();
    return true;
}

struct ValueData {
    Document::EntryKind kind = Document::EntryKind::OtherValue;
    std::uint32_t dword = 0;
    // A value on a last line without a line end: true when a cut could not have
    // produced it from a longer line.
    bool safeIfCut = false;
};

bool readHexData(Cursor& cursor, ValueData& data) {
    std::uint32_t type = 3; // REG_BINARY when no type is given
    std::size_t digits = 0;
    if (cursor.take('(')) {
        if (!cursor.takeHexNumber(8, type, digits) || !cursor.take(')')) return false;
    }
    if (!cursor.take(':')) return false;
    std::size_t count = 0;
    std::uint32_t littleEndian = 0;
    cursor.skipBlanks();
    while (!cursor.atEnd()) {
        std::uint32_t byte = 0;
        if (!cursor.takeHexNumber(2, byte, digits) || digits != 2) return false;
        if (count < 4) littleEndian |= byte << (8 * count);
        ++count;
        cursor.skipBlanks();
        if (cursor.atEnd()) break;
        if (!cursor.take(',')) return false;
        cursor.skipBlanks();
        if (cursor.atEnd()) return false; // a trailing comma
    }
    if (type == 4 && count == 4) { // REG_DWORD written as bytes
        data.kind = Document::EntryKind::Dword;
        data.dword = littleEndian;
    }
    return true;
}

// The text after '='.
bool readValueData(std::string_view text, ValueData& data) {
    Cursor cursor(text);
    if (cursor.take('-')) {
        data.kind = Document::EntryKind::Deletion;
        data.safeIfCut = true;
        return cursor.finished();
    }
    if (cursor.peek() == '"') {
        data.safeIfCut = true;
        return cursor.takeQuoted(nullptr) && cursor.finished();
    }
    if (cursor.takeWord("dword:")) {
        std::size_t digits = 0;
        if (!cursor.takeHexNumber(8, data.dword, digits)) return false;
        data.kind = Document::EntryKind::Dword;
        data.safeIfCut = digits == 8;
        return cursor.finished(true);
    }
    if (cursor.takeWord("hex")) return readHexData(cursor, data);
    return false;
}

} // namespace

bool namesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

bool splitKeyPath(std::string_view path, KeyPath& names) {
    names.clear();
    if (path.empty()) return true;
    KeyPath parts;
    while (true) {
        const std::size_t end = path.find('\\');
        const std::string_view name = path.substr(0, end);
        if (name.empty() || name.size() > kMaxKeyNameLength || hasControlCharacters(name)) return false;
        parts.emplace_back(name);
        if (end == std::string_view::npos) break;
        path.remove_prefix(end + 1);
    }
    names = std::move(parts);
    return true;
}

bool isStorableValueName(std::string_view name) { return !hasControlCharacters(name); }

// Turns the text into a Document line by line (see the header for the rules).
class Parser {
public:
    explicit Parser(std::string_view bytes) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
            bool clean = true;
            decoded_ = decodeUtf16le(bytes.substr(2), clean);
            text_ = decoded_;
            if (!clean) doc_.complete_ = false;
        } else if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
            text_ = bytes.substr(3);
        } else {
            text_ = bytes;
        }
        splitLines();
    }

    Document run() {
        for (std::size_t i = 0; i < lines_.size();) i = handleLine(i);
        doc_.rebuildIndex();
        return std::move(doc_);
    }

private:
    void splitLines() {
        std::string_view rest = text_;
        bool first = true;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            if (end == std::string_view::npos) {
                lastLineTerminated_ = false;
                rest = {};
            } else {
                rest.remove_prefix(end + 1);
            }
            const bool hadCr = end != std::string_view::npos && !line.empty() && line.back() == '\r';
            if (hadCr) line.remove_suffix(1);
            if (first && end != std::string_view::npos) doc_.crlf_ = hadCr;
            first = false;
            lines_.push_back(line);
        }
    }

    bool isCut(std::size_t index) const { return index + 1 == lines_.size() && !lastLineTerminated_; }
    bool inSection() const { return !doc_.sections_.empty(); }

    // Something not understood: skipped, and nothing more is read into the current
    // section, since the skipped line may have been the header of another key.
    void skipInvalid() {
        doc_.complete_ = false;
        skippingSection_ = inSection();
    }

    void keepTrivia(std::string_view line) {
        if (!inSection()) {
            doc_.prologue_.emplace_back(line);
            return;
        }
        Document::Entry entry;
        entry.lines.emplace_back(line);
        doc_.sections_.back().entries.push_back(std::move(entry));
    }

    std::size_t handleLine(std::size_t index) {
        const std::string_view line = lines_[index];
        const std::string_view text = trim(line);
        if (hasControlCharacters(line)) {
            skipInvalid();
        } else if (text.empty() || text.front() == ';') {
            keepTrivia(line);
        } else if (text.front() == '[') {
            handleSectionHeader(line, text);
        } else if (!inSection() && (text == kFileHeader || text == kOldFileHeader)) {
            doc_.prologue_.emplace_back(line);
            doc_.hasFileHeader_ = true;
        } else {
            return handleValue(index);
        }
        return index + 1;
    }

    void handleSectionHeader(std::string_view line, std::string_view text) {
        if (text.size() < 2 || text.back() != ']') return skipInvalid();
        std::string_view inner = text.substr(1, text.size() - 2);
        const bool deletion = !inner.empty() && inner.front() == '-';
        if (deletion) inner.remove_prefix(1);
        const std::size_t separator = inner.find('\\');
        const std::string_view root = inner.substr(0, separator);
        KeyPath path;
        if (separator != std::string_view::npos) {
            if (!splitKeyPath(inner.substr(separator + 1), path) || path.empty()) return skipInvalid();
        }
        const bool currentUser = namesEqual(root, kCurrentUserRoot);
        bool knownRoot = currentUser;
        for (std::string_view other : kOtherRoots) knownRoot = knownRoot || namesEqual(root, other);
        if (!knownRoot) return skipInvalid();

        Document::Section section;
        section.header = std::string(line);
        section.currentUser = currentUser && !deletion; // a deleted key is kept as text only
        section.path = std::move(path);
        doc_.sections_.push_back(std::move(section));
        skippingSection_ = false;
    }

    // A value line and its continuation lines; returns the index after them.
    std::size_t handleValue(std::size_t first) {
        Cursor cursor(trimLeft(lines_[first]));
        Document::Entry entry;
        if (!readValueName(cursor, entry.name)) {
            skipInvalid();
            return first + 1;
        }
        std::string data(trimRight(cursor.rest()));
        std::size_t last = first;
        if (startsWithIgnoringCase(data, "hex")) {
            // hex: data may continue on the next lines after a trailing backslash.
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                const bool nextContinues = last + 1 < lines_.size() && !hasControlCharacters(lines_[last + 1]) &&
                                           trim(lines_[last + 1]).substr(0, 1) != "[";
                if (!nextContinues) {
                    skipInvalid();
                    return last + 1;
                }
                ++last;
                data += trim(lines_[last]);
            }
        }
        ValueData value;
        if (!readValueData(data, value) || (isCut(last) && !value.safeIfCut)) {
            skipInvalid();
            return last + 1;
        }
        if (!inSection()) {
            doc_.complete_ = false; // a value outside any key
            return last + 1;
        }
        if (skippingSection_) return last + 1;
        entry.kind = value.kind;
        entry.dword = value.dword;
        for (std::size_t i = first; i <= last; ++i) entry.lines.emplace_back(lines_[i]);
        doc_.sections_.back().entries.push_back(std::move(entry));
        return last + 1;
    }

    Document doc_;
    std::string decoded_;
    std::string_view text_;
    std::vector<std::string_view> lines_;
    bool lastLineTerminated_ = true;
    bool skippingSection_ = false;
};

Document Document::parse(std::string_view bytes) { return Parser(bytes).run(); }

std::string Document::serialize() const {
    const std::string_view eol = crlf_ ? "\r\n" : "\n";
    std::string out;
    auto put = [&](std::string_view line) {
        out += line;
        out += eol;
    };
    if (!hasFileHeader_) {
        put(kFileHeader);
        put("");
    }
    for (const auto& line : prologue_) put(line);
    for (const auto& section : sections_) {
        put(section.header);
        for (const auto& entry : section.entries) {
            for (const auto& line : entry.lines) put(line);
        }
    }
    return out;
}

void Document::rebuildIndex() {
    index_.clear();
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const Section& section = sections_[i];
        if (!section.currentUser) continue;
        for (std::size_t length = 1; length < section.path.size(); ++length) index_[indexKey(section.path, length)];
        KeyEntry& key = index_[indexKey(section.path, section.path.size())];
        key.sections.push_back(i);
        for (std::size_t j = 0; j < section.entries.size(); ++j) {
            const Entry& entry = section.entries[j];
            if (entry.kind != EntryKind::Trivia) key.values[lowerCase(entry.name)] = EntryPosition{i, j};
        }
    }
}

const Document::KeyEntry* Document::findKey(const KeyPath& key) const {
    const auto found = index_.find(indexKey(key, key.size()));
    return found == index_.end() ? nullptr : &found->second;
}

bool Document::keyExists(const KeyPath& key) const { return key.empty() || findKey(key) != nullptr; }

bool Document::createKey(const KeyPath& key) {
    if (keyExists(key)) return false;
    addSection(key);
    rebuildIndex();
    return true;
}

const Document::Entry* Document::findValue(const KeyPath& key, std::string_view name) const {
    const KeyEntry* found = findKey(key);
    if (!found) return nullptr;
    const auto value = found->values.find(lowerCase(name));
    if (value == found->values.end()) return nullptr;
    return &sections_[value->second.section].entries[value->second.entry];
}

Document::Entry* Document::findValue(const KeyPath& key, std::string_view name) {
    return const_cast<Entry*>(static_cast<const Document*>(this)->findValue(key, name));
}

std::optional<std::uint32_t> Document::queryDword(const KeyPath& key, std::string_view name) const {
    const Entry* entry = findValue(key, name);
    if (!entry || entry->kind != EntryKind::Dword) return std::nullopt;
    return entry->dword;
}

std::vector<Document::DwordValue> Document::dwordValues() const {
    std::vector<DwordValue> values;
    for (const Section& section : sections_) {
        if (!section.currentUser) continue;
        for (const Entry& entry : section.entries) {
            if (entry.kind == EntryKind::Dword && findValue(section.path, entry.name) == &entry) {
                values.push_back(DwordValue{section.path, entry.name, entry.dword});
            }
        }
    }
    return values;
}

bool Document::setDword(const KeyPath& key, std::string_view name, std::uint32_t value) {
    if (Entry* entry = findValue(key, name)) {
        if (entry->kind == EntryKind::Dword && entry->dword == value) return false;
        entry->kind = EntryKind::Dword;
        entry->dword = value;
        entry->lines = {formatDwordLine(entry->name, value)}; // keeps the stored spelling
        return true;
    }
    const KeyEntry* known = findKey(key);
    Section* target = known && !known->sections.empty() ? &sections_[known->sections.back()] : &addSection(key);

    Entry entry;
    entry.kind = EntryKind::Dword;
    entry.name = std::string(name);
    entry.dword = value;
    entry.lines = {formatDwordLine(name, value)};
    // New values go after the last value; in a key without values after the comments
    // right below the header. Blank lines and comments further down stay after them,
    // since they usually introduce the next section.
    auto& entries = target->entries;
    auto position = entries.end();
    while (position != entries.begin() && (position - 1)->kind == EntryKind::Trivia) --position;
    if (position == entries.begin()) {
        while (position != entries.end() && !isBlankLine(*position)) ++position;
    }
    entries.insert(position, std::move(entry));
    rebuildIndex();
    return true;
}

// After the last section in the subtree of the closest ancestor that has sections, so
// subkeys stay beside their parent; at the end when there is none.
std::size_t Document::newSectionPosition(const KeyPath& key) const {
    for (std::size_t depth = key.size(); depth-- > 0;) {
        for (std::size_t i = sections_.size(); i-- > 0;) {
            if (sections_[i].currentUser && pathHasPrefix(sections_[i].path, key, depth)) return i + 1;
        }
    }
    return sections_.size();
}

Document::Section& Document::addSection(const KeyPath& key) {
    const std::size_t position = newSectionPosition(key);
    Entry blank;
    blank.lines = {std::string()};
    // Keep a blank line between the previous text and the new header.
    if (position > 0) {
        auto& previous = sections_[position - 1].entries;
        if (previous.empty() || !isBlankLine(previous.back())) previous.push_back(blank);
    } else if (!prologue_.empty() && !trim(prologue_.back()).empty()) {
        prologue_.emplace_back();
    }
    Section section;
    section.header = "[" + std::string(kCurrentUserRoot);
    for (const auto& name : key) section.header += "\\" + name;
    section.header += "]";
    section.currentUser = true;
    section.path = key;
    section.entries.push_back(blank);
    return *sections_.insert(sections_.begin() + static_cast<std::ptrdiff_t>(position), std::move(section));
}

} // namespace orvix::platform::regfile
