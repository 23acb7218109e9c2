#include "DirectoryFilePackage.h"

#include "streams/FileStream.h"
#include "base/Util.h"

std::unique_ptr<OstrelInstallEngine::Stream> DirectoryFilePackage::OpenFile(std::string name)
{
    std::wstring path = m_folder + L"\\" + OstrelInstallEngine::Widen(name);
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    auto stream = std::make_unique<OstrelInstallEngine::FileStream>();
    stream->Open(path);
    return stream;
}
