// The once-per-load and once-per-unload hooks of the library module.
#ifndef VEXOGEO_PLATFORM_LOAD_HOOKS_H
#define VEXOGEO_PLATFORM_LOAD_HOOKS_H

namespace Geo::Module {

/// Runs once when the library is loaded into a process, before any exported call.
void OnLoad();
/// Runs once when the library is unloaded.
void OnUnload();

} // namespace Geo::Module

#endif
