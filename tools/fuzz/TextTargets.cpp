// The format filler, the string-table loader and the text reader.
#include <memory>
#include <stdexcept>

#include "Fuzzer.h"
#include "base/Localizer.h"
#include "base/LocalizerUtil.h"
#include "base/MemoryStream.h"
#include "base/TextStream.h"

using namespace OstrelInstallEngine;

namespace OstrelFuzz {

namespace {

const std::vector<std::string> kTableFiles = {
    "strings/layer1.txt",       "strings/layer2.txt",       "strings/leading-blank.txt",
    "strings/letter-in-id.txt", "strings/no-tab.txt",       "strings/lone-lf.txt",
    "strings/layer1.ucs",       "strings/layer2.ucs",       "strings/leading-blank.ucs",
    "strings/letter-in-id.ucs", "strings/no-tab.ucs",       "strings/lone-lf.ucs",
    "strings/empty.ucs"};

using namespace std::string_literals;

const std::vector<std::string> kTextTokens = {"\r\n", "\r", "\n", "\t", "//", " ", "\xFF\xFE",
                                              "\xFE\xFF", "\xEF\xBB\xBF", "\r\0\n\0"s, "0", "9",
                                              "%", "%1", "%1X%", "\0"s};

std::vector<SeedInput> TableSeeds(const std::string& fixtureDir)
{
    std::vector<SeedInput> seeds = ReadSeeds(fixtureDir, kTableFiles);
    seeds.push_back({"built-in message table", BuiltInMessageTable()});
    return seeds;
}

std::unique_ptr<Stream> StreamOver(const Bytes& input)
{
    auto stream = std::make_unique<MemoryStream>();
    stream->SetData(input.data(), static_cast<uint32_t>(input.size()));
    return stream;
}

// The texts of the built-in table, each a seed of its own, with a few more
// that the table lacks (digit 0, adjacent and unclosed placeholders).
std::vector<SeedInput> FormatSeeds()
{
    std::vector<SeedInput> seeds;
    const Bytes table = BuiltInMessageTable();
    std::string line;
    for (const uint8_t byte : table) {
        if (byte == '\n') {
            const size_t tab = line.find('\t');
            if (tab != std::string::npos && line.find('%') != std::string::npos) {
                seeds.push_back({"built-in text", Bytes(line.begin() + tab + 1, line.end())});
            }
            line.clear();
        } else if (byte != '\r') {
            line += static_cast<char>(byte);
        }
    }
    for (const char* text : {"Unable to open \"%1FILE_NAME%\"", "%1A%%2B%%9C%", "%0ZERO%", "%1",
                             "100%", "%2SECOND% before %1FIRST%", ""}) {
        seeds.push_back({"built-in", Bytes(text, text + std::char_traits<char>::length(text))});
    }
    return seeds;
}

// Odd bytes give one character each; the case decides how many arguments
// there are, so that placeholders without an argument come up too.
void FillFormat(const Bytes& input, CaseRandom& random)
{
    std::wstring format;
    for (const uint8_t byte : input) {
        format += static_cast<wchar_t>(byte);
    }
    std::vector<std::wstring> arguments;
    const size_t count = random() % 11;
    for (size_t i = 0; i < count; ++i) {
        arguments.push_back(random() % 4 == 0 ? L"%1X%" : std::wstring(random() % 8, L'a' + i));
    }
    LocalizerUtil::FormatString(format, arguments);
}

void LoadTable(const Bytes& input, CaseRandom&)
{
    Localizer::CreateStandalone()->Load(StreamOver(input));
}

// Refill sizes from one byte up, so that characters and line ends straddle
// the buffer's edge.
void ReadText(const Bytes& input, CaseRandom& random)
{
    static const uint32_t kSizes[] = {1, 2, 3, 7, 64, 4096, TextStream::BUFFER_MAX_SIZE};
    const uint32_t bufferMax = kSizes[random() % std::size(kSizes)];
    auto reader = std::make_unique<TextStream>(StreamOver(input), bufferMax);
    while (!reader->AtEof()) {
        reader->ReadLine();
    }
}

}  // namespace

Target MakeFormatFillerTarget(const std::string&)
{
    return {"format-filler", FormatSeeds(), kTextTokens, FillFormat,
            // A placeholder whose argument is missing is documented as std::out_of_range.
            [](const std::exception& error) {
                return dynamic_cast<const std::out_of_range*>(&error) != nullptr;
            }};
}

Target MakeStringTableTarget(const std::string& fixtureDir)
{
    return {"string-table", TableSeeds(fixtureDir), kTextTokens, LoadTable, nullptr};
}

Target MakeTextReaderTarget(const std::string& fixtureDir)
{
    return {"text-reader", TableSeeds(fixtureDir), kTextTokens, ReadText, nullptr};
}

}  // namespace OstrelFuzz
