// The one way the library and the tool write a file: a new file beside the target, put in its
// place only when complete; and, for the tool, output streams written as they are.
#ifndef VEXOGEO_PLATFORM_FILE_WRITER_H
#define VEXOGEO_PLATFORM_FILE_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Geo::Platform {

/// Writes one file, fed in pieces: `Open` (or `OpenStream`), `Write` as often as needed, then
/// `Commit`; a writer dropped or `Abandon`ed before `Commit` leaves the target as it was.
///
/// A file is replaced, never rewritten in place: the bytes go to a new file in the target's
/// folder, which is flushed to disk and renamed over the target only by `Commit`. Readers see
/// the whole old or the whole new file; a failure at any step (a full disk, the file-size limit,
/// a crash) leaves the old file byte for byte. Only a regular file is ever replaced, and only
/// when its owner may write it: a folder, a device, a named pipe, a socket or a read-only file
/// is refused and left untouched. A symbolic link is written through (its target gets the new
/// bytes, the link stays); an existing file keeps its permissions (and its owner and group where
/// the caller may set them, its attributes on Windows); a new file gets the process's default
/// (0666 less the umask on POSIX). The file-size-limit signal (SIGXFSZ) is held back on the
/// writing thread during each write, so a write beyond the limit fails instead of ending the
/// process. One thread at a time.
class CFileWriter {
  public:
    CFileWriter() = default;
    /// Abandons what was not committed.
    ~CFileWriter();
    CFileWriter(const CFileWriter &) = delete;
    CFileWriter &operator=(const CFileWriter &) = delete;

    /// Starts replacing the file `path` names (through links). Nothing is written to the target
    /// before `Commit`. @return false, with the reason in `GetErrorText`, when `path` is empty
    /// or ends in a separator, its folder does not exist, it names something other than a
    /// regular file or a read-only file, or no file can be created in its folder.
    bool Open(const std::string &path);
    /// Starts writing to the output stream `path` names: an existing character device (a
    /// terminal, /dev/null) or named pipe, or the file that is the process's standard output or
    /// error (/dev/stdout when it is redirected to a file). The stream is written as the bytes
    /// come, never created, truncated or replaced, so write to it only what is complete.
    /// @return false when `IsOutputStream(path)` would answer false or the stream cannot be
    /// opened.
    bool OpenStream(const std::string &path);
    /// Starts writing to the process's standard output as a stream of bytes (binary on every
    /// platform). @return false when the process has no standard output.
    bool OpenStandardOutput();

    /// Appends `size` bytes. @return false when nothing is open or the write failed (a full
    /// disk, the file-size limit): the new file is then removed at once and every later call
    /// fails; a stream keeps what it already received.
    bool Write(const char *data, std::size_t size);
    bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
    /// A file: flushes it, checks that the target may still be replaced and renames the new file
    /// over it. A stream: closes it. @return false when any step or an earlier write failed;
    /// the target then is as it was before `Open`, and no new file remains.
    bool Commit();
    /// Removes the new file; the target stays as it was. A stream is closed.
    void Abandon();

    /// Why the last `Open`, `Write` or `Commit` failed ("not a regular file", the system's text
    /// for a full disk); empty while nothing failed.
    const std::string &GetErrorText() const { return m_error; }

  private:
    bool Fail(std::string text);
    bool FailWithSystemError();

    std::string m_target;        ///< the file a commit replaces; empty for a stream
    std::string m_temporary;     ///< the new file until it is renamed or removed
    std::intptr_t m_handle = -1; ///< the platform's handle of the open file or stream; -1: none
    bool m_ownsHandle = true;    ///< false for the standard output, which is never closed
    bool m_failed = false;
    std::string m_error;
};

/// Whether `path` names an output stream as `CFileWriter::OpenStream` takes it: an existing
/// character device or named pipe (also behind links), or the file of standard output or error.
bool IsOutputStream(const std::string &path);

/// Replaces the file `path` with `bytes` (`Open`, `Write`, `Commit`): a saved document, a cache
/// entry, a small text file. @return false, leaving the target as it was, when a step fails.
inline bool WriteWholeFile(const std::string &path, std::string_view bytes) {
    CFileWriter writer;
    return writer.Open(path) && writer.Write(bytes) && writer.Commit();
}

} // namespace Geo::Platform

#endif
