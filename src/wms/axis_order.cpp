// Axis order lookup: PROJ's view of the CRS as its authority defines it (not normalized).
#include "wms/axis_order.h"

#include <memory>
#include <mutex>
#include <unordered_map>

#include <proj.h>

namespace Geo::Wms {

namespace {

struct ObjectDeleter {
    void operator()(PJ *object) const { proj_destroy(object); }
};
using ObjectPtr = std::unique_ptr<PJ, ObjectDeleter>;

bool EqualsIgnoringCase(const std::string &text, std::size_t from, const char *word) {
    std::size_t i = 0;
    for (; word[i]; ++i) {
        if (from + i >= text.size())
            return false;
        char c = text[from + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return from + i == text.size();
}

bool StartsWithIgnoringCase(const std::string &text, const char *prefix) {
    for (std::size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

// WMS writes the OGC's own systems as "CRS:84"; PROJ knows them as "OGC:CRS84".
std::string ProjIdentifier(const std::string &crs) {
    if (StartsWithIgnoringCase(crs, "crs:"))
        return "OGC:CRS" + crs.substr(4);
    return crs;
}

// The horizontal part of a compound CRS, the source of a bound CRS, or the CRS itself.
ObjectPtr HorizontalCrs(PJ_CONTEXT *context, ObjectPtr crs) {
    switch (proj_get_type(crs.get())) {
    case PJ_TYPE_COMPOUND_CRS:
        return ObjectPtr(proj_crs_get_sub_crs(context, crs.get(), 0));
    case PJ_TYPE_BOUND_CRS:
        return ObjectPtr(proj_get_source_crs(context, crs.get()));
    default:
        return crs;
    }
}

// What the first axis measures, told by its name as the authority gives it ("Northing",
// "Southing", "Geodetic latitude", "Easting", "Westing", "Geodetic longitude"), not by where it
// points: the easting of a polar stereographic system points "south" or "North along 45 deg E",
// and WMS servers (MapServer among them) write such a box easting first. Only a name that tells
// nothing (an engineering system's "x") falls back to the direction.
AxisOrder FirstAxisOrder(const char *name, const char *direction) {
    const std::string text = name ? name : "";
    for (const char *northing : {"north", "south", "lat"})
        if (StartsWithIgnoringCase(text, northing))
            return AxisOrder::NorthingFirst;
    for (const char *easting : {"east", "west", "lon"})
        if (StartsWithIgnoringCase(text, easting))
            return AxisOrder::EastingFirst;
    // "Geodetic latitude", "Geocentric latitude", "Spherical longitude": the second word.
    const std::size_t blank = text.rfind(' ');
    if (blank != std::string::npos) {
        if (EqualsIgnoringCase(text, blank + 1, "latitude"))
            return AxisOrder::NorthingFirst;
        if (EqualsIgnoringCase(text, blank + 1, "longitude"))
            return AxisOrder::EastingFirst;
    }
    const std::string pointing = direction ? direction : "";
    return EqualsIgnoringCase(pointing, 0, "north") || EqualsIgnoringCase(pointing, 0, "south")
               ? AxisOrder::NorthingFirst
               : AxisOrder::EastingFirst;
}

// Called under the lookup lock only.
AxisOrder Ask(PJ_CONTEXT *context, const std::string &crs) {
    ObjectPtr object(proj_create(context, ProjIdentifier(crs).c_str()));
    if (!object || !proj_is_crs(object.get()))
        return AxisOrder::Unknown;
    const ObjectPtr horizontal = HorizontalCrs(context, std::move(object));
    if (!horizontal)
        return AxisOrder::Unknown;
    const ObjectPtr system(proj_crs_get_coordinate_system(context, horizontal.get()));
    if (!system || proj_cs_get_axis_count(context, system.get()) < 2)
        return AxisOrder::Unknown;
    const char *name = nullptr;
    const char *direction = nullptr;
    if (!proj_cs_get_axis_info(context, system.get(), 0, &name, nullptr, &direction, nullptr,
                               nullptr, nullptr, nullptr))
        return AxisOrder::Unknown;
    return FirstAxisOrder(name, direction);
}

} // namespace

AxisOrder LookUpAxisOrder(const std::string &crs) {
    static std::mutex lock;
    static auto *cache = new std::unordered_map<std::string, AxisOrder>(); // never destroyed
    const std::lock_guard<std::mutex> guard(lock);
    const auto found = cache->find(crs);
    if (found != cache->end())
        return found->second;
    // One context for the life of the process, made on the first lookup (copying the default
    // context's settings, its search path among them) and kept, so PROJ's database is opened
    // once. Only this function uses it, under the lock.
    static PJ_CONTEXT *context = nullptr;
    if (!context) {
        context = proj_context_create();
        if (!context)
            return AxisOrder::Unknown;
        proj_log_level(context, PJ_LOG_NONE);
    }
    const AxisOrder order = Ask(context, crs);
    if (cache->size() < 4096)
        cache->emplace(crs, order);
    return order;
}

} // namespace Geo::Wms
