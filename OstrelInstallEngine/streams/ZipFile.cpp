#include "streams/ZipFile.h"

#include <unzip.h>

#include <cstring>
#include <exception>

#include "base/Check.h"
#include "base/FailureSites.h"
#include "base/Localizer.h"
#include "base/MiniZipException.h"
#include "base/SanityCheckException.h"
#include "base/Util.h"

namespace OstrelInstallEngine {

namespace {

// The closed handle; this version of minizip's header does not name it.
const unzFile unzFile_NULL = nullptr;

// The name minizip passes back to the open callback; nothing is on disk.
const char kMemoryFileName[] = "MEMORY";

struct ZipErrorKind {
    const wchar_t* englishText;
    int localizedId;
};

ZipErrorKind KindOfResult(int result)
{
    switch (result) {
    case UNZ_CRCERROR:
        return {L"Zip CRC error", kMsgArchiveDataError};
    case UNZ_INTERNALERROR:
    case UNZ_ERRNO:
        return {L"Minizip or wrapper internal error", kMsgArchiveInternalError};
    case UNZ_BADZIPFILE:
        return {L"Zip format error", kMsgArchiveFormatError};
    default:
        return {L"Minizip unexpected error", kMsgArchiveUnspecifiedError};
    }
}

unzFile AsUnzFile(void* zip)
{
    return static_cast<unzFile>(zip);
}

}  // namespace

// minizip's file functions over the archive Stream. They are C callbacks:
// nothing may unwind through minizip, so a failure is stored in the ZipFile
// and reported to minizip as a failure value.
struct ZipFile::MiniZipCallbacks {
    template <typename Result, typename Body>
    static Result Guarded(void* opaque, const char* callbackName, Result failure,
                          Body body) noexcept
    {
        if (opaque == nullptr) {
            return failure;
        }
        ZipFile* zipFile = static_cast<ZipFile*>(opaque);
        try {
            return body(zipFile);
        } catch (const Exception& error) {
            zipFile->m_pendingException = error.Clone();
        } catch (const std::exception& error) {
            zipFile->m_pendingException = std::make_unique<SanityCheckException>(
                FormatWide(L"std::exception in %hs: %hs", callbackName, error.what()), 10284);
        }
        return failure;
    }

    static voidpf ZCALLBACK Open(voidpf opaque, const char* filename, int mode)
    {
        return Guarded<voidpf>(
            opaque, "OstrelInstallEngine::ZipFile::open_file_func", nullptr,
            [=](ZipFile* zipFile) -> voidpf {
                OSTREL_CHECK(strcmp(filename, "MEMORY") == 0, 10272);
                OSTREL_CHECK(zipFile != NULL, 10274);
                OSTREL_CHECK(zipFile->m_zipStream.get() != NULL, 10289);
                OSTREL_CHECK(!zipFile->m_zipStreamOpened, 10273);
                OSTREL_CHECK(
                    (mode & ZLIB_FILEFUNC_MODE_READ) && (mode & ZLIB_FILEFUNC_MODE_EXISTING),
                    10301);
                zipFile->m_zipStreamOpened = true;
                return zipFile->m_zipStream.get();
            });
    }

    static uLong ZCALLBACK Read(voidpf opaque, voidpf stream, void* buf, uLong size)
    {
        return Guarded<uLong>(
            opaque, "OstrelInstallEngine::ZipFile::read_file_func", static_cast<uLong>(-1),
            [=](ZipFile* zipFile) -> uLong {
                Stream* s = static_cast<Stream*>(stream);
                OSTREL_CHECK(s != NULL, 10275);
                OSTREL_CHECK(s == zipFile->m_zipStream.get(), 10288);
                return s->Read(buf, size);
            });
    }

    static uLong ZCALLBACK Write(voidpf opaque, voidpf, const void*, uLong)
    {
        return Guarded<uLong>(opaque, "OstrelInstallEngine::ZipFile::write_file_func",
                              static_cast<uLong>(-1), [](ZipFile*) -> uLong {
                                  OSTREL_FAIL(10276);
                              });
    }

    static long ZCALLBACK Tell(voidpf opaque, voidpf stream)
    {
        return Guarded<long>(opaque, "OstrelInstallEngine::ZipFile::tell_file_func", -1L,
                             [=](ZipFile* zipFile) -> long {
                                 Stream* s = static_cast<Stream*>(stream);
                                 OSTREL_CHECK(s != NULL, 10277);
                                 OSTREL_CHECK(s == zipFile->m_zipStream.get(), 10287);
                                 return static_cast<long>(s->GetPosition());
                             });
    }

    static long ZCALLBACK Seek(voidpf opaque, voidpf stream, uLong offset, int origin)
    {
        return Guarded<long>(opaque, "OstrelInstallEngine::ZipFile::seek_file_func", -1L,
                             [=](ZipFile* zipFile) -> long {
                                 Stream* s = static_cast<Stream*>(stream);
                                 OSTREL_CHECK(s != NULL, 10282);
                                 OSTREL_CHECK(s == zipFile->m_zipStream.get(), 10286);
                                 SeekStream(s, offset, origin);
                                 return 0;
                             });
    }

