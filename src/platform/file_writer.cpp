// What the file writers of every platform share: failing leaves nothing behind.
#include "platform/file_writer.h"

#include <utility>

namespace Geo::Platform {

CFileWriter::~CFileWriter() { Abandon(); }

bool CFileWriter::Fail(std::string text) {
    Abandon();
    m_failed = true;
    m_error = std::move(text);
    return false;
}

} // namespace Geo::Platform
