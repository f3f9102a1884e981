#include "base/TextConvert.h"
#include "install/RegParser.h"
#include "install/RegTextWriter.h"

#include "tests/install/TestRegKey.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace Velora;
using Velora::Test::TestFolder;
using Velora::Test::Utf16File;
using Velora::Test::WriteFileBytes;

namespace {

const std::wstring kHeader5 = L"Windows Registry Editor Version 5.00";

// Parses a UTF-16 ".reg" text; the message of what it threw, empty if nothing.
std::string ParseText(VLRegParser& parser, const std::wstring& text)
{
    VLBuffer<unsigned char> bytes;
    SetBytes(bytes, Utf16File(text));
    try {
        parser.Parse(bytes);
    } catch (const std::exception& error) {
        return error.what();
    }
    return std::string();
}

// Records what the tokenizer reports: "K:", "N:" or "D:" and the range.
class Recorder : public VLResultProcessor {
public:
    void OnKey(const wchar_t* b, const wchar_t* e) override { events.push_back(L"K:" + std::wstring(b, e)); }
    void OnValueName(const wchar_t* b, const wchar_t* e) override { events.push_back(L"N:" + std::wstring(b, e)); }
    void OnValueData(const wchar_t* b, const wchar_t* e) override { events.push_back(L"D:" + std::wstring(b, e)); }
    std::vector<std::wstring> events;
};

std::wstring WriteKeys(const VLRegKeyList& keys)
{
    VLBuffer<unsigned char> out;
    VLRegTextWriter writer(out, L"\r\n");
    for (const VLRegKey& key : keys) writer.WriteKey(key);
    std::wstring text;
    EXPECT_TRUE(DecodeRegText(out, text));
    return text;
}

} // namespace

