// ELF load and unload hooks. The loader runs the constructor below once when the library is
// mapped (process start or dlopen). The unload hook is registered from there with atexit, which
// ties it to this library's own object: it runs once at dlclose, or at process exit before the
// exit handlers registered earlier, among them the destructor of PROJ's default context, which
// the hook still needs. A plain ELF destructor would run after that context is gone.
#include "module/module_hooks.h"

#include <cstdlib>

namespace {

void VexoGeoModuleUnload() { Geo::Module::OnUnload(); }

__attribute__((constructor)) void VexoGeoModuleLoad() {
    Geo::Module::OnLoad();
    std::atexit(VexoGeoModuleUnload);
}

} // namespace
