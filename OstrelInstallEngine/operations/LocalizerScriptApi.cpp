#include "operations/LocalizerScriptApi.h"

#include <vector>

#include "base/Check.h"
#include "base/Localizer.h"
#include "base/LocalizerUtil.h"
#include "script/LuaBinding.h"
#include "script/ScriptCall.h"

namespace OstrelInstallEngine {

namespace {

// The arguments after the first, each a wide string or a number.
std::vector<std::wstring> FormatArguments(ScriptCall& call)
{
    std::vector<std::wstring> arguments;
    for (int number = 2; number <= call.ArgumentCount(); ++number) {
        arguments.push_back(call.TextArgument(number));
    }
    return arguments;
}

void GetString(ScriptCall& call)
{
    const int id = static_cast<int>(call.UIntArgument(1));
    call.ReturnWide(Localizer::Text(id));
}

void FormatString(ScriptCall& call)
{
    const std::wstring format = call.WideArgument(1);
    const int numArgs = call.ArgumentCount();
    OSTREL_CHECK(numArgs >= 2, 10215);
    call.ReturnWide(LocalizerUtil::FormatString(format, FormatArguments(call)));
}

void GetFormattedString(ScriptCall& call)
{
    const std::wstring format = Localizer::Text(call.IntArgument(1));
    const int numArgs = call.ArgumentCount();
    OSTREL_CHECK(numArgs >= 2, 10216);
    call.ReturnWide(LocalizerUtil::FormatString(format, FormatArguments(call)));
}

}  // namespace

void LocalizerScriptApi::Register(LuaBinding& binding)
{
    binding.RegisterFunction("localizer", "GetString", &GetString);
    binding.RegisterFunction("localizer", "FormatString", &FormatString);
    binding.RegisterFunction("localizer", "GetFormattedString", &GetFormattedString);
}

}  // namespace OstrelInstallEngine
