// An installer package opened on one script held in memory, for the tests of
// the Game Explorer, firewall and process script functions. COM is
// initialised on the test's thread, as the installer's worker does.
#pragma once

#include <memory>
#include <string>

#include "base/ComInitializer.h"
#include "base/Exceptions.h"
#include "script/InstallerPackage.h"
#include "streams/FilePackage.h"
#include "streams/MemoryStream.h"

namespace IntegrationTest {

class OneScriptPackage final : public OstrelInstallEngine::FilePackage {
public:
    explicit OneScriptPackage(std::string script) : m_script(std::move(script)) {}
    std::unique_ptr<OstrelInstallEngine::Stream> OpenFile(std::string) override
    {
        auto stream = std::make_unique<OstrelInstallEngine::MemoryStream>();
        stream->SetData(m_script.data(), static_cast<uint32_t>(m_script.size()));
        return stream;
    }
    void Close() override {}

private:
    std::string m_script;
};

class IntegrationScript {
public:
    explicit IntegrationScript(const std::string& script) : m_files(script)
    {
        m_package.Open(&m_files, "uninstall.lua");
    }
    OstrelInstallEngine::InstallerPackage& Package() { return m_package; }
    // props[name] as text, "<missing>" when it is not a wide string.
    std::wstring Prop(const std::string& name)
    {
        try {
            return m_package.GetProp(name);
        } catch (const OstrelInstallEngine::Exception&) {
            return L"<missing>";
        }
    }
    // A clone of what Execute threw; null when it succeeded.
    std::unique_ptr<OstrelInstallEngine::Exception> ExecuteFailure()
    {
        try {
            m_package.Execute();
        } catch (const OstrelInstallEngine::Exception& failure) {
            return failure.Clone();
        }
        return nullptr;
    }

private:
    OstrelInstallEngine::ComInitializer m_com;
    OneScriptPackage m_files;
    OstrelInstallEngine::InstallerPackage m_package;
};

// A Lua wide literal of a Windows path: backslashes doubled.
inline std::string LuaWide(const std::wstring& text)
{
    std::string literal = "L\"";
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') {
            literal += '\\';
        }
        literal += static_cast<char>(c);
    }
    return literal + "\"";
}

}  // namespace IntegrationTest
