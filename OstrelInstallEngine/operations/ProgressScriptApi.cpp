#include "operations/ProgressScriptApi.h"

#include "script/InstallerPackage.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"

namespace OstrelInstallEngine {

namespace {

void Report(ScriptCall& call)
{
    const uint32_t done = call.UIntArgument(1);
    const uint32_t total = call.UIntArgument(2);
    call.Package().ProgressReport(done, total, call.WideArgument(3));
}

void StartStep(ScriptCall& call)
{
    const uint32_t start = call.UIntArgument(1);
    const uint32_t end = call.UIntArgument(2);
    const uint32_t total = call.UIntArgument(3);
    call.Package().ProgressStartStep(start, end, total, call.WideArgument(4));
}

void EndStep(ScriptCall& call)
{
    call.Package().ProgressEndStep();
}

}  // namespace

void ProgressScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("progress", "Report", &Report);
    binding.RegisterFunction("progress", "StartStep", &StartStep);
    binding.RegisterFunction("progress", "EndStep", &EndStep);
}

}  // namespace OstrelInstallEngine
