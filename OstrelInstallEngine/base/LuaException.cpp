#include "base/LuaException.h"

#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

LuaException::LuaException(const LuaBindingError& error, int code)
    : BaseException(Localizer::Text(kMsgInternalFailure), Localizer::Text(kMsgInternalFailureSummary),
                    FormatWide(L"%d", code),
                    FormatWide(L"Lua exception: %hs", error.GetErrorMessage()), nullptr)
{
}

std::unique_ptr<Exception> LuaException::Clone() const
{
    return std::make_unique<LuaException>(*this);
}

}  // namespace OstrelInstallEngine
