// Internal: gives a PROJ context the library's logging function (see CProjMessages).
#ifndef VEXOGEO_SRC_CRS_PROJ_LOG_SINK_H
#define VEXOGEO_SRC_CRS_PROJ_LOG_SINK_H

#include <proj.h>

namespace Geo {

/// PROJ's messages on `context` (null: the default context) go to CProjMessages from now on;
/// contexts PROJ creates later as copies of the default one inherit it.
void RouteProjLog(PJ_CONTEXT *context);

/// Keeps one of PROJ's messages in CProjMessages' store, as the routed log does.
void KeepProjMessage(const char *message);

} // namespace Geo

#endif