    static void SeekStream(Stream* s, uLong offset, int origin)
    {
        switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            OSTREL_CHECK(offset < s->GetSize(), 10283);
            s->SetPosition(offset);
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            OSTREL_CHECK(offset < (s->GetSize() - s->GetPosition()), 10278);
            s->SetPosition(s->GetPosition() + offset);
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            OSTREL_CHECK(offset == 0, 10279);
            s->SetPosition(s->GetSize());
            break;
        default:
            OSTREL_FAIL(10281);
        }
    }

    static int ZCALLBACK Close(voidpf opaque, voidpf stream)
    {
        return Guarded<int>(opaque, "OstrelInstallEngine::ZipFile::close_file_func", -1,
                            [=](ZipFile* zipFile) -> int {
                                Stream* s = static_cast<Stream*>(stream);
                                OSTREL_CHECK(s == zipFile->m_zipStream.get(), 10285);
                                zipFile->m_zipStreamOpened = false;
                                return 0;
                            });
    }

    static int ZCALLBACK TestError(voidpf opaque, voidpf stream)
    {
        return Guarded<int>(opaque, "OstrelInstallEngine::ZipFile::testerror_file_func", -1,
                            [=](ZipFile* zipFile) -> int {
                                Stream* s = static_cast<Stream*>(stream);
                                OSTREL_CHECK(s == zipFile->m_zipStream.get(), 10320);
                                return zipFile->m_pendingException ? 1 : 0;
                            });
    }
};

ZipFile::~ZipFile()
{
    try {
        Close();
    } catch (const Exception&) {
        // An entry stream still open: the handle must not outlive the stream.
        if (m_zip != unzFile_NULL) {
            unzClose(AsUnzFile(m_zip));
            m_zip = unzFile_NULL;
        }
    }
}

void ZipFile::Open(std::wstring zipName, std::unique_ptr<Stream> stream)
{
    OSTREL_CHECK(!m_inUse && (m_zipStream.get() == NULL), 10291);
    m_zipName = std::move(zipName);
    m_zipStream = std::move(stream);
    m_pendingException.reset();
    try {
        OpenArchive();
    } catch (...) {
        // A failed open leaves nothing behind: the archive is closed again.
        ReleaseArchive();
        throw;
    }
}

void ZipFile::OpenArchive()
{
    zlib_filefunc_def callbacks;
    callbacks.zopen_file = &MiniZipCallbacks::Open;
    callbacks.zread_file = &MiniZipCallbacks::Read;
    callbacks.zwrite_file = &MiniZipCallbacks::Write;
    callbacks.ztell_file = &MiniZipCallbacks::Tell;
    callbacks.zseek_file = &MiniZipCallbacks::Seek;
    callbacks.zclose_file = &MiniZipCallbacks::Close;
    callbacks.zerror_file = &MiniZipCallbacks::TestError;
    callbacks.opaque = this;
    m_zip = unzOpen2(kMemoryFileName, &callbacks);
    if (m_pendingException) {
        if (m_zip != unzFile_NULL) {
            unzClose(AsUnzFile(m_zip));
            m_zip = unzFile_NULL;
        }
        const std::unique_ptr<Exception> pending = std::move(m_pendingException);
        pending->Rethrow();
    }
    OSTREL_CHECK(m_zip != NULL, 10290);
}

void ZipFile::ReleaseArchive()
{
    m_zipName.clear();
    m_zipStream.reset();
    m_zipStreamOpened = false;
    m_inUse = false;
}

std::unique_ptr<Stream> ZipFile::OpenFile(std::wstring name)
{
    OSTREL_CHECK(m_zip != unzFile_NULL, 10300);
    auto stream = std::make_unique<ZipFileStream>();
    stream->Open(this, std::move(name));
    return stream;
}

std::vector<std::wstring> ZipFile::GetFileNames()
{
    OSTREL_CHECK(m_zip != unzFile_NULL, 10299);
    OSTREL_CHECK(!m_inUse, 10317);
    const unzFile zip = AsUnzFile(m_zip);
    std::vector<std::wstring> names;
    // minizip cannot go to the first entry of an archive that has none.
    unz_global_info globalInfo;
    CheckResult(unzGetGlobalInfo(zip, &globalInfo), L"unzGetGlobalInfo", 10323);
    if (globalInfo.number_entry == 0) {
        return names;
    }
    int r = CheckResult(unzGoToFirstFile(zip), L"unzGoToFirstFile", 10297);
    while (r != UNZ_END_OF_LIST_OF_FILE) {
        CheckResult(unzOpenCurrentFile(zip), L"unzOpenCurrentFile", 10296);
        unz_file_info info;
        char nameBuffer[1000];
        CheckResult(unzGetCurrentFileInfo(zip, &info, nameBuffer, sizeof(nameBuffer), NULL, 0,
                                          NULL, 0),
                    L"unzGetCurrentFileInfo", 10298);
        // minizip leaves a name that fills the buffer unterminated.
        OSTREL_CHECK(info.size_filename < sizeof(nameBuffer), 10322);
        names.push_back(Widen(nameBuffer));
        r = unzGoToNextFile(zip);
        if (r != UNZ_END_OF_LIST_OF_FILE) {
            CheckResult(r, L"unzGoToNextFile", 10294);
        }
    }
    return names;
}

