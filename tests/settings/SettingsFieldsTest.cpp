#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "RecordJson.h"
#include "SettingsDocument.h"
#include "SettingsFields.h"

namespace {

// The element path of every entry, from the root's children down ("program_info1/video/pid").
std::vector<std::string> ElementPaths()
{
    std::vector<std::string> paths, stack;
    for (const SettingsField& element : SettingsFields()) {
        stack.resize(element.depth);
        std::string path;
        for (size_t i = 1; i < stack.size(); ++i) path += stack[i] + "/";
        paths.push_back(path + element.element);
        stack.push_back(element.element);
    }
    return paths;
}

TEST(SettingsFields, FieldNamesAreTheElementPaths)
{
    const std::vector<std::string> paths = ElementPaths();
    std::set<std::string> names;
    for (size_t i = 0; i < SettingsFields().count; ++i) {
        const SettingsField& element = SettingsFields()[i];
        if (element.kind == ValueKind::Container) {
            EXPECT_EQ(element.name, nullptr);
            continue;
        }
        std::string expected = paths[i];
        if (expected.rfind("system_info/", 0) == 0) expected.erase(0, std::strlen("system_info/"));
        for (char& c : expected)
            if (c == '/') c = '.';
        if (element.Has(FieldFlag::kSecondCarrier)) {
            // program_info1/audio2/adjustVolumn carries program 2's flag.
            EXPECT_EQ(paths[i], "program_info1/audio2/adjustVolumn");
            EXPECT_STREQ(element.name, "program_info2.audio1.adjustVolumn");
            continue;
        }
        EXPECT_EQ(element.name, expected);
        EXPECT_TRUE(names.insert(element.name).second) << element.name;
        EXPECT_EQ(FindSettingsField(element.name), &element);
        EXPECT_EQ(FindSettingsField(element.field), &element);
    }
    EXPECT_EQ(names.size(), 73u);   // every record field but `loaded`
    EXPECT_EQ(FindSettingsField("loaded"), nullptr);
    EXPECT_EQ(FindSettingsField("program_info2.audio2.pid"), nullptr);
}

TEST(SettingsFields, KindsFollowTheFieldTypes)
{
    for (const SettingsField& element : SettingsFields()) {
        switch (element.kind) {
        case ValueKind::Container:
            EXPECT_EQ(element.field.type, FieldType::None);
            break;
        case ValueKind::Text:
            EXPECT_EQ(element.field.type, FieldType::Text) << element.name;
            break;
        case ValueKind::Address:
            EXPECT_EQ(element.field.type, FieldType::Address) << element.name;
            break;
        case ValueKind::Word:
            EXPECT_EQ(element.field.type, FieldType::UInt8) << element.name;
            ASSERT_NE(element.words, nullptr) << element.name;
            break;
        case ValueKind::Flag:
            EXPECT_EQ(element.field.type, FieldType::Int8) << element.name;
            break;
        case ValueKind::Number:
            EXPECT_NE(element.field.type, FieldType::Text) << element.name;
            EXPECT_NE(element.field.type, FieldType::Address) << element.name;
            break;
        }
    }
}

struct StoreCase {
    const char* field;
    const char* text;
    const char* stored;   // the value as the document would carry it afterwards
};

const StoreCase kStores[] = {
    {"deviceID", "300", "44"},
    {"program_info1.progNO", "-1", "65535"},
    {"program_info1.progNO", "70000", "4464"},
    {"keyboard", "200", "-56"},
    {"tsBitrate", "12000kbps", "12000"},
    {"tsBitrate", "99999999999", "2147483647"},
    {"tsipPort", "  -7", "-7"},
    {"ipAddr", "10.0.0.300", "255.255.255.255"},
    {"ipMask", "0x0A.1", "10.0.0.1"},
    {"program_info1.video.mode", "vbr", "CBR"},   // unknown: 255, written as the fallback
    {"program_info2.video.source", "CVBS1", "CVBS2"},
    {"program_info1.audio1.mode", "single", "single"},
    {"program_info1.audio1.adjustVolumn", "0", "1"},   // its presence is the flag
    {"version", "0123456789012345678901234", "012345678901234567890"},
    {"program_info2.video.standard", "SECAM-L", "SECAM-L"},
};

class StoreFieldTextCases : public testing::TestWithParam<StoreCase> {};

TEST_P(StoreFieldTextCases, ConvertsAsTheReaderDoes)
{
    const StoreCase& c = GetParam();
    const SettingsField* element = FindSettingsField(c.field);
    ASSERT_NE(element, nullptr);
    EncoderRecord record{};
    StoreFieldText(*element, c.text, record);
    EXPECT_EQ(FieldValueText(*element, record), c.stored);
}

INSTANTIATE_TEST_SUITE_P(SettingsFields, StoreFieldTextCases, testing::ValuesIn(kStores));

TEST(EncoderSideDocument, IsTheWrittenDocumentWithoutPasswordsAndLeavesTheRecord)
{
    EncoderRecord record{};
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "secret");
    const EncoderRecord before = record;
    const std::string encoderSide = EncoderSideDocument(record);
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): a record and its copy, byte for byte
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);   // no "dvb" stored
    EXPECT_NE(encoderSide.find("<progName></progName>"), std::string::npos);

    std::vector<char> buffer(10000, '\0');
    std::string written(buffer.data(), WriteSettingsDocument(record, buffer.data()));
    for (const char* line : {"\t\t<password>admin</password>\n", "\t\t<newPassword>secret</newPassword>\n"}) {
        const size_t at = written.find(line);
        ASSERT_NE(at, std::string::npos);
        written.erase(at, std::strlen(line));
    }
    EXPECT_EQ(EncoderSideDocument(record), written);
}

