// The .reg text format: what is read, what is kept, and that no input breaks it.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/posix/registry_document.h"

namespace orvix::platform::regfile {
namespace {

const KeyPath kRoot = {"Software", "Quelm", "OrvixK62DT4Sdk"};
const KeyPath kSize0 = {"Software", "Quelm", "OrvixK62DT4Sdk", "Size_00"};

const std::string kExport =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
    "\"Color\"=dword:00000002\n"
    "\"WaitTime\"=dword:0000000a\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_00]\n"
    "\"TH\"=dword:00000550\n"
    "\"TV\"=dword:00000400\n"
    "\n";

using Stored = std::tuple<KeyPath, std::string, std::uint32_t>;
const std::vector<Stored> kExportValues = {
    {kRoot, "Color", 2}, {kRoot, "WaitTime", 10}, {kSize0, "TH", 0x550}, {kSize0, "TV", 0x400}};

std::optional<std::uint32_t> query(const Document& document, const KeyPath& key, const std::string& name) {
    return document.queryDword(key, name);
}

TEST(RegistryDocument, ReadsTheExportFormat) {
    const Document document = Document::parse(kExport);
    EXPECT_TRUE(document.complete());
    for (const auto& [key, name, value] : kExportValues) EXPECT_EQ(query(document, key, name), value) << name;
    EXPECT_TRUE(document.keyExists({}));
    EXPECT_TRUE(document.keyExists({"Software"}));
    EXPECT_TRUE(document.keyExists({"software", "QUELM"}));
    EXPECT_FALSE(document.keyExists({"Software", "Quelm", "OrvixK62DT4Sdk", "Size_01"}));
    EXPECT_FALSE(document.keyExists({"Software", "Quelm", "Orvix"}));
    EXPECT_EQ(query(document, kRoot, "TH"), std::nullopt);
    EXPECT_EQ(document.serialize(), kExport); // unchanged text comes back byte for byte
}

TEST(RegistryDocument, AcceptsHandEditedText) {
    const std::string text =
        "\xEF\xBB\xBF; settings by hand\r\n"
        "\r\n"
        "  [hkey_current_user\\SOFTWARE\\Quelm\\OrvixK62DT4Sdk]  \r\n"
        "\"Color\" = DWORD:0000000A   ; ten\r\n"
        "\t\"Size\"=dword:3\r\n"
        "\r\n"
        "\r\n"
        "; the capture window\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_00]\r\n"
        "\"TH\"=dword:00000550"; // no line end after a complete value
    Document document = Document::parse(text);
    EXPECT_TRUE(document.complete());
    EXPECT_EQ(query(document, kRoot, "Color"), 10u);
    EXPECT_EQ(query(document, kRoot, "size"), 3u);
    EXPECT_EQ(query(document, kSize0, "TH"), 0x550u);

    ASSERT_TRUE(document.setDword(kRoot, "Clock", 1));
    const std::string written = document.serialize();
    // A file without a header gets one; the file's CRLF line ends are kept throughout.
    EXPECT_EQ(written.rfind("Windows Registry Editor Version 5.00\r\n\r\n; settings by hand\r\n", 0), 0u) << written;
    EXPECT_NE(written.find("\"Size\"=dword:3\r\n\"Clock\"=dword:00000001\r\n\r\n"), std::string::npos) << written;
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i] == '\n') {
            ASSERT_TRUE(i > 0 && written[i - 1] == '\r') << i;
        }
    }
    EXPECT_TRUE(Document::parse(written).complete());
}

