// Export macro: the library is built with hidden visibility; only what carries VEXOGEO_API leaves it.
#ifndef VEXOGEO_EXPORT_H
#define VEXOGEO_EXPORT_H

#if defined(_WIN32)
#if defined(VEXOGEO_BUILDING)
#define VEXOGEO_API __declspec(dllexport)
#else
#define VEXOGEO_API __declspec(dllimport)
#endif
#else
#define VEXOGEO_API __attribute__((visibility("default")))
#endif

#endif
