// Load and unload hooks on Windows. In the DLL they run from DllMain on process attach and
// detach, on the thread that loads or unloads the library. A program that links the library's
// objects directly (the tests) has no DllMain of its own for them: there a static object runs
// the same hooks, during start-up and at exit.
#include "module/module_hooks.h"
#include "platform/windows/xml_encodings.h"

#include <windows.h>

namespace {

// Whether this code lies in the process's executable rather than in a DLL.
bool IsInExecutable() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&IsInExecutable), &module))
        return false;
    return module == GetModuleHandleA(nullptr);
}

void Load() {
    Geo::Platform::RegisterXmlCodePageEncodings();
    Geo::Module::OnLoad();
}

// Runs the hooks when the objects are part of the executable itself.
class CExecutableHooks {
  public:
    CExecutableHooks() : m_active(IsInExecutable()) {
        if (m_active)
            Load();
    }
    ~CExecutableHooks() {
        if (m_active)
            Geo::Module::OnUnload();
    }
    CExecutableHooks(const CExecutableHooks &) = delete;
    CExecutableHooks &operator=(const CExecutableHooks &) = delete;

  private:
    bool m_active;
};

const CExecutableHooks executableHooks;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        Load();
    } else if (reason == DLL_PROCESS_DETACH) {
        // The runtime destroys the DLL's static objects (PROJ's default context among them)
        // only after DllMain has returned, so the hook still finds the context.
        Geo::Module::OnUnload();
    }
    return TRUE;
}
