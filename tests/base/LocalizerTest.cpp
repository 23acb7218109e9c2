// The localizer: the built-in English table against its source, string tables
// written by iconv (UTF-16LE with a byte-order mark) and loaded from files,
// layering, and every malformed line of a table.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "EngineFailure.h"
#include "streams/FileStream.h"
#include "base/Localizer.h"
#include "streams/MemoryStream.h"
#include "TestSupport.h"

namespace {

using OstrelInstallEngine::FileStream;
using OstrelInstallEngine::Localizer;
using OstrelInstallEngine::MemoryStream;
using OstrelTest::CatchEngineFailure;
using OstrelTest::FailsCheck;
using OstrelTest::FixturePath;

std::wstring Text(int id)
{
    return Localizer::GetInstance()->GetString(id);
}

void LoadFile(const std::wstring& path)
{
    auto stream = std::make_unique<FileStream>();
    stream->Open(path);
    Localizer::GetInstance()->Load(std::move(stream));
}

void LoadTable(const std::string& name)
{
    LoadFile(FixturePath("strings/" + name));
}

// A table in memory; the load reads it whole before the buffer goes.
void LoadBytes(const std::string& table)
{
    auto stream = std::make_unique<MemoryStream>();
    stream->SetData(table.data(), static_cast<uint32_t>(table.size()));
    Localizer::GetInstance()->Load(std::move(stream));
}

// The source table, read independently: LF-ended lines of "id<TAB>text".
std::map<int, std::wstring> ReadSourceTable()
{
    const std::string bytes = OstrelTest::ReadFileBytes(
        OstrelTest::SourcePath("uninstaller/res/OstrelInstallEngine.en.txt"));
    std::map<int, std::wstring> table;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        const std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        const size_t tab = line.find('\t');
        EXPECT_NE(std::string::npos, tab) << line;
        std::wstring text;
        for (char c : line.substr(tab + 1)) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        }
        table[std::stoi(line.substr(0, tab))] = text;
    }
    return table;
}

// The table Init read from the program's RCDATA 103 is the source table,
// entry for entry: 65 ids from 1000010001 to 1000010065. An id no table
// defined is not an error.
TEST(LocalizerBuiltInTableTest, MatchesSourceTable)
{
    const std::map<int, std::wstring> source = ReadSourceTable();
    ASSERT_EQ(65u, source.size());
    EXPECT_EQ(1000010001, source.begin()->first);
    EXPECT_EQ(1000010065, source.rbegin()->first);
    for (const auto& entry : source) {
        EXPECT_EQ(entry.second, Text(entry.first)) << entry.first;
    }
    EXPECT_EQ(L"%1ERROR_MESSAGE% (%2ERROR_CODE%)", Text(1000010051));
    for (int unknown : {1000010066, 1000010000, 42, -5}) {
        EXPECT_EQ(L"BAD_STRING: " + std::to_wstring(unknown), Text(unknown));
    }
    EXPECT_EQ(L"BAD_STRING: 42", Localizer::Text(42, L"argument"));
}

// The localizer exists once (10034).
TEST(LocalizerTest, SecondInit)
{
    Localizer* instance = Localizer::GetInstance();
    EXPECT_TRUE(FailsCheck([] { Localizer::Init(); }, L"Localizer", L"s_instance == NULL", 10034));
    EXPECT_EQ(instance, Localizer::GetInstance());
}

// A UTF-16LE table from iconv loads through a file stream: comments, empty
// and blank-only lines are skipped, further tabs belong to the text, the
// mark is not part of the first id, and the last line needs no line end.
TEST(LocalizerTest, LoadsUtf16TableFromFile)
{
    LoadTable("layer1.ucs");
    EXPECT_EQ(L"First text", Text(7001));
    EXPECT_EQ(L"A\tB", Text(7002));
    EXPECT_EQ(L"Caf\u00e9 cr\u00e8me", Text(7003));
    EXPECT_EQ(L"Unable to open \"%1FILE_NAME%\"", Text(7004));
    EXPECT_EQ(L"Unable to open \"C:\\x\"",
              Localizer::GetInstance()->GetFormattedString(7004, L"C:\\x"));
    EXPECT_EQ(L"Last line without its line end", Text(7005));
    EXPECT_EQ(L"Clamped", Text(2147483647));
    EXPECT_EQ(L"Internal check failed", Text(1000010003));
}

// The 8-bit form of the same table gives the same texts (bytes as
// U+0000-U+00FF); a later table overrides the texts of an earlier one and
// keeps the rest; a table in memory loads the same way.
TEST(LocalizerTest, LayeringAndSources)
{
    LoadTable("layer1.ucs");
    LoadTable("layer2.ucs");
    EXPECT_EQ(L"Second text", Text(7001));
    EXPECT_EQ(L"Only in the second", Text(7006));
    LoadTable("layer1.txt");
    EXPECT_EQ(L"First text", Text(7001));
    EXPECT_EQ(L"A\tB", Text(7002));
    EXPECT_EQ(L"Caf\u00e9 cr\u00e8me", Text(7003));
    EXPECT_EQ(L"Last line without its line end", Text(7005));
    EXPECT_EQ(L"Only in the second", Text(7006));

    LoadBytes("7501\tfrom memory\r\n7502\t\r\n");
    EXPECT_EQ(L"from memory", Text(7501));
    EXPECT_EQ(L"", Text(7502));
}

// A malformed line stops the load there: the entries before it stay, the
// rest of the table is not read. An id is digits only, a sign is not one; the
// text reader's failures pass through unchanged, and so does a stream that
// delivers less than its size (10145).
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

// A table that cannot be opened fails with the file stream's open failure.
TEST(LocalizerTest, MissingTable)
{
    auto failure = CatchEngineFailure([] { LoadTable("no-such-table.ucs"); });
    ASSERT_NE(nullptr, failure);
    EXPECT_EQ(L"10008:00000002", failure->GetErrorCode());
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

}  // namespace
