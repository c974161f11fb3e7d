// What the library module does once per load and once per unload. The platform calls these
// from its own load and unload seams (platform/posix/load_hooks.cpp on ELF systems).
#ifndef VEXOGEO_MODULE_MODULE_HOOKS_H
#define VEXOGEO_MODULE_MODULE_HOOKS_H

#include <string>

namespace Geo::Module {

/// Runs once when the library is loaded into a process, before any exported call.
void OnLoad();
/// Runs once when the library is unloaded.
void OnUnload();
/// Points PROJ's default context at `folder` instead of the folder `OnLoad` derived: for a host
/// whose executable has no Resources/Proj beside it (an interpreter loading the library as an
/// extension module). Must not run while another thread calls PROJ.
void UseProjSearchPath(const std::string &folder);

} // namespace Geo::Module

#endif