TEST(RegistryDocument, KeepsForeignContentVerbatimAndSeesOnlyItsOwnValues) {
    const std::string head =
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
        "\"Color\"=dword:00000005\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
        "@=\"default text\"\n"
        "\"Name\"=\"a \\\"quoted\\\" \\\\ string\"\n"
        "\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
        "  17,18,19,1a,\\\n"
        "  1b\n"
        "\"Multi\"=hex(7):41,00,00,00,00,00\n"
        "\"AsBytes\"=hex(4):02,01,00,00\n"
        "\"ThreeBytes\"=hex(4):02,01,00\n"
        "\"Empty\"=hex:\n"
        "\"Gone\"=-\n"
        "\"Color\"=\"not a number\"\n";
    const std::string tail =
        "\n"
        "[-HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Old]\n"
        "\n"
        "[HKEY_USERS\\.DEFAULT\\Software]\n"
        "\"X\"=dword:00000001\n"
        "\n";
    Document document = Document::parse(head + tail);
    ASSERT_TRUE(document.complete());
    EXPECT_EQ(query(document, kRoot, "AsBytes"), 0x102u);
    for (const char* name : {"", "Name", "Blob", "Multi", "ThreeBytes", "Empty", "Gone", "Color"}) {
        EXPECT_EQ(query(document, kRoot, name), std::nullopt) << name;
    }
    EXPECT_FALSE(document.keyExists({"Software", "Quelm", "OrvixK62DT4Sdk", "Old"}));

    EXPECT_TRUE(document.setDword(kRoot, "WaitTime", 10));
    EXPECT_TRUE(document.setDword(kRoot, "gone", 4));  // a deleted value comes back
    EXPECT_FALSE(document.setDword(kRoot, "asbytes", 0x102)); // same value: nothing to write
    const std::string expected = head;
    std::string changed = expected;
    changed.replace(changed.find("\"Gone\"=-"), 8, "\"Gone\"=dword:00000004");
    changed += "\"WaitTime\"=dword:0000000a\n";
    EXPECT_EQ(document.serialize(), changed + tail);
}

TEST(RegistryDocument, LaterDefinitionsWinAndSettingReplacesAnyType) {
    Document document = Document::parse(
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
        "\"Color\"=dword:00000001\n"
        "\"Text\"=\"x\"\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_00]\n"
        "\"TH\"=dword:00000001\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
        "\"COLOR\"=dword:00000003\n");
    ASSERT_TRUE(document.complete());
    EXPECT_EQ(query(document, kRoot, "Color"), 3u);
    EXPECT_TRUE(document.setDword(kRoot, "color", 4));
    EXPECT_TRUE(document.setDword(kRoot, "TEXT", 9));
    const Document reread = Document::parse(document.serialize());
    EXPECT_EQ(query(reread, kRoot, "Color"), 4u);
    EXPECT_EQ(query(reread, kRoot, "Text"), 9u);
    EXPECT_NE(document.serialize().find("\"COLOR\"=dword:00000004"), std::string::npos); // stored spelling kept
    EXPECT_NE(document.serialize().find("\"Text\"=dword:00000009"), std::string::npos);
}

TEST(RegistryDocument, GarbledLinesSkipTheRestOfTheirSectionOnly) {
    const std::string text =
        "Windows Registry Editor Version 5.00\n"
        "\"Stray\"=dword:00000001\n" // a value outside any key
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
        "\"Color\"=dword:00000002\n"
        "\x01\x02garbage\xff\n"
        "\"SubSample\"=dword:00000001\n" // after the garbage: may belong to another key
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_00]\n"
        "\"TH\"=dword:00000550\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_01\n" // header without ']'
        "\"TH\"=dword:00000111\n"
        "[HKEY_NOWHERE\\Software]\n"
        "\"TV\"=dword:00000222\n"
        "[HKEY_CURRENT_USER\\Software\\\\Quelm]\n" // empty key name
        "\"TV\"=dword:00000333\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_02]\n"
        "\"TV\"=dword:123456789\n" // nine digits
        "\"EH\"=dword:00000010\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_03]\n"
        "\"Blob\"=hex:01,02,\n"
        "\"EV\"=dword:00000020\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_04]\n"
        "\"EVS\"=dword:00000030\n"
        "\"Blob\"=hex:01,\\\n"; // continuation cut off at the end
    Document document = Document::parse(text);
    EXPECT_FALSE(document.complete());
    EXPECT_EQ(query(document, kRoot, "Color"), 2u);
    EXPECT_EQ(query(document, kRoot, "SubSample"), std::nullopt);
    EXPECT_EQ(query(document, kSize0, "TH"), 0x550u); // nothing from the broken header reached it
    EXPECT_FALSE(document.keyExists({"Software", "Quelm", "OrvixK62DT4Sdk", "Size_01"}));
    EXPECT_EQ(query(document, {"Software", "Quelm", "OrvixK62DT4Sdk", "Size_02"}, "EH"), std::nullopt);
    EXPECT_EQ(query(document, {"Software", "Quelm", "OrvixK62DT4Sdk", "Size_03"}, "EV"), std::nullopt);
    EXPECT_EQ(query(document, {"Software", "Quelm", "OrvixK62DT4Sdk", "Size_04"}, "EVS"), 0x30u);

    // The rewrite holds the valid part only, and reads back complete and the same.
    const Document rewritten = Document::parse(document.serialize());
    EXPECT_TRUE(rewritten.complete());
    EXPECT_EQ(rewritten.serialize(), document.serialize());
    EXPECT_EQ(query(rewritten, kRoot, "Color"), 2u);
    EXPECT_EQ(query(rewritten, {"Software", "Quelm", "OrvixK62DT4Sdk", "Size_04"}, "EVS"), 0x30u);
    EXPECT_EQ(document.serialize().find("garbage"), std::string::npos);
    EXPECT_EQ(document.serialize().find("Stray"), std::string::npos);
}