TEST(RegFileFormat, HeadersAndEncodings)
{
    struct Case {
        std::string bytes;
        int format;
    };
    const Case cases[] = {
        {Utf16File(kHeader5 + L"\r\n"), 2},
        {"REGEDIT4\r\n", 1},
        {" \t \tREGEDIT4\r\n", 1},
        {"Windows Registry Editor Version 5.00", 2},
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n", 0}, // UTF-8 with its mark
        {std::string("\xFE\xFF\0W", 4), 0},
        {"windows registry editor version 5.00\r\n", 0},
        {"REGEDIT 4\r\n", 0},
        {"\x80REGEDIT4\r\n", 0},
        {"\r\nREGEDIT4\r\n", 0},
        {"", 0},
        {"R", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        VLBuffer<unsigned char> bytes;
        SetBytes(bytes, c.bytes);
        std::wstring text;
        EXPECT_EQ(DetectRegFormat(bytes, text), c.format);

        VLRegParser parser;
        std::string error;
        try {
            parser.Parse(bytes);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.format ? "" : "Wrong file format");
    }
}

TEST(RegFileFormat, AnsiTextIsReadInTheSystemCodePage)
{
    // 中文 in code page 936, the test environment's ANSI code page.
    VLBuffer<unsigned char> bytes;
    SetBytes(bytes, "REGEDIT4\r\n[HKEY_CURRENT_USER\\\xD6\xD0\xCE\xC4]\r\n\"a\"=\"\xD6\xD0\"\r\n");
    VLRegParser parser;
    parser.Parse(bytes);
    ASSERT_EQ(parser.keys.size(), 1u);
    EXPECT_EQ(parser.keys[0].path, L"\x4E2D\x6587");
    ASSERT_EQ(parser.keys[0].values.size(), 1u);
    EXPECT_EQ(parser.keys[0].values[0].text, L"\x4E2D");
}

TEST(RegFileTokenizer, Lines)
{
    struct Case {
        std::wstring text;
        std::vector<std::wstring> events;
    };
    const Case cases[] = {
        {L"[HKEY_CURRENT_USER\\a]", {}}, // no CR LF at all
        {L"\r\n[k]\r\n\"a\"=\"1\"", {L"K:k", L"N:\"a\"", L"D:\"1\""}}, // last line without CR LF
        {L"\r\n[k]\r\n\r\n", {L"K:k"}},
        // A lone LF is an ordinary character.
        {L"\r\n[k]\n\"a\"=\"1\"\r\n", {L"N:[k]\n\"a\"", L"D:\"1\""}},
        {L"\r\n [k]\r\n[k] \r\n[]\r\n", {L"K:"}},
        {L"\r\n; comment\r\nno equals here\r\n", {}},
        {L"\r\n\"a=b\"=\"c=d\"\r\n", {L"N:\"a=b\"", L"D:\"c=d\""}},
        {L"\r\n\"a\\\"=\"=x\r\n", {L"N:\"a\\\"=\"", L"D:x"}},
        {L"\r\n\"a\\\\\"=\"c\"\r\n", {L"N:\"a\\\\\"", L"D:\"c\""}},
        {L"\r\n@=\"d\"\r\n", {L"N:@", L"D:\"d\""}},
        {L"\r\n\"e\"=\r\n\"f\"=\"1\"\r\n", {L"N:\"e\"", L"N:\"f\"", L"D:\"1\""}},
        {L"\r\n\"h\"=hex:01,\\\r\n  02,\\\r\n  03\r\n\"n\"=\"1\"\r\n",
         {L"N:\"h\"", L"D:hex:01,\\\r\n  02,\\\r\n  03", L"N:\"n\"", L"D:\"1\""}},
        {L"\r\n\"w\"=dword:\\\r\n0000001f\r\n", {L"N:\"w\"", L"D:dword:\\\r\n0000001f"}},
        // Text data ending with a backslash is no continuation and gets no data.
        {L"\r\n\"s\"=abc\\\r\n\"t\"=\"1\"\r\n", {L"N:\"s\"", L"N:\"t\"", L"D:\"1\""}},
        // An empty line ends a continued value, and so does the end of the text.
        {L"\r\n\"h\"=hex:01,\\\r\n\r\n\"t\"=\"1\"\r\n",
         {L"N:\"h\"", L"D:hex:01,\\\r\n", L"N:\"t\"", L"D:\"1\""}},
        {L"\r\n\"h\"=hex:01,\\", {L"N:\"h\"", L"D:hex:01,"}},
        {L"\r\n\"h\"=hex:01,\\\r\n02,\\", {L"N:\"h\"", L"D:hex:01,\\\r\n02,"}},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        TokenizeRegText(c.text, recorder);
        EXPECT_EQ(recorder.events, c.events) << testing::PrintToString(c.text);
    }
}

TEST(RegFileParser, MalformedTexts)
{
    struct Case {
        std::wstring body;
        const char* error;
        size_t keys;
    };
    const Case cases[] = {
        {L"\"a\"=\"1\"\r\n[HKEY_CURRENT_USER\\k]\r\n", "Keys list is empty", 0},
        {L"[HKEY_CURRENT_USER\\k]\r\n\"e\"=\r\n\"f\"=\"1\"\r\n",
         "Value data not found for founded value name", 1},
        {L"[HKEY_CURRENT_USER\\k]\r\n\"e\"=\r\n[HKEY_CURRENT_USER\\l]\r\n",
         "Value data not found for founded value name", 1},
        // A name still waiting at the end of the text raises nothing.
        {L"[HKEY_CURRENT_USER\\k]\r\n\"e\"=\r\n", "", 1},
        {L"[HKEY_CURRENT_USER\\k]\r\n\"e\"=", "", 1},
    };
    for (const Case& c : cases) {
        VLRegParser parser;
        EXPECT_EQ(ParseText(parser, kHeader5 + L"\r\n" + c.body), c.error)
            << testing::PrintToString(c.body);
        EXPECT_EQ(parser.keys.size(), c.keys);
    }
}

TEST(RegFileParser, ValueNames)
{
    VLRegParser parser;
    ASSERT_EQ(ParseText(parser, kHeader5 + L"\r\n[HKEY_CURRENT_USER\\k]\r\n"
                                           L"@=\"default\"\r\n"
                                           L"\"@\"=\"at\"\r\n"
                                           L"\"a\\\\b\\\"c\"=\"1\"\r\n"
                                           L"\"end\\\\\"=\"2\"\r\n"
                                           L"\"x=y\"=\"3\"\r\n"
                                           L"\"gone\"=-\r\n"),
              "");
    ASSERT_EQ(parser.keys.size(), 1u);
    const std::vector<VLRegValue>& values = parser.keys[0].values;
    ASSERT_EQ(values.size(), 6u);
    EXPECT_EQ(values[0].name, L"");
    EXPECT_EQ(values[0].text, L"default");
    EXPECT_EQ(values[1].name, L"@");
    EXPECT_EQ(values[2].name, L"a\\b\"c");
    EXPECT_EQ(values[3].name, L"end\\");
    EXPECT_EQ(values[4].name, L"x=y");
    EXPECT_EQ(values[5].name, L"gone");
    EXPECT_TRUE(values[5].deleteValue);
}

TEST(RegFileParser, KeysOutsideTheRootTableAreDropped)
{
    VLRegParser parser;
    ASSERT_EQ(ParseText(parser, kHeader5 + L"\r\n"
                                           L"[HKEY_CLASSES_ROOT\\.vlz]\r\n@=\"x\"\r\n"
                                           L"[-HKEY_CLASSES_ROOT\\y]\r\n"
                                           L"[HKEY_USERSX\\z]\r\n\"b\"=\"2\"\r\n"
                                           L"[-HKEY_CURRENT_USER\\k]\r\n"
                                           L"[HKEY_CURRENT_USER\\k\\s]\r\n\"c\"=dword:00000003\r\n"),
              "");
    ASSERT_EQ(parser.keys.size(), 2u);
    EXPECT_TRUE(parser.keys[0].deleteKey);
    EXPECT_EQ(parser.keys[0].path, L"k");
    EXPECT_EQ(parser.keys[1].path, L"k\\s");
    ASSERT_EQ(parser.keys[1].values.size(), 1u);
    EXPECT_EQ(parser.keys[1].values[0].dwordValue, 3u);
}

TEST(RegFileParser, HexValueOverThreeLines)
{
    VLRegParser parser;
    ASSERT_EQ(ParseText(parser, kHeader5 + L"\r\n\r\n[HKEY_CURRENT_USER\\k]\r\n"
                                           L"\"h\"=hex:01,02,\\\r\n  03,04,\\\r\n  05\r\n"
                                           L"\"n\"=\"after\"\r\n"),
              "");
    ASSERT_EQ(parser.keys.size(), 1u);
    const std::vector<VLRegValue>& values = parser.keys[0].values;
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].type, uint32_t(REG_BINARY));
    EXPECT_EQ(Bytes(values[0].data), "\x01\x02\x03\x04\x05");
    EXPECT_EQ(values[1].text, L"after");
}

