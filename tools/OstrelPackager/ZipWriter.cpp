#include "ZipWriter.h"

#include <zip.h>

#include <cstring>

#include "base/Check.h"

namespace OstrelPackagerTool {

namespace {

ZipWriter* Writer(void* opaque)
{
    return static_cast<ZipWriter*>(opaque);
}

uLong DosDate(const FILETIME& modified)
{
    FILETIME local;
    WORD date = 0;
    WORD time = 0;
    if (!FileTimeToLocalFileTime(&modified, &local) ||
        !FileTimeToDosDateTime(&local, &date, &time)) {
        return 0;
    }
    return (static_cast<uLong>(date) << 16) | time;
}

}  // namespace

ZipWriter::ZipWriter()
{
    zlib_filefunc_def functions = {};
    functions.zopen_file = &OpenCallback;
    functions.zread_file = &ReadCallback;
    functions.zwrite_file = &WriteCallback;
    functions.ztell_file = &TellCallback;
    functions.zseek_file = &SeekCallback;
    functions.zclose_file = &CloseCallback;
    functions.zerror_file = &ErrorCallback;
    functions.opaque = this;
    m_zip = zipOpen2("MEMORY", APPEND_STATUS_CREATE, nullptr, &functions);
    OSTREL_CHECK(m_zip != nullptr, 10901);
}

ZipWriter::~ZipWriter()
{
    if (m_zip != nullptr) {
        zipClose(m_zip, nullptr);
    }
}

void ZipWriter::AddFile(const std::string& entryName, const std::string& content,
                        const FILETIME& modified)
{
    OSTREL_CHECK(m_zip != nullptr, 10902);
    zip_fileinfo info = {};
    info.dosDate = DosDate(modified);
    int result = zipOpenNewFileInZip(m_zip, entryName.c_str(), &info, nullptr, 0, nullptr, 0,
                                     nullptr, Z_DEFLATED, Z_BEST_COMPRESSION);
    OSTREL_CHECK(result == ZIP_OK, 10903);
    result = zipWriteInFileInZip(m_zip, content.data(), static_cast<unsigned>(content.size()));
    OSTREL_CHECK(result == ZIP_OK, 10904);
    result = zipCloseFileInZip(m_zip);
    OSTREL_CHECK(result == ZIP_OK, 10905);
}

std::string ZipWriter::Finish()
{
    OSTREL_CHECK(m_zip != nullptr, 10906);
    const int result = zipClose(m_zip, nullptr);
    m_zip = nullptr;
    OSTREL_CHECK(result == ZIP_OK, 10907);
    return m_bytes;
}

void* ZipWriter::OpenCallback(void* opaque, const char*, int)
{
    return opaque;
}

unsigned long ZipWriter::ReadCallback(void* opaque, void*, void* buffer, unsigned long size)
{
    ZipWriter* writer = Writer(opaque);
    const size_t available = writer->m_bytes.size() - writer->m_position;
    const size_t count = size < available ? size : available;
    memcpy(buffer, writer->m_bytes.data() + writer->m_position, count);
    writer->m_position += count;
    return static_cast<unsigned long>(count);
}

unsigned long ZipWriter::WriteCallback(void* opaque, void*, const void* buffer,
                                       unsigned long size)
{
    ZipWriter* writer = Writer(opaque);
    if (writer->m_position + size > writer->m_bytes.size()) {
        writer->m_bytes.resize(writer->m_position + size);
    }
    memcpy(&writer->m_bytes[writer->m_position], buffer, size);
    writer->m_position += size;
    return size;
}

long ZipWriter::TellCallback(void* opaque, void*)
{
    return static_cast<long>(Writer(opaque)->m_position);
}

long ZipWriter::SeekCallback(void* opaque, void*, unsigned long offset, int origin)
{
    ZipWriter* writer = Writer(opaque);
    size_t base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
        base = writer->m_position;
    } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
        base = writer->m_bytes.size();
    }
    if (base + offset > writer->m_bytes.size()) {
        return -1;
    }
    writer->m_position = base + offset;
    return 0;
}

int ZipWriter::CloseCallback(void*, void*)
{
    return 0;
}

int ZipWriter::ErrorCallback(void*, void*)
{
    return 0;
}

}  // namespace OstrelPackagerTool
