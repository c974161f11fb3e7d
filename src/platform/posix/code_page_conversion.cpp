// Code-page conversions with iconv, and a direct UTF-8 codec for the common case; the process's
// narrow encoding is the codeset of the environment's LC_CTYPE locale.
#include "platform/code_page_conversion.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <strings.h>

namespace Geo::Platform {
namespace {

static_assert(sizeof(wchar_t) == 4, "wide text is UTF-32 on this platform");

constexpr unsigned kProcessCodePage = 0;
constexpr unsigned kUtf8CodePage = 65001;
constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

// How text of one code page is converted: directly as UTF-8, or by iconv under a name.
struct Encoding {
    bool m_isUtf8 = true;
    std::string m_iconvName;
};

bool IsUtf8Codeset(const char *codeset) {
    // The C and POSIX locales report ASCII; their bytes are read as UTF-8, a superset of it.
    for (const char *name : {"UTF-8", "UTF8", "ANSI_X3.4-1968", "ASCII", "US-ASCII"}) {
        if (strcasecmp(codeset, name) == 0) {
            return true;
        }
    }
    return false;
}

// The codeset of the environment's LC_CTYPE locale, looked up without touching the process's
// global locale. A locale the environment names but the system lacks counts as C.
Encoding FindProcessEncoding() {
    Encoding encoding;
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) {
        return encoding;
    }
    const char *codeset = nl_langinfo_l(CODESET, locale);
    if (codeset != nullptr && *codeset != '\0' && !IsUtf8Codeset(codeset)) {
        encoding.m_isUtf8 = false;
        encoding.m_iconvName = codeset;
    }
    freelocale(locale);
    return encoding;
}

// Whether `codePage` is converted as UTF-8; otherwise `iconvName` receives iconv's name for it.
bool IsUtf8CodePage(unsigned codePage, std::string &iconvName) {
    if (codePage == kUtf8CodePage) {
        return true;
    }
    if (codePage == kProcessCodePage) {
        // Like the ANSI code page of a Windows process, the narrow encoding is fixed at first use.
        static const Encoding processEncoding = FindProcessEncoding();
        if (!processEncoding.m_isUtf8) {
            iconvName = processEncoding.m_iconvName;
        }
        return processEncoding.m_isUtf8;
    }
    iconvName = "CP" + std::to_string(codePage);
    return false;
}

// Receives converted units: stores them while `out` has room, or only counts when `out` is null.
template <typename Unit> class Sink {
  public:
    Sink(Unit *out, std::size_t capacity) : m_out(out), m_capacity(out != nullptr ? capacity : 0) {}

    void Put(Unit unit) {
        if (m_count < m_capacity) {
            m_out[m_count] = unit;
        } else if (m_out != nullptr) {
            m_overflow = true;
        }
        ++m_count;
    }
    void Put(const Unit *units, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            Put(units[i]);
        }
    }
    // The count to answer: 0 when the output was too small.
    std::size_t Result() const { return m_overflow ? 0 : m_count; }

  private:
    Unit *m_out;
    std::size_t m_capacity;
    std::size_t m_count = 0;
    bool m_overflow = false;
};

// Decodes UTF-8; each maximal ill-formed subsequence becomes one U+FFFD, as Unicode recommends.
// Only counts when `out` is null. @return the count, or 0 when `out` is too small.
std::size_t DecodeUtf8(const unsigned char *text, std::size_t length, wchar_t *out,
                       std::size_t capacity) {
    std::size_t count = 0;
    const auto put = [&](std::uint32_t codePoint) {
        if (out != nullptr) {
            if (count >= capacity) {
                return false;
            }
            out[count] = static_cast<wchar_t>(codePoint);
        }
        ++count;
        return true;
    };
    std::size_t i = 0;
    while (i < length) {
        const unsigned char lead = text[i];
        if (lead < 0x80) {
            if (!put(lead)) {
                return 0;
            }
            ++i;
            continue;
        }
        std::size_t trailing = 0;
        unsigned char low = 0x80;  // range of the first continuation byte
        unsigned char high = 0xBF; // (narrowed to exclude overlong forms and surrogates)
        if (lead >= 0xC2 && lead <= 0xDF) {
            trailing = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trailing = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trailing = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        std::uint32_t codePoint = lead & (0x3F >> trailing);
        std::size_t next = i + 1;
        bool complete = trailing > 0;
        for (std::size_t k = 0; k < trailing; ++k, ++next) {
            if (next >= length || text[next] < (k == 0 ? low : 0x80) ||
                text[next] > (k == 0 ? high : 0xBF)) {
                complete = false;
                break;
            }
            codePoint = (codePoint << 6) | (text[next] & 0x3F);
        }
        if (!put(complete ? codePoint : kReplacementCharacter)) {
            return 0;
        }
        i = next;
    }
    return count;
}

// Encodes wide text as UTF-8; surrogates and values beyond U+10FFFF become U+FFFD. Only counts
// when `out` is null. @return the count of bytes, or 0 when `out` is too small.
std::size_t EncodeUtf8(const wchar_t *text, std::size_t length, char *out, std::size_t capacity) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < length; ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = kReplacementCharacter;
        }
        const std::size_t size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (out != nullptr) {
            if (capacity - count < size) {
                return 0;
            }
            char *target = out + count;
            if (size == 1) {
                target[0] = static_cast<char>(c);
            } else {
                // Continuation bytes from the last backwards, then the lead with its length mark.
                for (std::size_t k = size - 1; k > 0; --k, c >>= 6) {
                    target[k] = static_cast<char>(0x80 | (c & 0x3F));
                }
                target[0] = static_cast<char>((0xF00u >> size) | c);
            }
        }
        count += size;
    }
    return count;
}

