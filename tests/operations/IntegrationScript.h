// A script package with COM initialised on the test's thread, as the
// installer's worker does, for the Game Explorer, firewall and process tests.
#pragma once

#include <memory>
#include <string>

#include "EngineFailure.h"
#include "HostTestSupport.h"
#include "base/ComInitializer.h"

namespace IntegrationTest {

class IntegrationScript {
public:
    explicit IntegrationScript(const std::string& script) : m_script(script) {}
    OstrelInstallEngine::InstallerPackage& Package() { return m_script.Package(); }
    std::wstring Prop(const std::string& name) { return m_script.Prop(name); }
    // A clone of what Execute threw; null when it succeeded.
    std::unique_ptr<OstrelInstallEngine::Exception> ExecuteFailure()
    {
        return OstrelTest::CatchEngineFailure([this] { m_script.Package().Execute(); });
    }

private:
    OstrelInstallEngine::ComInitializer m_com;
    OstrelTest::ScriptPackage m_script;
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