TEST(RegFileParser, LoadFile)
{
    TestFolder folder;
    const std::wstring file = folder / L"t.reg";
    const auto loadError = [&]() -> std::string {
        VLRegParser parser;
        try {
            parser.LoadFile(file);
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return parser.keys.size() == 1 ? "one key" : "wrong keys";
    };
    ASSERT_TRUE(WriteFileBytes(file, ""));
    EXPECT_EQ(loadError(), "Load file failed");
    ASSERT_TRUE(WriteFileBytes(file, Utf16File(kHeader5 + L"\r\n[HKEY_CURRENT_USER\\k]\r\n\"a\"=\"1\"\r\n")));
    EXPECT_EQ(loadError(), "one key");
    ASSERT_TRUE(WriteFileBytes(file, "REGEDIT4\r\n[HKEY_CURRENT_USER\\k]"));
    EXPECT_EQ(loadError(), "one key");
    ASSERT_TRUE(WriteFileBytes(file, "\xEF\xBB\xBFREGEDIT4\r\n[HKEY_CURRENT_USER\\k]\r\n"));
    EXPECT_EQ(loadError(), "Wrong file format");

    VLRegParser parser;
    EXPECT_THROW(parser.LoadFile(file + L".absent"), std::runtime_error);

    VLBuffer<unsigned char> whole;
    ASSERT_TRUE(WriteFileBytes(file, "REGEDIT4"));
    ASSERT_TRUE(ReadWholeFile(file, whole));
    EXPECT_EQ(whole.size, 8u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(whole.data), 11), std::string("REGEDIT4\0\0\0", 11));
}