TEST(RegistryDocument, ATruncatedFileNeverYieldsAWrongValue) {
    const std::string text = kExport +
                             "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_01]\n"
                             "\"Blob\"=hex:01,02,\\\n  03\n"
                             "\"S\"=\"ab\\\"cd\"\n"
                             "\"EHS\"=dword:12345678";
    std::vector<Stored> values = kExportValues;
    const KeyPath size1 = {"Software", "Quelm", "OrvixK62DT4Sdk", "Size_01"};
    values.emplace_back(size1, "EHS", 0x12345678u);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const Document document = Document::parse(std::string_view(text).substr(0, cut));
        for (const auto& [key, name, value] : values) {
            const auto read = query(document, key, name);
            if (read) {
                ASSERT_EQ(*read, value) << "cut at " << cut << ": " << name;
            }
        }
    }
    EXPECT_EQ(query(Document::parse(text), size1, "EHS"), 0x12345678u);
    EXPECT_TRUE(Document::parse(text).complete());
    EXPECT_FALSE(Document::parse(text.substr(0, text.size() - 1)).complete());
    EXPECT_FALSE(Document::parse(text.substr(0, text.find("03\n"))).complete());
}

std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

TEST(RegistryDocument, ReadsUtf16FilesWithAByteOrderMark) {
    std::string crlf;
    for (char c : kExport) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const Document document = Document::parse(utf16le(crlf));
    EXPECT_TRUE(document.complete());
    for (const auto& [key, name, value] : kExportValues) EXPECT_EQ(query(document, key, name), value) << name;
    EXPECT_EQ(document.serialize(), crlf); // written back as 8-bit text

    // A surrogate pair in a comment is fine; an odd byte or a lone surrogate is damage.
    EXPECT_TRUE(Document::parse(utf16le(crlf) + std::string(";\0\x3D\xD8\x00\xDE", 6)).complete());
    const Document odd = Document::parse(utf16le(crlf) + "x");
    EXPECT_FALSE(odd.complete());
    EXPECT_EQ(query(odd, kSize0, "TV"), 0x400u);
    EXPECT_FALSE(Document::parse(utf16le(crlf) + std::string(";\0\x00\xD8", 4)).complete());
}

TEST(RegistryDocument, NewKeysAndValuesUseTheExportLayout) {
    Document document;
    EXPECT_TRUE(document.createKey(kRoot));
    EXPECT_FALSE(document.createKey(kRoot));
    EXPECT_FALSE(document.createKey({"Software", "Quelm"})); // exists through its subkey
    EXPECT_TRUE(document.setDword(kRoot, "Color", 2));
    EXPECT_TRUE(document.setDword(kSize0, "TH", 0x550)); // creates the key
    EXPECT_TRUE(document.createKey({"Software", "Other"}));
    EXPECT_TRUE(document.setDword({"Software", "Quelm", "OrvixK62DT4Sdk", "Size_01"}, "TH", 1));
    EXPECT_TRUE(document.setDword(kRoot, "Size", 1));
    EXPECT_TRUE(document.setDword(kRoot, "Odd \"name\" \\ here", 0xDEADBEEF));
    EXPECT_TRUE(document.setDword({}, "", 7)); // default value of HKEY_CURRENT_USER itself
    const std::string expected =
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
        "\"Color\"=dword:00000002\n"
        "\"Size\"=dword:00000001\n"
        "\"Odd \\\"name\\\" \\\\ here\"=dword:deadbeef\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_00]\n"
        "\"TH\"=dword:00000550\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_01]\n"
        "\"TH\"=dword:00000001\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n"
        "\n"
        "[HKEY_CURRENT_USER]\n"
        "@=dword:00000007\n"
        "\n";
    EXPECT_EQ(document.serialize(), expected);
    const Document reread = Document::parse(expected);
    EXPECT_TRUE(reread.complete());
    EXPECT_EQ(query(reread, kRoot, "odd \"NAME\" \\ here"), 0xDEADBEEFu);
    EXPECT_EQ(query(reread, {}, ""), 7u);
}

