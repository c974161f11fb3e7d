// Block reader, buffered writer and the reading of one line of numbers.
#include "stream.h"

#include "common.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VexoGeoCli {
namespace {

// A block is at most twice this: about one job of the block pipeline.
constexpr std::size_t kReadSize = 64 * 1024;
constexpr std::size_t kOutputCapacity = 1024 * 1024;
constexpr std::size_t kDirectBytes = 32 * 1024;
#ifdef _WIN32
// Files are read as their bytes, as on POSIX; Windows handles are not inherited by default.
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC;
#endif

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Whether the field at `first` is a number beyond the range of a double ("1e400").
bool IsOutOfRange(const char *first, const char *last) {
    if (first != last && *first == '+')
        ++first;
    double value = 0;
    return std::from_chars(first, last, value).ec == std::errc::result_out_of_range;
}

std::uint64_t RegularFileSize(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    const off_t position = lseek(fd, 0, SEEK_CUR);
    return static_cast<std::uint64_t>(info.st_size - (position > 0 ? position : 0));
}

} // namespace

CLineReader::CLineReader(std::vector<std::string> paths, std::string context)
    : m_paths(std::move(paths)), m_context(std::move(context)), m_buffer(2 * kReadSize) {
    if (m_paths.empty())
        m_paths.emplace_back("-");
    // The progress of the work is known only when every input has a size.
    for (const std::string &path : m_paths) {
        std::uint64_t size = 0;
        if (path == "-") {
            size = RegularFileSize(0);
        } else {
            struct stat info {};
            if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
                size = static_cast<std::uint64_t>(info.st_size);
        }
        if (size == 0) {
            m_bytesTotal = 0;
            break;
        }
        m_bytesTotal += size;
    }
}

CLineReader::~CLineReader() { CloseCurrent(); }

void CLineReader::Fail(const std::string &what, int error) {
    PrintError(m_context, "cannot " + what + " " + QuoteText(m_name) + ": " + std::strerror(error));
    ++m_failedInputs;
}

bool CLineReader::OpenNext() {
    while (m_nextPath < m_paths.size()) {
        const std::string &path = m_paths[m_nextPath++];
        if (path == "-") {
            m_fd = 0;
            m_ownsFd = false;
            m_name = "<stdin>";
        } else {
            m_name = path;
            m_fd = open(path.c_str(), kOpenFlags);
            m_ownsFd = true;
            if (m_fd < 0) {
                Fail("open", errno);
                continue;
            }
        }
        m_startOfFile = true;
        m_skipping = false;
        m_lines = 0;
        m_begin = m_end = 0;
        return true;
    }
    return false;
}

void CLineReader::CloseCurrent() {
    if (m_fd >= 0 && m_ownsFd)
        close(m_fd);
    m_fd = -1;
}

void CLineReader::SkipLongLine() {
    ++m_lines;
    ++m_skippedLines;
    PrintError(m_context, m_name + ":" + std::to_string(m_lines) + ": line longer than " +
                              std::to_string(kMaxLine) + " bytes, skipped");
    m_skipping = true;
    m_begin = m_end = 0;
}

bool CLineReader::Next(InputBlock &block) {
    block.m_text = std::string_view();
    while (true) {
        if (m_fd < 0 && !OpenNext())
            return false;
        // Keep the incomplete last line of the previous block at the front of the buffer.
        if (m_begin > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
            m_end -= m_begin;
            m_begin = 0;
        }
        // What is kept is one line without its end: past the limit it is dropped, and the
        // reads stop at the limit, so no line beyond it reaches a block.
        if (!m_skipping && m_end > kMaxLine)
            SkipLongLine();
        if (m_buffer.size() - m_end < kReadSize)
            m_buffer.resize(std::max(m_buffer.size() * 2, m_end + kReadSize));
        const std::size_t room =
            std::min(m_buffer.size() - m_end, m_skipping ? m_buffer.size() : kMaxLine + 1 - m_end);
        ssize_t n;
        do {
            n = read(m_fd, m_buffer.data() + m_end, room);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            Fail("read", errno);
            CloseCurrent();
            continue;
        }
        std::size_t oldEnd = m_end;
        m_end += static_cast<std::size_t>(n);
        m_bytesRead += static_cast<std::uint64_t>(n);
        char *const data = m_buffer.data();
        if (m_skipping) {
            // The rest of the long line ends at the next line break, or with the file.
            const void *found =
                n > 0 ? std::memchr(data, '\n', static_cast<std::size_t>(n)) : nullptr;
            if (found == nullptr) {
                m_end = 0;
                if (n == 0) {
                    m_skipping = false;
                    CloseCurrent();
                }
                continue;
            }
            const auto next = static_cast<std::size_t>(static_cast<const char *>(found) - data) + 1;
            std::memmove(data, data + next, m_end - next);
            m_end -= next;
            oldEnd = 0;
            m_skipping = false;
            if (m_end == 0)
                continue;
        }
        std::size_t blockEnd = 0;
        if (n == 0) {
            // End of this file: what is left is its last line, even without '\n'.
            CloseCurrent();
            blockEnd = m_end;
        } else {
            // Only the new bytes can hold a line break: the kept tail has none.
            std::size_t i = m_end;
            while (i > oldEnd && data[i - 1] != '\n')
                --i;
            if (i == oldEnd)
                continue;
            blockEnd = i;
        }
        if (blockEnd == 0)
            continue;
        block.m_text = std::string_view(data, blockEnd);
        block.m_name = m_name;
        block.m_firstOfFile = m_startOfFile;
        block.m_firstLine = m_lines + 1;
        m_lines += CountLineBreaks(std::string_view(data, blockEnd)) +
                   (data[blockEnd - 1] != '\n' ? 1 : 0);
        m_startOfFile = false;
        m_begin = blockEnd;
        if (m_fd < 0)
            m_begin = m_end = 0;
        return true;
    }
}

