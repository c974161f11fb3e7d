// PROJ's diagnostics, kept by the library instead of being written to standard error.
#ifndef VEXOGEO_CRS_PROJ_MESSAGES_H
#define VEXOGEO_CRS_PROJ_MESSAGES_H

#include <string>
#include <vector>

#include <vexogeo/export.h>

namespace Geo {

/// From the moment the library is loaded, what PROJ logs on its default context (and on the
/// contexts copied from it) is kept here, not written to standard error: a host decides whether
/// a message is worth showing, typically only when the call behind it failed. The last 16
/// messages are kept, each cut to 4 KiB. Thread-safe.
class VEXOGEO_API CProjMessages {
  public:
    /// @return the messages kept since the last `Take` or `Clear`, oldest first, and forgets
    /// them; empty when PROJ logged nothing.
    static std::vector<std::string> Take();
    /// Forgets every message kept.
    static void Clear();
};

} // namespace Geo

#endif
