// Reads RCDATA resources of a module in place, as streams over the locked
// resource bytes (valid for the life of the process, never copied).
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

namespace OstrelInstallEngine {

class Stream;

class ResourceExtractor {
public:
    // Creates the instance; a second call fails (10057).
    static void Init();
    // Null before Init. The instance lives until the process ends.
    static ResourceExtractor* GetInstance();

    // A stream over the RT_RCDATA resource of that name or integer id. Without
    // a module, the module that holds the engine's code. A missing resource
    // fails (10058).
    std::unique_ptr<Stream> GetResource(const wchar_t* name, HMODULE module = nullptr);
    std::unique_ptr<Stream> GetResource(WORD id, HMODULE module = nullptr);

private:
    ResourceExtractor() = default;

    // Loaded resources stay loaded: the streams point into them.
    std::vector<HGLOBAL> m_loadedResources;

    static ResourceExtractor* s_instance;
};

}  // namespace OstrelInstallEngine
