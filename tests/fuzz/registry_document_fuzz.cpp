// libFuzzer target of the settings file's text format. For any input:
//   - parsing never crashes and never reads outside the input (the sanitizers check);
//   - the written text parses completely, and writing that again gives the same text;
//   - every DWORD value the parse found is found again, with its value, in the
//     re-parsed text, and nothing else is;
//   - setting a value (of a key and name taken from the input) changes that value
//     and no other, and the change survives writing and parsing again.
// Built with clang (-fsanitize=fuzzer,address,undefined); see tests/fuzz/CMakeLists.txt.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/registry_document.h"

namespace {

using orvix::platform::regfile::Document;
using orvix::platform::regfile::KeyPath;

void require(bool holds) {
    if (!holds) std::abort();
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

// The values as a query sees them, keys and names without case.
std::vector<std::string> valueList(const Document& document) {
    std::vector<std::string> list;
    for (const auto& value : document.dwordValues()) {
        std::string entry;
        for (const auto& name : value.key) entry += lower(name) + "\\";
        entry += "=" + lower(value.name) + "=" + std::to_string(value.value);
        list.push_back(entry);
    }
    return list;
}

void requireSameValues(const Document& a, const Document& b) {
    require(valueList(a) == valueList(b));
    for (const auto& value : a.dwordValues()) require(b.queryDword(value.key, value.name) == value.value);
}

// Writing and parsing again keeps everything.
Document roundTrip(const Document& document) {
    const std::string written = document.serialize();
    Document again = Document::parse(written);
    require(again.complete());
    require(again.serialize() == written);
    requireSameValues(document, again);
    return again;
}

// A key and value name taken from the input, and a value.
void checkSetting(Document document, const std::uint8_t* data, std::size_t size) {
    if (size < 6) return;
    KeyPath key;
    const std::size_t keyLength = data[0] % 12;
    const std::size_t nameLength = data[1] % 12;
    if (2 + keyLength + nameLength + 4 > size) return;
    const std::string keyText(reinterpret_cast<const char*>(data + 2), keyLength);
    const std::string name(reinterpret_cast<const char*>(data + 2 + keyLength), nameLength);
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | data[2 + keyLength + nameLength + i];
    if (!orvix::platform::regfile::splitKeyPath(keyText, key) ||
        !orvix::platform::regfile::isStorableValueName(name)) {
        return;
    }
    const auto before = document.dwordValues();
    const bool held = document.queryDword(key, name) == value;
    require(document.setDword(key, name, value) == !held);
    require(document.queryDword(key, name) == value);
    require(document.keyExists(key));
    for (const auto& other : before) {
        const bool same = lower(other.name) == lower(name) && other.key.size() == key.size() &&
                          [&] {
                              for (std::size_t i = 0; i < key.size(); ++i)
                                  if (lower(other.key[i]) != lower(key[i])) return false;
                              return true;
                          }();
        if (!same) require(document.queryDword(other.key, other.name) == other.value);
    }
    const Document again = roundTrip(document);
    require(again.queryDword(key, name) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Document document = Document::parse(text);
    const Document again = roundTrip(document);
    roundTrip(again);
    checkSetting(document, data, size);
    return 0;
}