void ZipFile::Close()
{
    OSTREL_CHECK(!m_inUse, 10292);
    if (m_zip == unzFile_NULL) {
        return;
    }
    unzClose(AsUnzFile(m_zip));
    m_zip = unzFile_NULL;
    OSTREL_CHECK(!m_zipStreamOpened, 10293);
    m_zipName.clear();
    m_zipStream.reset();
    m_zipStreamOpened = false;
}

int ZipFile::CheckResult(int result, std::wstring apiName, int code)
{
    if (result >= 0) {
        return result;
    }
    const ZipErrorKind kind = KindOfResult(result);
    throw MiniZipException(
        Localizer::Text(kMsgArchiveFailure, Localizer::Text(kind.localizedId), m_zipName),
        Localizer::Text(kMsgArchiveFailureSummary, m_zipName),
        FormatWide(L"%s in \"%s\" while calling \"%s\"", kind.englishText, m_zipName.c_str(),
                   apiName.c_str()),
        code, apiName, result);
}

ZipFile::ZipFileStream::~ZipFileStream()
{
    if (m_zipFile != nullptr) {
        try {
            ZipFileStream::Close();
        } catch (const Exception&) {
        }
    }
}

void ZipFile::ZipFileStream::Open(ZipFile* zipFile, std::wstring name)
{
    OSTREL_CHECK(m_zipFile == NULL, 10302);
    OSTREL_CHECK(zipFile != NULL, 10310);
    OSTREL_CHECK(!zipFile->m_inUse, 10311);
    std::string narrowName;
    for (const wchar_t character : name) {
        if (character < 128) {
            narrowName += character == L'\\' ? '/' : static_cast<char>(character);
        }
    }
    const unzFile zip = AsUnzFile(zipFile->m_zip);
    zipFile->CheckResult(unzLocateFile(zip, narrowName.c_str(), 0), L"unzLocateFile", 10295);
    zipFile->CheckResult(unzOpenCurrentFile(zip), L"unzOpenCurrentFile", 10321);
    unz_file_info info;
    zipFile->CheckResult(unzGetCurrentFileInfo(zip, &info, NULL, 0, NULL, 0, NULL, 0),
                         L"unzGetCurrentFileInfo", 10316);
    m_uncompressedSize = info.uncompressed_size;
    m_zipFile = zipFile;
    zipFile->m_inUse = true;
}

uint32_t ZipFile::ZipFileStream::Read(void* buffer, uint32_t size)
{
    OSTREL_CHECK(m_zipFile != NULL, 10304);
    return m_zipFile->CheckResult(unzReadCurrentFile(AsUnzFile(m_zipFile->m_zip), buffer, size),
                                  L"unzReadCurrentFile", 10312);
}

bool ZipFile::ZipFileStream::AtEof()
{
    OSTREL_CHECK(m_zipFile != NULL, 10305);
    return m_zipFile->CheckResult(unzeof(AsUnzFile(m_zipFile->m_zip)), L"unzeof", 10315) > 0;
}

uint32_t ZipFile::ZipFileStream::GetSize()
{
    OSTREL_CHECK(m_zipFile != NULL, 10306);
    return m_uncompressedSize;
}

uint32_t ZipFile::ZipFileStream::GetPosition()
{
    OSTREL_CHECK(m_zipFile != NULL, 10307);
    return m_zipFile->CheckResult(static_cast<int>(unztell(AsUnzFile(m_zipFile->m_zip))),
                                  L"unztell", 10313);
}

void ZipFile::ZipFileStream::SetPosition(uint32_t pos)
{
    if (pos == GetPosition()) {
        return;
    }
    if (pos != 0) {
        OSTREL_FAIL(10308);
    }
    const unzFile zip = AsUnzFile(m_zipFile->m_zip);
    m_zipFile->CheckResult(unzCloseCurrentFile(zip), L"unzCloseCurrentFile", 10362);
    m_zipFile->CheckResult(unzOpenCurrentFile(zip), L"unzOpenCurrentFile", 10363);
}

void ZipFile::ZipFileStream::Close()
{
    OSTREL_CHECK(m_zipFile != NULL, 10303);
    OSTREL_CHECK(m_zipFile->m_inUse, 10309);
    // minizip closes the entry even when it reports a CRC mismatch, so the
    // archive is free again before the result is judged.
    ZipFile* const zipFile = m_zipFile;
    const int result = unzCloseCurrentFile(AsUnzFile(zipFile->m_zip));
    zipFile->m_inUse = false;
    m_zipFile = nullptr;
    zipFile->CheckResult(result, L"unzCloseCurrentFile", 10314);
}

}  // namespace OstrelInstallEngine
