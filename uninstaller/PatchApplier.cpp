#include "PatchApplier.h"

#include <stdexcept>

#include "base/Exception.h"
#include "base/Localizer.h"
#include "base/ResourceExtractor.h"
#include "operations/ScriptApi.h"

using namespace OstrelInstallEngine;

PatchApplier* PatchApplier::s_instance = nullptr;

void PatchApplier::Init()
{
    if (s_instance != nullptr) {
        throw std::logic_error("Initializing PatchApplier more than once");
    }
    s_instance = new PatchApplier();
}

PatchApplier* PatchApplier::Instance()
{
    return s_instance;
}

PatchApplier::PatchApplier() : m_installerPackage(&ScriptApi::Register)
{
    m_zipPackage.Open(L"Uninstall.zip", ResourceExtractor::GetInstance()->GetResource(L"UNINSTALL.ZIP"));
    // Later tables override earlier ones, so the product's language wins over
    // the built-in English texts.
    for (const char* table : {"OstrelInstallEngine.ucs", "OstrelUninstaller.ucs", "Uninstaller.ucs"}) {
        Localizer::GetInstance()->Load(m_zipPackage.OpenFile(table));
    }
    m_installerPackage.Open(&m_zipPackage, "uninstall.lua");
    m_asyncInstaller = std::make_unique<AsyncInstaller>(&m_installerPackage);
}

std::unique_ptr<Stream> PatchApplier::OpenFile(const std::string& name)
{
    return m_zipPackage.OpenFile(name);
}

void PatchApplier::Start()
{
    m_asyncInstaller->Prepare();
    if (m_asyncInstaller->GetState() == AIS_READY_TO_INSTALL) {
        m_workerThread = m_asyncInstaller->Start();
    }
}

bool PatchApplier::WaitForWorker(DWORD milliseconds)
{
    if (m_workerThread == nullptr) {
        Sleep(milliseconds);
        return false;
    }
    return WaitForSingleObject(m_workerThread, milliseconds) == WAIT_OBJECT_0;
}

AsyncInstallerState PatchApplier::GetState()
{
    return m_asyncInstaller->GetState();
}

AsyncInstallerState PatchApplier::GetStatus(double* progress, std::wstring* text)
{
    return m_asyncInstaller->GetStatus(progress, text);
}

std::wstring PatchApplier::GetErrorText()
{
    const Exception* error = m_asyncInstaller->GetError();
    return error != nullptr ? error->GetDisplayMessage() : std::wstring();
}

bool PatchApplier::HasProblems()
{
    return !m_installerPackage.GetErrors().empty();
}

std::vector<std::wstring> PatchApplier::GetProblemTexts()
{
    std::vector<std::wstring> texts;
    for (const Exception* problem : m_installerPackage.GetErrors()) {
        texts.push_back(problem->GetDisplaySummary());
    }
    return texts;
}

void PatchApplier::SetProperty(const std::string& name, bool value)
{
    m_installerPackage.SetBoolProp(name, value);
}

void PatchApplier::SetFilesHeldByLauncher(const std::vector<std::wstring>& paths)
{
    m_installerPackage.GetTransaction().GetDeferredRemovals().SetHeldFiles(paths);
}

void PatchApplier::PerformDeferredRemovals()
{
    m_installerPackage.GetTransaction().GetDeferredRemovals().Perform();
}

void PatchApplier::RemoveEngineTempFolder()
{
    m_installerPackage.GetTransaction().GetSystemStateManager().RemoveTempFolder();
}