std::uint64_t CountLineBreaks(std::string_view text) {
    // Eight bytes at a time, without a branch per byte: a byte of `sums` counts the breaks seen
    // at its place, for at most 31 words so that the eight of them add up below 256.
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
    const char *p = text.data();
    std::size_t left = text.size();
    std::uint64_t total = 0;
    while (left >= 8) {
        const std::size_t words = std::min<std::size_t>(left / 8, 31);
        std::uint64_t sums = 0;
        for (std::size_t i = 0; i < words; ++i) {
            std::uint64_t word = 0;
            std::memcpy(&word, p + 8 * i, sizeof word);
            const std::uint64_t x = word ^ (kOnes * '\n');           // a break becomes a zero byte
            const std::uint64_t nonZero = ((x & kLow7) + kLow7) | x; // top bit of each byte
            sums += (~nonZero >> 7) & kOnes;
        }
        total += (sums * kOnes) >> 56;
        p += 8 * words;
        left -= 8 * words;
    }
    for (; left > 0; --left)
        total += *p++ == '\n' ? 1 : 0;
    return total;
}

void PrintLineError(const std::string &context, const std::string &name, std::uint64_t number,
                    const std::string &message, std::string_view line) {
    PrintError(context,
               name + ":" + std::to_string(number) + ": " + message + ": " + QuoteText(line));
}

std::string FormatLineError(const std::string &context, const std::string &name,
                            std::uint64_t number, const std::string &message,
                            std::string_view line) {
    return FormatError(context, name + ":" + std::to_string(number) + ": " + message + ": " +
                                    QuoteText(line));
}

COutputBuffer::COutputBuffer(int fd)
    : m_fd(fd), m_data(new char[kOutputCapacity]), m_capacity(kOutputCapacity) {}

COutputBuffer::COutputBuffer(std::string *capture, std::size_t capacity)
    : m_fd(-1), m_pCapture(capture), m_data(new char[capacity > 0 ? capacity : kOutputCapacity]),
      m_capacity(capacity > 0 ? capacity : kOutputCapacity) {}

COutputBuffer::~COutputBuffer() { Flush(); }

char *COutputBuffer::Reserve(std::size_t count) {
    if (m_size + count > m_capacity) {
        Flush();
        if (count > m_capacity) {
            m_data.reset(new char[count]);
            m_capacity = count;
        }
    }
    return m_data.get() + m_size;
}

void COutputBuffer::Append(std::string_view text) {
    // A large piece (a whole block's output) goes out as it is rather than through the buffer.
    if (text.size() > std::min(m_capacity / 2, kDirectBytes)) {
        Flush();
        WriteOut(text.data(), text.size());
        return;
    }
    char *out = Reserve(text.size());
    std::memcpy(out, text.data(), text.size());
    m_size += text.size();
}

void COutputBuffer::Append(char c) {
    char *out = Reserve(1);
    *out = c;
    ++m_size;
}

bool COutputBuffer::Flush() {
    const bool written = WriteOut(m_data.get(), m_size);
    m_size = 0;
    return written;
}

bool COutputBuffer::WriteOut(const char *data, std::size_t size) {
    if (m_error != 0)
        return false;
    if (m_pCapture != nullptr) {
        m_pCapture->append(data, size);
        return true;
    }
    while (size > 0) {
        const ssize_t n = write(m_fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

NumberLine ReadNumberLine(const char *first, const char *last, std::size_t maxFields,
                          bool textAfter) {
    NumberLine line;
    const char *p = first;
    while (p != last && (IsBlank(*p) || *p == '\r'))
        ++p;
    if (p == last || *p == '#') {
        line.m_kind = NumberLine::Kind::Pass;
        return line;
    }
    // Trailing blanks and a carriage return belong to the line's layout, not to a field.
    const char *end = last;
    while (end != p && (IsBlank(end[-1]) || end[-1] == '\r'))
        --end;
    line.m_kind = NumberLine::Kind::Numbers;
    while (true) {
        double value = 0;
        const char *numberEnd = ParseNumber(p, end, value);
        const bool whole =
            numberEnd != nullptr && (numberEnd == end || IsBlank(*numberEnd) || *numberEnd == ',');
        if (!whole || line.m_count == maxFields) {
            // Text after the numbers is kept, unless it is a number no double holds.
            if (textAfter && line.m_count > 0 &&
                (line.m_count == maxFields || !IsOutOfRange(p, end)))
                return line;
            line.m_kind = NumberLine::Kind::Bad;
            break;
        }
        line.m_values[line.m_count] = value;
        line.m_begin[line.m_count] = p;
        line.m_end[line.m_count] = numberEnd;
        ++line.m_count;
        p = numberEnd;
        if (p == end)
            return line;
        // A separator: blanks, at most one comma, blanks; never empty.
        while (p != end && IsBlank(*p))
            ++p;
        if (p != end && *p == ',')
            ++p;
        while (p != end && IsBlank(*p))
            ++p;
        if (p == end) {
            if (textAfter)
                return line;
            line.m_kind = NumberLine::Kind::Bad;
            break;
        }
    }
    // A bad line still tells how many fields it meant to hold.
    std::size_t fields = 0;
    bool inField = false;
    for (const char *q = first; q != end; ++q) {
        const bool separator = IsBlank(*q) || *q == ',' || *q == '\r';
        if (!separator && !inField)
            ++fields;
        inField = !separator;
    }
    line.m_count = fields;
    return line;
}

} // namespace VexoGeoCli
