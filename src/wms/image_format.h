// Image formats of WMS answers: the family a format name belongs to, the family a file's first
// bytes show, and the world-file extension that goes with a format.
#ifndef VEXOGEO_WMS_IMAGE_FORMAT_H
#define VEXOGEO_WMS_IMAGE_FORMAT_H

#include <string_view>

namespace Geo::Wms {

/// Raster families as bits, so that one format may allow several (image/vnd.jpeg-png).
enum ImageFamily : unsigned {
    kNoFamily = 0,
    kPng = 1u << 0,
    kJpeg = 1u << 1,
    kGif = 1u << 2,
    kTiff = 1u << 3,
    kWebP = 1u << 4,
    kBmp = 1u << 5,
};

/// The families a server may answer `format` with, from its media type in any case and without
/// its parameters: image/png, image/png8, image/png24, image/png32 and "image/png; mode=8bit"
/// are PNG; image/jpeg and image/jpg JPEG; image/vnd.jpeg-png PNG or JPEG; image/gif,
/// image/tiff (image/geotiff), image/webp, image/bmp their own.
/// @return kNoFamily for any other format (SVG, PDF, KML), which is compared by name only.
unsigned FormatFamilies(std::string_view format);

/// The family the first bytes of a file show by their signature (PNG, JPEG, GIF, TIFF and
/// BigTIFF, WebP, BMP). @return kNoFamily for anything else: XML, HTML, text, a cut signature.
unsigned SignatureFamily(std::string_view head);

/// The media type of a content type or format: the text before ";", without blanks around it.
std::string_view MediaType(std::string_view contentType);

/// The world-file extension of an image in `format`: ".pgw" (PNG), ".jgw" (JPEG), ".gfw" (GIF),
/// ".tfw" (TIFF), ".bpw" (BMP); ".wld" for every other format and for a format that may be
/// answered in either of two families.
const char *WorldFileExtension(std::string_view format);

} // namespace Geo::Wms

#endif
