// Encoding handlers of libxml2 for the Windows code pages, built on the system's conversions.
#ifndef VEXOGEO_PLATFORM_WINDOWS_XML_ENCODINGS_H
#define VEXOGEO_PLATFORM_WINDOWS_XML_ENCODINGS_H

namespace Geo::Platform {

/// Registers with libxml2 a handler for each single-byte Windows code page 1250 to 1258, under
/// the names "windows-125n" and "cp125n", so that files declaring them load as they do where
/// libxml2 converts through iconv. A byte the code page leaves unassigned fails the load, and
/// a character it lacks is written as a character reference. Idempotent; nothing to answer.
void RegisterXmlCodePageEncodings();

} // namespace Geo::Platform

#endif