TEST(RegFileWriter, KeyWithDefaultStringAndDword)
{
    VLRegKey key(0x80000001, L"Software\\T");
    VLRegValue byDefault(REG_SZ);
    byDefault.text = L"d";
    VLRegValue number(REG_DWORD, L"n");
    number.dwordValue = 1;
    key.values = {byDefault, number};

    VLBuffer<unsigned char> out;
    VLRegTextWriter writer(out, L"\r\n");
    // The header line and its line end, in a block grown to half again.
    EXPECT_EQ(out.size, 2u + 2 * 38);
    EXPECT_EQ(out.capacity, (2u + 2 * 36) * 3 / 2);
    writer.WriteKey(key);
    EXPECT_EQ(Bytes(out), Utf16File(L"Windows Registry Editor Version 5.00\r\n"
                                    L"[HKEY_CURRENT_USER\\Software\\T]\r\n"
                                    L"@=\"d\"\r\n"
                                    L"\"n\"=dword:00000001\r\n"
                                    L"\r\n"));

    VLRegParser parser;
    parser.Parse(out);
    ASSERT_EQ(parser.keys.size(), 1u);
    const VLRegKey& back = parser.keys[0];
    EXPECT_EQ(back.GetFullName(true), L"HKEY_CURRENT_USER\\Software\\T");
    ASSERT_EQ(back.values.size(), 2u);
    EXPECT_EQ(back.values[0].name, L"");
    EXPECT_EQ(back.values[0].text, L"d");
    EXPECT_EQ(back.values[1].type, uint32_t(REG_DWORD));
    EXPECT_EQ(back.values[1].dwordValue, 1u);
}

TEST(RegFileWriter, DeletionsSubkeysAndEscapes)
{
    VLRegKey removed = VLRegKey::FromName(L"-HKEY_USERS\\S");
    removed.values.push_back(VLRegValue(REG_SZ, L"ignored"));
    removed.subkeys.push_back(VLRegKey(0x80000003, L"S\\ignored"));

    VLRegKey parent(0x80000002, L"P");
    VLRegValue odd(REG_SZ, L"a\\\"b");
    odd.text = L"\\\"";
    VLRegValue gone(REG_DWORD, L"gone");
    gone.deleteValue = true;
    parent.values = {odd, gone};
    parent.subkeys.push_back(VLRegKey(0x80000002, L"P\\C"));

    EXPECT_EQ(WriteKeys({removed, parent}), kHeader5 + L"\r\n"
                                                       L"[-HKEY_USERS\\S]\r\n"
                                                       L"[HKEY_LOCAL_MACHINE\\P]\r\n"
                                                       L"\"a\\\\\\\"b\"=\"\\\\\\\"\"\r\n"
                                                       L"\"gone\"=-\r\n"
                                                       L"\r\n"
                                                       L"[HKEY_LOCAL_MACHINE\\P\\C]\r\n"
                                                       L"\r\n");
}

