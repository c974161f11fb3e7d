// A small record file that the processes of one user read and rewrite in turn, under the
// system's exclusive file lock (flock on POSIX, LockFileEx on Windows).
#ifndef VEXOGEO_PLATFORM_LOCKED_FILE_H
#define VEXOGEO_PLATFORM_LOCKED_FILE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Geo::Platform {

/// One open, exclusively locked record file. `Lock` opens the file (creating it with the
/// process's default mode) and takes the lock, `Read` and `Write` work on its whole content,
/// `Unlock` or the destructor releases it. The system drops the lock of a process that dies, so
/// a holder that crashed never blocks the others. Each object is one lock holder: threads of one
/// process exclude each other with objects of their own. One thread per object.
///
/// The record is rewritten in place, not replaced as `CFileWriter` replaces files: the lock
/// belongs to the open file, and a new file renamed over it would carry none. Keep records small
/// (one write call); a record torn by a crash must read as no record.
class CLockedFile {
  public:
    CLockedFile() = default;
    /// Releases the lock and closes the file.
    ~CLockedFile();
    CLockedFile(const CLockedFile &) = delete;
    CLockedFile &operator=(const CLockedFile &) = delete;

    /// Opens the file at `path` (its folder must exist) and tries to lock it until `patience`
    /// has passed. @return false when `path` names anything but a regular file, the file cannot
    /// be opened for writing or created, or another holder kept the lock for all of `patience`.
    bool Lock(const std::string &path, std::chrono::milliseconds patience);
    /// Replaces `bytes` by the whole content. @return false when nothing is locked, a read fails
    /// or the content is longer than `limit` bytes.
    bool Read(std::size_t limit, std::string &bytes);
    /// Makes `bytes` the whole content. @return false when nothing is locked or a write fails;
    /// the content may then be cut short.
    bool Write(std::string_view bytes);
    /// Releases the lock and closes the file; nothing happens when nothing is locked.
    void Unlock();

  private:
    std::intptr_t m_handle = -1; ///< the platform's handle of the locked file; -1: none
};

} // namespace Geo::Platform

#endif
