// Streaming text input and output for the line-oriented commands: large blocks of whole lines
// in, one buffered write per block out, memory bounded by the block size whatever the input.
#ifndef VEXOGEO_TOOLS_VEXOGEO_STREAM_H
#define VEXOGEO_TOOLS_VEXOGEO_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace VexoGeoCli {

/// A run of whole lines from one input. Every line ends in '\n' except, possibly, the last line
/// of a file that does not end in one.
struct InputBlock {
    std::string_view m_text;
    std::string m_name;            ///< the file's path, or "<stdin>"
    bool m_firstOfFile = false;    ///< the block starts a file: line numbers start again
    std::uint64_t m_firstLine = 1; ///< the number of its first line in the file (from 1)
};

/// Longest line the streaming commands read (bytes, without its '\n'); a longer one is
/// reported and skipped, so memory stays bounded whatever the input.
constexpr std::size_t kMaxLine = 1024 * 1024;

/// Reports line `number` of the input `name` under `context`, in the one form of every
/// streaming command: "vexogeo: CONTEXT: NAME:NUMBER: MESSAGE: 'LINE'", the line quoted by
/// `QuoteText`.
void PrintLineError(const std::string &context, const std::string &name, std::uint64_t number,
                    const std::string &message, std::string_view line);
/// The line `PrintLineError` would write.
std::string FormatLineError(const std::string &context, const std::string &name,
                            std::uint64_t number, const std::string &message,
                            std::string_view line);

/// @return how many '\n' `text` holds.
std::uint64_t CountLineBreaks(std::string_view text);

/// Calls `visit(begin, end)` for each line of `block`, the '\n' left out, until `visit` answers
/// false. @return false when `visit` stopped the walk.
template <typename Visit> bool ForEachLine(const InputBlock &block, Visit visit) {
    const char *p = block.m_text.data();
    const char *const blockEnd = p + block.m_text.size();
    while (p != blockEnd) {
        const void *found = std::memchr(p, '\n', static_cast<std::size_t>(blockEnd - p));
        const char *lineEnd = found != nullptr ? static_cast<const char *>(found) : blockEnd;
        if (!visit(p, lineEnd))
            return false;
        p = found != nullptr ? lineEnd + 1 : blockEnd;
    }
    return true;
}

/// Reads files one after the other ("-" or no file at all: standard input) in blocks of whole
/// lines. A file that cannot be opened or read is reported on standard error, counted and
/// skipped; so is a line longer than `kMaxLine`, which leaves no trace in the blocks but a gap
/// in their line numbers.
class CLineReader {
  public:
    /// `context` prefixes the diagnostics ("transform").
    CLineReader(std::vector<std::string> paths, std::string context);
    ~CLineReader();
    CLineReader(const CLineReader &) = delete;
    CLineReader &operator=(const CLineReader &) = delete;

    /// @return false once every input is read; `block` then is empty.
    bool Next(InputBlock &block);
    /// @return the bytes read so far.
    std::uint64_t GetBytesRead() const { return m_bytesRead; }
    /// @return the size of all inputs in bytes; 0 when one of them is not a regular file.
    std::uint64_t GetBytesTotal() const { return m_bytesTotal; }
    /// @return how many inputs could not be opened or read.
    std::size_t GetFailedInputs() const { return m_failedInputs; }
    /// @return how many lines longer than `kMaxLine` were skipped.
    std::uint64_t GetSkippedLines() const { return m_skippedLines; }

  private:
    bool OpenNext();
    void CloseCurrent();
    void Fail(const std::string &what, int error);
    void SkipLongLine();

    std::vector<std::string> m_paths;
    std::string m_context;
    std::size_t m_nextPath = 0;
    int m_fd = -1;
    bool m_ownsFd = false;
    bool m_startOfFile = false;
    std::string m_name;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0; ///< start of the bytes not yet handed out
    std::size_t m_end = 0;   ///< end of the bytes read
    std::uint64_t m_bytesRead = 0;
    std::uint64_t m_bytesTotal = 0;
    std::size_t m_failedInputs = 0;
    std::uint64_t m_lines = 0; ///< lines of the current file handed out or skipped
    std::uint64_t m_skippedLines = 0;
    bool m_skipping = false; ///< dropping the rest of a line too long to keep
};

/// Buffered output to a file descriptor, or into a string. A failed write is remembered and
/// every later write is dropped.
class COutputBuffer {
  public:
    /// Writes to `fd` (standard output by default).
    explicit COutputBuffer(int fd = 1);
    /// Appends to `capture` instead of writing to a file, through a buffer of `capacity` bytes
    /// (0: the size a file gets).
    explicit COutputBuffer(std::string *capture, std::size_t capacity = 0);
    ~COutputBuffer();
    COutputBuffer(const COutputBuffer &) = delete;
    COutputBuffer &operator=(const COutputBuffer &) = delete;

    /// @return room for at least `count` bytes; hand the end of what was written to `Commit`.
    char *Reserve(std::size_t count);
    void Commit(char *end) { m_size = static_cast<std::size_t>(end - m_data.get()); }
    void Append(std::string_view text);
    void Append(char c);
    /// Writes out what is buffered. @return false when this or an earlier write failed.
    bool Flush();
    /// @return the error number of the failed write; 0 while every write succeeded.
    int GetError() const { return m_error; }

  private:
    bool WriteOut(const char *data, std::size_t size);

    int m_fd;
    std::string *m_pCapture = nullptr;
    std::unique_ptr<char[]> m_data;
    std::size_t m_capacity;
    std::size_t m_size = 0;
    int m_error = 0;
};

/// One line of numbers as read: the fields and where each stands in the line.
struct NumberLine {
    enum class Kind {
        Pass,    ///< blank or a comment ('#' first): written back unchanged
        Numbers, ///< `m_count` numbers separated by blanks, tabs or a comma
        Bad      ///< anything else
    };
    static constexpr std::size_t kMaxFields = 4;

    Kind m_kind = Kind::Bad;
    std::size_t m_count = 0; ///< numbers read (also the fields seen in a bad line)
    double m_values[kMaxFields] = {};
    const char *m_begin[kMaxFields] = {}; ///< where each number's text starts
    const char *m_end[kMaxFields] = {};   ///< where each number's text ends
};

/// Reads the line [`first`, `last`) (without its '\n') as at most `maxFields` numbers. With
/// `textAfter`, the numbers may be followed by any text after a separator (a label, a
/// comment, more fields), left unread; a line is bad only when it does not start with a number
/// or holds one beyond the range of a double.
NumberLine ReadNumberLine(const char *first, const char *last, std::size_t maxFields,
                          bool textAfter = false);

} // namespace VexoGeoCli

#endif
