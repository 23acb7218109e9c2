// The localizer: the built-in table (RCDATA 103) against its source, iconv-written tables,
// layering, every malformed line, and the filling of placeholders "%<digit>NAME%".
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "EngineFailure.h"
#include "TestSupport.h"
#include "base/Localizer.h"
#include "base/LocalizerUtil.h"
#include "base/ResourceExtractor.h"
#include "base/Util.h"
#include "streams/FileStream.h"
#include "base/MemoryStream.h"

namespace {

using namespace OstrelInstallEngine;
using OstrelTest::CatchEngineFailure;
using OstrelTest::FailsCheck;
using OstrelTest::FixturePath;

std::wstring Text(int id)
{
    return Localizer::GetInstance()->GetString(id);
}

void LoadTable(const std::string& name)
{
    auto stream = std::make_unique<FileStream>();
    stream->Open(FixturePath("strings/" + name));
    Localizer::GetInstance()->Load(std::move(stream));
}

// A table in memory; the load reads it whole before the buffer goes.
void LoadBytes(const std::string& table)
{
    auto stream = std::make_unique<MemoryStream>();
    stream->SetData(table.data(), static_cast<uint32_t>(table.size()));
    Localizer::GetInstance()->Load(std::move(stream));
}

const std::string kSourceTable = OstrelTest::ReadFileBytes(
    OstrelTest::SourcePath("uninstaller/res/OstrelInstallEngine.en.txt"));

// iconv's UTF-16LE and 8-bit tables load from files (comments and blank lines skipped, tabs
// kept, no final line end needed), later tables override earlier ones, memory loads alike.
TEST(LocalizerTest, LoadsLayeredTables)
{
    const struct {
        const char* table;
        std::map<int, std::wstring> texts;
    } layers[] = {
        {"layer1.ucs",
         {{7001, L"First text"}, {7002, L"A\tB"}, {7003, L"Caf\u00e9 cr\u00e8me"},
          {7004, L"Unable to open \"%1FILE_NAME%\""}, {7005, L"Last line without its line end"},
          {2147483647, L"Clamped"}, {1000010003, L"Internal check failed"}}},
        {"layer2.ucs", {{7001, L"Second text"}, {7002, L"A\tB"}, {7006, L"Only in the second"}}},
        {"layer1.txt",
         {{7001, L"First text"}, {7002, L"A\tB"}, {7003, L"Caf\u00e9 cr\u00e8me"},
          {7005, L"Last line without its line end"}, {7006, L"Only in the second"}}},
    };
    for (const auto& layer : layers) {
        LoadTable(layer.table);
        for (const auto& text : layer.texts) {
            EXPECT_EQ(text.second, Text(text.first)) << layer.table << " " << text.first;
        }
    }
    EXPECT_EQ(L"Unable to open \"C:\\x\"",
              Localizer::GetInstance()->GetFormattedString(7004, L"C:\\x"));
    LoadBytes("7501\tfrom memory\r\n7502\t\r\n");
    EXPECT_EQ(L"from memory", Text(7501));
    EXPECT_EQ(L"", Text(7502));
}

// A malformed line stops the load there, keeping the entries before it; the reader's and the
// stream's failures (a stream shorter than its size: 10145) pass through unchanged.
TEST(LocalizerTest, MalformedTables)
{
    const struct {
        const char* table;
        const wchar_t* file;
        const wchar_t* condition;
        int code;
        int kept;
        int lost;
    } cases[] = {
        {"leading-blank.ucs", L"Localizer", L"std::iswspace(localeLine[i])", 10031, 7101, 7102},
        {"letter-in-id.ucs", L"Localizer", L"false", 10030, 7201, 7203},
        {"no-tab.ucs", L"Localizer", L"false", 10032, 7301, 7303},
        {"lone-lf.ucs", L"TextStream", L"nextWChar != L'\\n'", 10067, 7401, 7403},
        {"empty.ucs", L"TextStream", L"!AtEof()", 10070, 0, 0},
        {"empty.txt", L"TextStream", L"!AtEof()", 10068, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(FailsCheck([&] { LoadTable(c.table); }, c.file, c.condition, c.code));
        if (c.kept != 0) {
            EXPECT_EQ(L"Before", Text(c.kept)) << c.table;
            EXPECT_EQ(L"BAD_STRING: " + std::to_wstring(c.lost), Text(c.lost)) << c.table;
        }
    }
    EXPECT_EQ(L"BAD_STRING: 7302", Text(7302));
    EXPECT_EQ(L"10008:00000002", OstrelTest::FailureCode([] { LoadTable("no-such-table.ucs"); }));

    EXPECT_TRUE(FailsCheck([] { LoadBytes("7601\tkept\r\n-5\tminus\r\n"); }, L"Localizer",
                           L"false", 10030));
    EXPECT_EQ(L"kept", Text(7601));
    EXPECT_EQ(L"BAD_STRING: -5", Text(-5));

    class OversizedStream : public MemoryStream {
    public:
        uint32_t GetSize() override { return MemoryStream::GetSize() + 1; }
    };
    const std::string table = "7701\tnever stored\r\n";
    auto stream = std::make_unique<OversizedStream>();
    stream->SetData(table.data(), static_cast<uint32_t>(table.size()));
    EXPECT_TRUE(FailsCheck([&] { Localizer::GetInstance()->Load(std::move(stream)); }, L"Stream",
                           L"readSize == size", 10145));
    EXPECT_EQ(L"BAD_STRING: 7701", Text(7701));
}

// A standalone table takes lines one at a time, apart from the process-wide
// table, and a refused line leaves it as it was.
TEST(LocalizerTest, StandaloneTableParsesLines)
{
    std::unique_ptr<Localizer> table = Localizer::CreateStandalone();
    table->ParseLine(L"42\tanswer");
    table->ParseLine(L"// 43\tcomment");
    EXPECT_TRUE(FailsCheck([&] { table->ParseLine(L"44 no tab"); }, L"Localizer", L"false", 10030));
    EXPECT_TRUE(table->HasString(42));
    EXPECT_FALSE(table->HasString(43));
    EXPECT_FALSE(table->HasString(44));
    EXPECT_EQ(L"answer", table->GetString(42));
    EXPECT_NE(L"answer", Text(42));
}

// RCDATA 103 is the source table with the CR LF line ends the build gives
// it, byte for byte, read in place, from this module whether named or not.
TEST(ResourceExtractorTest, BuiltInTableBytes)
{
    std::string withCrLf;
    for (char c : kSourceTable) {
        withCrLf += c == '\n' ? "\r\n" : std::string(1, c);
    }
    for (HMODULE module : {HMODULE(nullptr), GetModuleHandleW(nullptr)}) {
        std::unique_ptr<Stream> stream =
            module == nullptr ? ResourceExtractor::GetInstance()->GetResource(103)
                              : ResourceExtractor::GetInstance()->GetResource(103, module);
        EXPECT_EQ(0u, stream->GetPosition());
        std::string bytes(stream->GetSize(), '\0');
        stream->ReadExact(&bytes[0], static_cast<uint32_t>(bytes.size()));
        EXPECT_TRUE(stream->AtEof());
        EXPECT_EQ(withCrLf, bytes);
    }
    // Init read that table: it reaches from 1000010001 to 1000010065 and no further.
    EXPECT_EQ(L"BAD_STRING: 1000010000", Text(1000010000));
    EXPECT_EQ(L"Another install or uninstall is in progress.", Text(1000010064));
    EXPECT_EQ(0u, Text(1000010065).find(L"Another install or uninstall is in progress. Please"));
    EXPECT_EQ(L"BAD_STRING: 1000010066", Text(1000010066));
}

// A missing resource fails with FindResourceW's error, searched in the module given; the
// extractor (10057) and the localizer (10034) exist once.
TEST(ResourceExtractorTest, Failures)
{
    const DWORD error = ERROR_RESOURCE_NAME_NOT_FOUND;
    auto byName = CatchEngineFailure(
        [] { ResourceExtractor::GetInstance()->GetResource(L"NO.SUCH.RESOURCE"); });
    EXPECT_TRUE(OstrelTest::IsCheckFailure(
        byName.get(), L"ResourceExtractor",
        FormatWide(L"hResource != NULL; HRESULT %08x: %s", error,
                   GetWin32ErrorTextEnglish(error).c_str()),
        FormatWide(L"10058:%08x", error)));

    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto other =
        CatchEngineFailure([&] { ResourceExtractor::GetInstance()->GetResource(103, kernel); });
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(0u, other->GetErrorCode().find(L"10058:"));
    EXPECT_NE(L"10058:00000000", other->GetErrorCode());

    ResourceExtractor* instance = ResourceExtractor::GetInstance();
    EXPECT_TRUE(FailsCheck([] { ResourceExtractor::Init(); }, L"ResourceExtractor",
                           L"s_instance == NULL", 10057));
    EXPECT_EQ(instance, ResourceExtractor::GetInstance());
    Localizer* localizer = Localizer::GetInstance();
    EXPECT_TRUE(FailsCheck([] { Localizer::Init(); }, L"Localizer", L"s_instance == NULL", 10034));
    EXPECT_EQ(localizer, Localizer::GetInstance());
}

// Placeholders are filled by number in any order, repeatable, names optional; arguments go in
// literally (placeholders, percent signs, tabs and line feeds uninterpreted).
TEST(LocalizerUtilTest, Filling)
{
    EXPECT_EQ(L"Unable to open file \"C:\\a.txt\"",
              Localizer::GetInstance()->GetFormattedString(1000010010, L"C:\\a.txt"));
    EXPECT_EQ(L"Unable to move file \"a\" to \"b\".",
              Localizer::Text(1000010018, std::wstring(L"a"), std::wstring(L"b")));
    EXPECT_EQ(L"Error code 10008:00000002 (CreateFile returned 00000002: File not found.)",
              LocalizerUtil::FormatString(L"Error code %1ERROR_CODE% (%2WIN32_FUN% returned "
                                          L"%3WIN32_ERROR_CODE%: %4WIN32_ERROR_DESC%)",
                                          L"10008:00000002", L"CreateFile", L"00000002",
                                          L"File not found."));
    EXPECT_EQ(L"second, first", LocalizerUtil::FormatString(L"%2B%, %1A%", L"first", L"second"));
    EXPECT_EQ(L"x and [x]", LocalizerUtil::FormatString(L"%1NAME% and [%1%]", L"x"));
    EXPECT_EQ(L"no placeholder", LocalizerUtil::FormatString(L"no placeholder", L"unused"));
    EXPECT_EQ(L"a - i", LocalizerUtil::FormatString(L"%1% - %9%", L"a", L"b", L"c", L"d", L"e",
                                                    L"f", L"g", L"h", L"i"));
    EXPECT_EQ(L"<%2X%> <b>", LocalizerUtil::FormatString(L"<%1A%> <%2B%>", L"%2X%", L"b"));
    EXPECT_EQ(L"100% \t\n done", LocalizerUtil::FormatString(L"%1A% done", L"100% \t\n"));
}

// A final "%" (10083), "%" before a non-digit (10084) and an unclosed placeholder (10085)
// fail their checks; a number beyond the arguments, or 0, is out of range.
TEST(LocalizerUtilTest, MalformedFormats)
{
    const std::wstring endCondition = L"(i + 1) < format.length()";
    const std::wstring digitCondition = L"(format[i+1] >= L'0') && (format[i+1] <= L'9')";
    const std::pair<const wchar_t*, std::pair<std::wstring, int>> cases[] = {
        {L"abc%", {endCondition, 10083}},     {L"%", {endCondition, 10083}},
        {L"%x%", {digitCondition, 10084}},    {L"100%% sure", {digitCondition, 10084}},
        {L"%1NAME", {L"!bInToken", 10085}},   {L"a %1A% b %2B", {L"!bInToken", 10085}},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(FailsCheck([&] { LocalizerUtil::FormatString(c.first, L"x", L"y"); },
                               L"LocalizerUtil", c.second.first, c.second.second))
            << c.first;
    }
    EXPECT_THROW(LocalizerUtil::FormatString(L"%2B%", L"only one"), std::out_of_range);
    EXPECT_THROW(LocalizerUtil::FormatString(L"%0Z%", L"a", L"b"), std::out_of_range);
    EXPECT_THROW(LocalizerUtil::Substitute(L"%1A%", LocalizerUtil::ParseFormat(L"%1A%"), {}),
                 std::out_of_range);
}

}  // namespace