// ---- JSON ----

struct JsonCase {
    const char* name;
    std::string text;
    std::string json;
};

const JsonCase kJsonStrings[] = {
    {"plain", "Korvane One", "\"Korvane One\""},
    {"quote_and_backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
    {"control_characters", std::string("\t\n\r\b\f\x01\x1f", 7), "\"\\t\\n\\r\\b\\f\\u0001\\u001f\""},
    {"utf8_kept", "\xE5\x8C\x97\xE4\xBA\xAC", "\"\xE5\x8C\x97\xE4\xBA\xAC\""},
    {"gb2312_bytes_replaced", "\xB1\xB1\xBE\xA9", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
    {"cut_sequence", "a\xE5\x8C", "\"a\\ufffd\\ufffd\""},
    {"overlong", "\xC0\xAF", "\"\\ufffd\\ufffd\""},
    {"surrogate", "\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
    {"four_bytes", "\xF0\x9F\x8E\xA5", "\"\xF0\x9F\x8E\xA5\""},
    {"past_unicode", "\xF4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
    {"slash_and_delete", "/\x7f", "\"/\x7f\""},
};

void PrintTo(const JsonCase& c, std::ostream* out)
{
    *out << c.name;
}

class JsonStrings : public testing::TestWithParam<JsonCase> {};

TEST_P(JsonStrings, EscapeToValidJson)
{
    EXPECT_EQ(JsonString(GetParam().text), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(Json, JsonStrings, testing::ValuesIn(kJsonStrings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecordJson, SettingsByDottedNamesWithoutPasswords)
{
    EncoderRecord record{};
    record.ipAddr = 0x0A010214;
    std::strcpy(record.password, "admin");
    std::strcpy(record.newPassword, "secret");
    std::strcpy(record.version, "KV\"1\"");
    record.keyboard = -1;
    record.program_info1.video.pid = 256;
    record.program_info1.video.source = 1;
    record.program_info2.video.source = 255;
    record.program_info1.audio1.mode = 3;
    record.program_info2.audio1.adjustVolumn = 1;
    const std::string json = RecordJsonObject(record);

    EXPECT_EQ(json.substr(0, 62), "{\"keyboard\": -1, \"version\": \"KV\\\"1\\\"\", \"ipAddr\": \"10.1.2.20\", ");
    for (const char* entry : {"\"program_info1.video.pid\": 256", "\"program_info1.video.source\": \"CVBS1\"",
                              "\"program_info2.video.source\": null", "\"program_info1.audio1.mode\": \"single\"",
                              "\"program_info1.progName\": \"\"", "\"tsipAddr\": \"0.0.0.0\"",
                              "\"program_info2.audio1.adjustVolumn\": 1}"}) {
        EXPECT_NE(json.find(entry), std::string::npos) << entry;
    }
    EXPECT_EQ(json.find("assword"), std::string::npos);
    EXPECT_EQ(json.find("admin"), std::string::npos);
    // One entry per field: the flag carried by two elements is listed once.
    size_t count = 0;
    for (size_t at = json.find("\": "); at != std::string::npos; at = json.find("\": ", at + 1)) ++count;
    EXPECT_EQ(count, 71u);
    EXPECT_EQ(json.back(), '}');
}

TEST(RecordJson, TextsAreTheEncodersGb2312)
{
    EncoderRecord record{};
    std::strcpy(record.program_info1.progName, "\xB1\xB1\xBE\xA9 1");
    std::strcpy(record.program_info2.progName, "\xB1");   // half a pair: damaged, and shown so
    const std::string json = RecordJsonObject(record);
    EXPECT_NE(json.find("\"program_info1.progName\": \"\xE5\x8C\x97\xE4\xBA\xAC 1\""), std::string::npos);
    EXPECT_NE(json.find("\"program_info2.progName\": \"\xEF\xBF\xBD\""), std::string::npos);
}

TEST(RecordJson, TextsGoThroughTheDecoder)
{
    EncoderRecord record{};
    std::strcpy(record.program_info1.progName, "\xB1\xB1\xBE\xA9");
    std::vector<std::string> seen;
    const std::string json = RecordJsonObject(record, [&](const std::string& raw) {
        seen.push_back(raw);
        return raw == "\xB1\xB1\xBE\xA9" ? std::string("\xE5\x8C\x97\xE4\xBA\xAC") : raw;
    });
    EXPECT_NE(json.find("\"program_info1.progName\": \"\xE5\x8C\x97\xE4\xBA\xAC\""), std::string::npos);
    EXPECT_EQ(seen.size(), 7u);   // version, four names, two video standards; never a password
}

}   // namespace
