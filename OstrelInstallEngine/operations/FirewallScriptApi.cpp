#include "operations/FirewallScriptApi.h"

#include <memory>

#include "platform/WindowsFirewall.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"
#include "transactions/RemoveAppFromFirewallTask.h"
#include "transactions/Transaction.h"

namespace OstrelInstallEngine {

namespace {

void AddAppToFirewallCall(ScriptCall& call)
{
    const std::wstring imagePath = call.WideArgument(1);
    const std::wstring name = call.WideArgument(2);
    AddAppToFirewall(imagePath.c_str(), name.c_str());
    call.GetTransaction().AddRollbackTask(std::make_unique<RemoveAppFromFirewallTask>(imagePath));
}

void RemoveAppFromFirewallCall(ScriptCall& call)
{
    RemoveAppFromFirewall(call.WideArgument(1).c_str());
}

}  // namespace

void FirewallScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("install", "AddAppToFirewall", &AddAppToFirewallCall);
    binding.RegisterFunction("uninstall", "RemoveAppFromFirewall", &RemoveAppFromFirewallCall);
}

}  // namespace OstrelInstallEngine
