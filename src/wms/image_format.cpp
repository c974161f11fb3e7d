// Image format families and signatures, shared by the WMS client and the tool's world files.
#include "wms/image_format.h"

#include "text/ascii.h"

namespace Geo::Wms {

namespace {

struct FormatName {
    std::string_view name;
    unsigned families;
};

// Names servers advertise, GeoServer's and MapServer's variants among them.
constexpr FormatName kFormats[] = {
    {"image/png", kPng},
    {"image/png8", kPng},
    {"image/png24", kPng},
    {"image/png32", kPng},
    {"image/x-png", kPng},
    {"image/jpeg", kJpeg},
    {"image/jpg", kJpeg},
    {"image/pjpeg", kJpeg},
    {"image/vnd.jpeg-png", kPng | kJpeg},
    {"image/vnd.jpeg-png8", kPng | kJpeg},
    {"image/gif", kGif},
    {"image/tiff", kTiff},
    {"image/tiff8", kTiff},
    {"image/geotiff", kTiff},
    {"image/geotiff8", kTiff},
    {"image/webp", kWebP},
    {"image/bmp", kBmp},
    {"image/x-ms-bmp", kBmp},
};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string_view MediaType(std::string_view contentType) {
    std::string_view type = contentType.substr(0, contentType.find(';'));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.remove_suffix(1);
    while (!type.empty() && (type.front() == ' ' || type.front() == '\t'))
        type.remove_prefix(1);
    return type;
}

unsigned FormatFamilies(std::string_view format) {
    const std::string_view type = MediaType(format);
    for (const FormatName &known : kFormats)
        if (EqualsIgnoringAsciiCase(type, known.name))
            return known.families;
    return kNoFamily;
}

unsigned SignatureFamily(std::string_view head) {
    using namespace std::string_view_literals;
    if (StartsWith(head, "\x89PNG\r\n\x1A\n"sv))
        return kPng;
    if (StartsWith(head, "\xFF\xD8\xFF"sv))
        return kJpeg;
    if (StartsWith(head, "GIF87a"sv) || StartsWith(head, "GIF89a"sv))
        return kGif;
    // Little- and big-endian TIFF, and BigTIFF (43 in place of 42).
    if (StartsWith(head, "II*\0"sv) || StartsWith(head, "MM\0*"sv) || StartsWith(head, "II+\0"sv) ||
        StartsWith(head, "MM\0+"sv))
        return kTiff;
    if (StartsWith(head, "RIFF"sv) && head.size() >= 12 && head.substr(8, 4) == "WEBP"sv)
        return kWebP;
    if (StartsWith(head, "BM"sv) && head.size() >= 14)
        return kBmp;
    return kNoFamily;
}

const char *WorldFileExtension(std::string_view format) {
    switch (FormatFamilies(format)) {
    case kPng:
        return ".pgw";
    case kJpeg:
        return ".jgw";
    case kGif:
        return ".gfw";
    case kTiff:
        return ".tfw";
    case kBmp:
        return ".bpw";
    default:
        return ".wld";
    }
}

} // namespace Geo::Wms
