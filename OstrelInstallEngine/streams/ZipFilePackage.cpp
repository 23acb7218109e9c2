#include "streams/ZipFilePackage.h"

#include "base/Util.h"

namespace OstrelInstallEngine {

void ZipFilePackage::Open(std::wstring zipName, std::unique_ptr<Stream> stream)
{
    m_zipFile.Open(std::move(zipName), std::move(stream));
}

std::unique_ptr<Stream> ZipFilePackage::OpenFile(std::string name)
{
    return m_zipFile.OpenFile(Widen(name));
}

void ZipFilePackage::Close()
{
    m_zipFile.Close();
}

}  // namespace OstrelInstallEngine
