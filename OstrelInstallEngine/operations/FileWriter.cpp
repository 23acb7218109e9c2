#include "operations/FileWriter.h"

#include <memory>

#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/Stream.h"
#include "base/Win32Exception.h"
#include "operations/NestedProgressLevel.h"
#include "script/InstallerPackage.h"

namespace OstrelInstallEngine {

namespace {

const uint32_t kWriteBlockSize = 40960;

void WriteBlock(HANDLE file, const char* data, uint32_t size, const std::wstring& fileName)
{
    DWORD writtenSize = 0;
    if (!WriteFile(file, data, size, &writtenSize, nullptr)) {
        ThrowWin32Failure(FailureSite::kPayloadWrite, GetLastError(), fileName);
    }
    OSTREL_CHECK(writtenSize == size, 10382);
}

}  // namespace

void FileWriter::WriteStreamToFile(InstallerPackage& package, Stream& source, Stream& progress,
                                   HANDLE file, const std::wstring& fileName)
{
    NestedProgressLevel level(package);
    std::unique_ptr<char[]> buffer(new char[kWriteBlockSize]);
    while (!source.AtEof()) {
        const uint32_t size = source.Read(buffer.get(), kWriteBlockSize);
        WriteBlock(file, buffer.get(), size, fileName);
        const std::wstring statusText = package.GetProgressStack().GetStatusText();
        package.ProgressReport(progress.GetPosition(), progress.GetSize(), statusText);
    }
}

}  // namespace OstrelInstallEngine
