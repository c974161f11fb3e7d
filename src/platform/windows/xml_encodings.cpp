// libxml2 encoding handlers for the single-byte Windows code pages. libxml2 built without
// iconv knows only UTF-8, UTF-16, ISO-8859-x and ASCII; these handlers take each code page's
// table from MultiByteToWideChar once, then convert byte by byte.
#include "platform/windows/xml_encodings.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include <libxml/encoding.h>
#include <windows.h>

namespace Geo::Platform {
namespace {

constexpr unsigned kFirstCodePage = 1250;
constexpr unsigned kCodePageCount = 9; // 1250 to 1258

// One code page: the character of each byte (0: unassigned).
using Table = std::array<std::uint16_t, 256>;
std::array<Table, kCodePageCount> tables{};

// A byte is assigned when the strict conversion accepts it and it does not come back as a
// private or control character that only stands in for an unassigned byte.
Table BuildTable(unsigned codePage) {
    Table table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char in = static_cast<char>(byte);
        wchar_t out = 0;
        if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &in, 1, &out, 1) != 1)
            continue;
        // Windows maps the unassigned bytes 0x81, 0x8D, 0x8F, 0x90, 0x9D of these code pages
        // to the C1 controls of the same value; iconv refuses them, and so does this table.
        if (byte >= 0x80 && byte < 0xA0 && out == static_cast<wchar_t>(byte))
            continue;
        table[byte] = static_cast<std::uint16_t>(out);
    }
    return table;
}

// Bytes to UTF-8. @return the count written; -2 at an unassigned byte (libxml2's failure).
template <unsigned Index>
int ToUtf8(unsigned char *out, int *outLength, const unsigned char *in, int *inLength) {
    const Table &table = tables[Index];
    int read = 0, written = 0;
    int result = 0;
    while (read < *inLength) {
        const unsigned character = table[in[read]];
        if (character == 0 && in[read] != 0) {
            result = -2;
            break;
        }
        const int size = character < 0x80 ? 1 : character < 0x800 ? 2 : 3;
        if (written + size > *outLength)
            break;
        if (size == 1) {
            out[written] = static_cast<unsigned char>(character);
        } else if (size == 2) {
            out[written] = static_cast<unsigned char>(0xC0 | (character >> 6));
            out[written + 1] = static_cast<unsigned char>(0x80 | (character & 0x3F));
        } else {
            out[written] = static_cast<unsigned char>(0xE0 | (character >> 12));
            out[written + 1] = static_cast<unsigned char>(0x80 | ((character >> 6) & 0x3F));
            out[written + 2] = static_cast<unsigned char>(0x80 | (character & 0x3F));
        }
        written += size;
        ++read;
    }
    *inLength = read;
    *outLength = written;
    return result < 0 ? result : written;
}

// UTF-8 to bytes. An incomplete sequence at the end is left for the next call; a character
// the code page lacks answers -2 with the input stopped at it, and libxml2 then writes it as a
// character reference. @return the count written, or -2.
template <unsigned Index>
int FromUtf8(unsigned char *out, int *outLength, const unsigned char *in, int *inLength) {
    if (in == nullptr) { // the end of the output: no state to flush
        *outLength = 0;
        *inLength = 0;
        return 0;
    }
    const Table &table = tables[Index];
    int read = 0, written = 0;
    int result = 0;
    while (read < *inLength && written < *outLength) {
        const unsigned lead = in[read];
        const int size = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (read + size > *inLength)
            break;
        unsigned character = size == 1 ? lead : lead & (0x3F >> (size - 1));
        for (int i = 1; i < size; ++i)
            character = (character << 6) | (in[read + i] & 0x3F);
        int byte = -1;
        for (int candidate = 0; candidate < 256 && byte < 0 && character != 0; ++candidate)
            if (table[candidate] == character)
                byte = candidate;
        if (character == 0)
            byte = 0;
        if (byte < 0) {
            result = -2;
            break;
        }
        out[written++] = static_cast<unsigned char>(byte);
        read += size;
    }
    *inLength = read;
    *outLength = written;
    return result < 0 ? result : written;
}

template <unsigned... Index>
void RegisterAll(std::integer_sequence<unsigned, Index...>) {
    (
        [] {
            const unsigned codePage = kFirstCodePage + Index;
            tables[Index] = BuildTable(codePage);
            const std::string number = std::to_string(codePage);
            const std::string name = "windows-" + number;
            // libxml2 keeps the handler in its table for the life of the process.
            xmlNewCharEncodingHandler(name.c_str(), ToUtf8<Index>, FromUtf8<Index>);
            xmlAddEncodingAlias(name.c_str(), ("cp" + number).c_str());
        }(),
        ...);
}

} // namespace

void RegisterXmlCodePageEncodings() {
    static std::once_flag once;
    std::call_once(once, [] { RegisterAll(std::make_integer_sequence<unsigned, kCodePageCount>()); });
}

} // namespace Geo::Platform