// Owner of one iconv conversion descriptor.
class IconvHandle {
  public:
    IconvHandle(const char *to, const char *from) : m_handle(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (IsOpen()) {
            iconv_close(m_handle);
        }
    }
    IconvHandle(const IconvHandle &) = delete;
    IconvHandle &operator=(const IconvHandle &) = delete;

    bool IsOpen() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_handle; }

  private:
    iconv_t m_handle;
};

constexpr const char *kWideName = "WCHAR_T";
constexpr std::size_t kChunkBytes = 1024;

// Runs `iconv` over the input, handing each converted chunk to `emit`. `onInvalid` is called
// with the handle when the input at the current position cannot be converted; the caller then
// skips `invalidStep` bytes of input. Ends with the shift back to the initial state.
template <typename Emit, typename OnInvalid>
void RunIconv(iconv_t handle, const char *input, std::size_t inputBytes, std::size_t invalidStep,
              Emit emit, OnInvalid onInvalid) {
    alignas(wchar_t) char chunk[kChunkBytes];
    char *in = const_cast<char *>(input);
    std::size_t inLeft = inputBytes;
    for (;;) {
        char *out = chunk;
        std::size_t outLeft = sizeof(chunk);
        const bool finishing = inLeft == 0;
        const std::size_t result = finishing ? iconv(handle, nullptr, nullptr, &out, &outLeft)
                                             : iconv(handle, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        emit(chunk, static_cast<std::size_t>(out - chunk));
        if (result != static_cast<std::size_t>(-1)) {
            if (finishing) {
                return;
            }
            continue;
        }
        if (error == E2BIG) {
            continue;
        }
        if (finishing) {
            return; // the shift sequence itself failed: nothing more can be written
        }
        // EILSEQ, or EINVAL for an incomplete sequence at the end of the input.
        onInvalid();
        const std::size_t step = invalidStep < inLeft ? invalidStep : inLeft;
        in += step;
        inLeft -= step;
    }
}

std::size_t IconvToWide(const std::string &from, const char *text, std::size_t length, wchar_t *out,
                        std::size_t outCount) {
    IconvHandle handle(kWideName, from.c_str());
    if (!handle.IsOpen()) {
        return 0;
    }
    Sink<wchar_t> sink(out, outCount);
    RunIconv(
        handle.Get(), text, length, 1,
        [&sink](const char *bytes, std::size_t count) {
            for (std::size_t i = 0; i + sizeof(wchar_t) <= count; i += sizeof(wchar_t)) {
                wchar_t unit;
                std::memcpy(&unit, bytes + i, sizeof(unit));
                sink.Put(unit);
            }
        },
        [&sink]() { sink.Put(static_cast<wchar_t>(kReplacementCharacter)); });
    return sink.Result();
}

std::size_t IconvFromWide(const std::string &to, const wchar_t *text, std::size_t length, char *out,
                          std::size_t outCount) {
    IconvHandle handle(to.c_str(), kWideName);
    if (!handle.IsOpen()) {
        return 0;
    }
    Sink<char> sink(out, outCount);
    const auto emit = [&sink](const char *bytes, std::size_t count) { sink.Put(bytes, count); };
    // The substitute is the code page's own question mark, which is not 0x3F in every code page.
    const auto substitute = [&handle, &sink]() {
        wchar_t question = L'?';
        char *in = reinterpret_cast<char *>(&question);
        std::size_t inLeft = sizeof(question);
        char converted[16];
        char *convertedEnd = converted;
        std::size_t convertedLeft = sizeof(converted);
        if (iconv(handle.Get(), &in, &inLeft, &convertedEnd, &convertedLeft) !=
                static_cast<std::size_t>(-1) &&
            convertedEnd != converted) {
            sink.Put(converted, static_cast<std::size_t>(convertedEnd - converted));
        } else {
            sink.Put('?');
        }
    };
    RunIconv(handle.Get(), reinterpret_cast<const char *>(text), length * sizeof(wchar_t),
             sizeof(wchar_t), emit, substitute);
    return sink.Result();
}

} // namespace

std::size_t MultiByteToWideChar(unsigned codePage, const char *text, std::size_t length,
                                wchar_t *out, std::size_t outCount) {
    std::string iconvName;
    if (IsUtf8CodePage(codePage, iconvName)) {
        return DecodeUtf8(reinterpret_cast<const unsigned char *>(text), length, out, outCount);
    }
    return IconvToWide(iconvName, text, length, out, outCount);
}

std::size_t WideCharToMultiByte(unsigned codePage, const wchar_t *text, std::size_t length,
                                char *out, std::size_t outCount) {
    std::string iconvName;
    if (IsUtf8CodePage(codePage, iconvName)) {
        return EncodeUtf8(text, length, out, outCount);
    }
    return IconvFromWide(iconvName, text, length, out, outCount);
}

bool ConvertsAsUtf8(unsigned codePage) {
    std::string iconvName;
    return IsUtf8CodePage(codePage, iconvName);
}

} // namespace Geo::Platform
