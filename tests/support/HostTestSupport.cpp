#include "HostTestSupport.h"

#include <windows.h>

#include "TestConfig.h"
#include "TestSupport.h"
#include "base/GenericException.h"
#include "base/MemoryStream.h"
#include "base/UniqueHandle.h"
#include "operations/ScriptApi.h"

namespace OstrelTest {

namespace {

// A memory stream that keeps its own copy of the bytes.
class OwningMemoryStream : public OstrelInstallEngine::MemoryStream {
public:
    explicit OwningMemoryStream(std::string bytes) : m_bytes(std::move(bytes))
    {
        SetData(m_bytes.data(), static_cast<uint32_t>(m_bytes.size()));
    }

private:
    std::string m_bytes;
};

}  // namespace

std::unique_ptr<OstrelInstallEngine::Stream> MemoryFilePackage::OpenFile(std::string name)
{
    auto found = m_files.find(name);
    if (found == m_files.end()) {
        throw OstrelInstallEngine::GenericException(L"missing test file", L"missing test file",
                                                    L"No such test file", 1);
    }
    return std::make_unique<OwningMemoryStream>(found->second);
}

ScriptPackage::ScriptPackage(const std::string& script,
                             const std::map<std::string, std::string>& payload)
    : m_package(&OstrelInstallEngine::ScriptApi::Register)
{
    for (const auto& file : payload) {
        m_files.Add(file.first, file.second);
    }
    m_files.Add("uninstall.lua", script);
    m_package.Open(&m_files, "uninstall.lua");
    m_package.SetProgressReporter(&m_reporter);
}

std::wstring ScriptPackage::Prop(const std::string& name)
{
    try {
        return m_package.GetProp(name);
    } catch (const OstrelInstallEngine::Exception&) {
        return L"<missing>";
    }
}

std::wstring ScriptHostPath()
{
    return HostPath(OSTREL_TEST_SCRIPT_HOST_EXE);
}

int RunProgram(const std::wstring& commandLine, std::string* output)
{
    TempFolder folder;
    const std::wstring outputPath = folder.File(L"output.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    OstrelInstallEngine::UniqueFileHandle file(CreateFileW(
        outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup = {};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file.Get();
    startup.hStdError = file.Get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    const DWORD exitCode = RunAndWait(commandLine, startup, true);
    file.Close();
    *output = ReadFileBytes(outputPath);
    for (size_t at = output->find("\r\n"); at != std::string::npos; at = output->find("\r\n", at)) {
        output->erase(at, 1);
    }
    return static_cast<int>(exitCode);
}

}  // namespace OstrelTest