TEST(RegistryDocument, KeyPathsAndValueNamesTheFormatCannotHoldAreRefused) {
    KeyPath names;
    EXPECT_TRUE(splitKeyPath("", names));
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(splitKeyPath("Software\\Quelm", names));
    EXPECT_EQ(names, (KeyPath{"Software", "Quelm"}));
    for (const std::string& bad : std::vector<std::string>{"\\Software", "Software\\", "A\\\\B", "A\nB", std::string("A\0B", 3),
                                  std::string(kMaxKeyNameLength + 1, 'k')}) {
        EXPECT_FALSE(splitKeyPath(bad, names)) << bad;
    }
    EXPECT_TRUE(splitKeyPath(std::string(kMaxKeyNameLength, 'k') + "\\odd ] name", names));
    EXPECT_TRUE(isStorableValueName("Tab\tand \"quote\""));
    EXPECT_FALSE(isStorableValueName("two\nlines"));
    EXPECT_FALSE(isStorableValueName(std::string("nul\0", 4)));

    // A key name with ']' survives the round trip.
    Document document;
    ASSERT_TRUE(document.setDword(names, "V", 1));
    EXPECT_EQ(Document::parse(document.serialize()).queryDword(names, "V"), 1u);
}

// Every input parses without fault, and the text written for it reads back complete
// and unchanged, so one rewrite settles any damage.
void expectStableRewrite(const std::string& input) {
    Document document = Document::parse(input);
    const std::string written = document.serialize();
    Document reread = Document::parse(written);
    ASSERT_TRUE(reread.complete()) << ::testing::PrintToString(input);
    ASSERT_EQ(reread.serialize(), written) << ::testing::PrintToString(input);
    ASSERT_TRUE(reread.setDword(kRoot, "Fuzz", 0x5A5A));
    const Document changed = Document::parse(reread.serialize());
    ASSERT_TRUE(changed.complete()) << ::testing::PrintToString(input);
    ASSERT_EQ(changed.queryDword(kRoot, "Fuzz"), 0x5A5Au) << ::testing::PrintToString(input);
}

TEST(RegistryDocument, FuzzedInputNeverBreaksTheParser) {
    std::mt19937 random(20240511u);
    const std::string sample = kExport +
                               "; comment\r\n"
                               "[HKEY_LOCAL_MACHINE\\X]\n\"B\"=hex:01,02,\\\n  03\n@=\"s\\\"\"\n"
                               "[-HKEY_CURRENT_USER\\Y]\n\"Z\"=-\n";
    // Pieces that steer random text toward the grammar's corners.
    const std::vector<std::string> pieces = {"[", "]", "\\", "\"", "=", "@", "-", ";", "\n", "\r\n", "\r", " ",
                                             "\t", ",", "dword:", "hex:", "hex(4):", "hex(", ")", ":", "00",
                                             "ffffffff", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "Software",
                                             "Windows Registry Editor Version 5.00", std::string(1, '\0'),
                                             "\xFF\xFE", "\xEF\xBB\xBF", "\xD8", "\xC3\xA9"};
    auto uniform = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };

    for (int round = 0; round < 4000; ++round) {
        std::string input;
        switch (round % 4) {
        case 0: // random bytes
            for (std::size_t n = uniform(300); n > 0; --n) input += static_cast<char>(uniform(256));
            break;
        case 1: // random grammar pieces
            for (std::size_t n = uniform(80); n > 0; --n) input += pieces[uniform(pieces.size())];
            break;
        case 2: // a valid file with flipped, inserted and removed bytes
            input = sample;
            for (std::size_t n = 1 + uniform(6); n > 0; --n) {
                const std::size_t at = uniform(input.size());
                switch (uniform(3)) {
                case 0: input[at] = static_cast<char>(input[at] ^ (1 << uniform(8))); break;
                case 1: input.insert(at, pieces[uniform(pieces.size())]); break;
                default: input.erase(at, 1 + uniform(8)); break;
                }
                if (input.empty()) input = "[";
            }
            break;
        default: // UTF-16 text, cut anywhere
            input = utf16le(sample).substr(0, uniform(2 * sample.size() + 3));
            if (!input.empty()) input[uniform(input.size())] = static_cast<char>(uniform(256));
            break;
        }
        expectStableRewrite(input);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

} // namespace
} // namespace orvix::platform::regfile
