// What the library module does once per load and once per unload. The platform calls these
// from its own load and unload seams (platform/posix/load_hooks.cpp on ELF systems).
#ifndef VEXOGEO_MODULE_MODULE_HOOKS_H
#define VEXOGEO_MODULE_MODULE_HOOKS_H

namespace Geo::Module {

/// Runs once when the library is loaded into a process, before any exported call.
void OnLoad();
/// Runs once when the library is unloaded.
void OnUnload();

} // namespace Geo::Module

#endif
