#include "base/Localizer.h"

#include <cstdlib>
#include <cwctype>
#include <new>

#include "base/Check.h"
#include "base/MemoryStream.h"
#include "base/ResourceExtractor.h"
#include "base/TextStream.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

const WORD kBuiltInTableId = 103;
const uint32_t kReaderBufferSize = 40960;

}  // namespace

Localizer* Localizer::s_instance = nullptr;

void Localizer::Init()
{
    OSTREL_CHECK(s_instance == NULL, 10034);
    OSTREL_CHECK(ResourceExtractor::GetInstance() != NULL, 10013);
    s_instance = new Localizer();
    s_instance->Load(ResourceExtractor::GetInstance()->GetResource(kBuiltInTableId));
}

Localizer* Localizer::GetInstance()
{
    return s_instance;
}

std::unique_ptr<Localizer> Localizer::CreateStandalone()
{
    return std::unique_ptr<Localizer>(new Localizer());
}

std::wstring Localizer::BadString(int id)
{
    return FormatWide(L"BAD_STRING: %d", id);
}

void Localizer::Load(std::unique_ptr<Stream> stream)
{
    const uint32_t size = stream->GetSize();
    std::unique_ptr<char[]> data(new (std::nothrow) char[size]);
    OSTREL_CHECK(data != NULL, 10341);
    stream->ReadExact(data.get(), size);

    auto memoryStream = std::make_unique<MemoryStream>();
    memoryStream->SetData(data.get(), size);
    TextStream reader(std::move(memoryStream), kReaderBufferSize);
    while (!reader.AtEof()) {
        ParseLine(reader.ReadLine());
    }
}

void Localizer::ParseLine(const std::wstring& localeLine)
{
    if (localeLine.empty() || localeLine.compare(0, 2, L"//") == 0) {
        return;
    }
    if (std::iswspace(localeLine[0])) {
        for (size_t i = 0; i < localeLine.size(); ++i) {
            OSTREL_CHECK(std::iswspace(localeLine[i]), 10031);
        }
        return;
    }
    size_t tab = 0;
    while (tab < localeLine.size() && localeLine[tab] != L'\t') {
        if (localeLine[tab] < L'0' || localeLine[tab] > L'9') {
            OSTREL_FAIL(10030);
        }
        ++tab;
    }
    if (tab == localeLine.size()) {
        OSTREL_FAIL(10032);
    }
    const int id = static_cast<int>(std::wcstol(localeLine.substr(0, tab).c_str(), nullptr, 10));
    m_strings[id] = localeLine.substr(tab + 1);
}

std::wstring Localizer::GetString(int id) const
{
    auto found = m_strings.find(id);
    return found != m_strings.end() ? found->second : BadString(id);
}

}  // namespace OstrelInstallEngine