TEST(RegFileWriter, NamesAndStringsRoundTrip)
{
    const wchar_t* texts[] = {L"plain", L"a\\b", L"q\"q", L"\"\\", L"end\\", L"@", L"x=y", L"\x4E2D"};
    VLRegKey key(0x80000001, L"k");
    for (const wchar_t* text : texts) {
        VLRegValue value(REG_SZ, text);
        value.text = text;
        key.values.push_back(value);
    }
    VLBuffer<unsigned char> out;
    VLRegTextWriter writer(out, L"\r\n");
    writer.WriteKey(key);
    VLRegParser parser;
    parser.Parse(out);
    ASSERT_EQ(parser.keys.size(), 1u);
    ASSERT_EQ(parser.keys[0].values.size(), key.values.size());
    for (size_t i = 0; i < key.values.size(); ++i) {
        EXPECT_EQ(parser.keys[0].values[i].name, key.values[i].name);
        EXPECT_EQ(parser.keys[0].values[i].text, key.values[i].text);
    }
}

TEST(RegFileWriter, ErrorTextsAreGbk)
{
    // The texts converted here independently, from the characters to code page 936.
    EXPECT_EQ(std::string(kRegValueSaveFailed),
              WideToMultiByteCP(L"\x4FDD\x5B58\x6CE8\x518C\x8868\x503C\x51FA\x9519", 936, 0, nullptr, nullptr));
    EXPECT_EQ(std::string(kRegWriterCreateFailed),
              WideToMultiByteCP(L"\x521B\x5EFA\x5BF9\x8C61\x5931\x8D25", 936, 0, nullptr, nullptr));
    EXPECT_EQ(std::string(kRegWriterCreateFailed), "\xB4\xB4\xBD\xA8\xB6\xD4\xCF\xF3\xCA\xA7\xB0\xDC");

    VLRegKey key(0x80000001, L"k");
    VLRegValue big(REG_DWORD_BIG_ENDIAN, L"big");
    key.values.push_back(big);
    VLBuffer<unsigned char> out;
    VLRegTextWriter writer(out, L"\r\n");
    try {
        writer.WriteKey(key);
        ADD_FAILURE() << "a big-endian DWORD was written";
    } catch (const std::invalid_argument& error) {
        EXPECT_EQ(std::string(error.what()),
                  "\xB1\xA3\xB4\xE6\xD7\xA2\xB2\xE1\xB1\xED\xD6\xB5\xB3\xF6\xB4\xED");
    }
}

TEST(RegFileMerge, AccumulatedKeysThenNewOnes)
{
    const auto file = [](const std::wstring& keys) {
        VLBuffer<unsigned char> bytes;
        SetBytes(bytes, Utf16File(kHeader5 + L"\r\n" + keys));
        return Bytes(bytes);
    };
    VLBuffer<unsigned char> accumulated, newText, empty;
    SetBytes(accumulated, file(L"[HKEY_CURRENT_USER\\B]\r\n\"b\"=\"1\"\r\n"));
    SetBytes(newText, file(L"[HKEY_CURRENT_USER\\A]\r\n\"a\"=dword:00000002\r\n"
                           L"[HKEY_CURRENT_USER\\B]\r\n"));

    MergeRegText(empty, accumulated);
    EXPECT_EQ(Bytes(accumulated), file(L"[HKEY_CURRENT_USER\\B]\r\n\"b\"=\"1\"\r\n"));

    MergeRegText(newText, accumulated);
    EXPECT_EQ(Bytes(accumulated), file(L"[HKEY_CURRENT_USER\\B]\r\n\"b\"=\"1\"\r\n\r\n"
                                       L"[HKEY_CURRENT_USER\\A]\r\n\"a\"=dword:00000002\r\n\r\n"
                                       L"[HKEY_CURRENT_USER\\B]\r\n\r\n"));

    VLBuffer<unsigned char> fresh;
    MergeRegText(newText, fresh);
    EXPECT_EQ(Bytes(fresh), Bytes(newText));
}
