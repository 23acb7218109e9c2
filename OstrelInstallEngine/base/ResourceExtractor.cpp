#include "base/ResourceExtractor.h"

#include "base/Check.h"
#include "base/MemoryStream.h"

namespace OstrelInstallEngine {

namespace {

HMODULE ModuleOfThisCode()
{
    HMODULE module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&ModuleOfThisCode), &module)) {
        return nullptr;
    }
    return module;
}

}  // namespace

ResourceExtractor* ResourceExtractor::s_instance = nullptr;

void ResourceExtractor::Init()
{
    OSTREL_CHECK(s_instance == NULL, 10057);
    s_instance = new ResourceExtractor();
}

ResourceExtractor* ResourceExtractor::GetInstance()
{
    return s_instance;
}

std::unique_ptr<Stream> ResourceExtractor::GetResource(const wchar_t* name, HMODULE module)
{
    if (module == nullptr) {
        module = ModuleOfThisCode();
    }
    HRSRC hResource = FindResourceW(module, name, RT_RCDATA);
    OSTREL_CHECK_LAST_ERROR(hResource != NULL, 10058);
    const DWORD size = SizeofResource(module, hResource);
    HGLOBAL hResourceData = LoadResource(module, hResource);
    OSTREL_CHECK_LAST_ERROR(hResourceData != NULL, 10060);
    m_loadedResources.push_back(hResourceData);
    const void* resourcePtr = LockResource(hResourceData);
    OSTREL_CHECK_LAST_ERROR(resourcePtr != NULL, 10059);

    auto stream = std::make_unique<MemoryStream>();
    stream->SetData(resourcePtr, size);
    return stream;
}

std::unique_ptr<Stream> ResourceExtractor::GetResource(WORD id, HMODULE module)
{
    return GetResource(MAKEINTRESOURCEW(id), module);
}

}  // namespace OstrelInstallEngine
