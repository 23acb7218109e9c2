#include "base/ComInitializer.h"

#include "base/Check.h"

namespace OstrelInstallEngine {

namespace {

thread_local bool t_entered = false;
thread_local HRESULT t_result = S_OK;

}  // namespace

void ThreadApartment::Enter()
{
    if (!t_entered) {
        t_entered = true;
        t_result = CoInitialize(nullptr);
    }
    const HRESULT result = t_result;
    OSTREL_CHECK_HRESULT(result, 10093);
}

void ThreadApartment::Leave()
{
    if (t_entered && SUCCEEDED(t_result)) {
        CoUninitialize();
    }
    t_entered = false;
}

}  // namespace OstrelInstallEngine
