#include "script/LuaFunctionTask.h"

#include "base/Exception.h"
#include "script/LuaBinding.h"
#include "base/LuaBindingError.h"

namespace OstrelInstallEngine {

LuaFunctionTask::LuaFunctionTask(LuaBinding& binding, int reference, bool isFunction)
    : m_binding(binding), m_functionObj(reference)
{
    if (!isFunction) {
        m_binding.ReleaseReference(reference);
        throw LuaBindingError("m_functionObj.IsFunction()");
    }
}

LuaFunctionTask::~LuaFunctionTask()
{
    m_binding.ReleaseReference(m_functionObj);
}

void LuaFunctionTask::Perform()
{
    try {
        m_binding.CallReference(m_functionObj);
    } catch (const Exception&) {
    } catch (const CancelInstallException&) {
    }
}

}  // namespace OstrelInstallEngine
