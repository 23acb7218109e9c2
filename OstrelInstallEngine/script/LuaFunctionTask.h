// A script function queued with install.AddRollbackTask or
// install.AddCommitTask. The task holds a reference to the function, so it
// outlives the script's own variables.
#pragma once

#include "transactions/RollbackCommitTask.h"

namespace OstrelInstallEngine {

class LuaBinding;

class LuaFunctionTask : public RollbackCommitTask {
public:
    // Takes over a registry reference to the value. A value that is not a
    // function is refused with the binding's error "m_functionObj.IsFunction()"
    // (the reference is released).
    LuaFunctionTask(LuaBinding& binding, int reference, bool isFunction);
    ~LuaFunctionTask() override;

    // Calls the function without arguments. Engine exceptions and a cancel
    // request raised inside are dropped, so the rest of the list still runs; a
    // Lua error leaves as LuaBindingError.
    void Perform() override;

private:
    LuaBinding& m_binding;
    int m_functionObj;
};

}  // namespace OstrelInstallEngine
