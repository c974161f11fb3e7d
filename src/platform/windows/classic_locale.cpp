// The classic locale on Windows: the calling thread switched to a locale of its own
// (_configthreadlocale), set to "C", and switched back; the process-wide locale is never touched.
#include "platform/classic_locale.h"

#include <clocale>
#include <new>
#include <string>

#include <locale.h>

namespace Geo::Platform {

namespace {

// What the thread had before: whether its locale was its own, and that locale's name.
struct ThreadLocale {
    int m_mode;
    std::string m_name;
};

} // namespace

CClassicLocaleScope::CClassicLocaleScope() : m_previous(nullptr) {
    const int mode = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    const char *name = std::setlocale(LC_ALL, nullptr);
    auto *previous = new (std::nothrow) ThreadLocale{mode, name != nullptr ? name : "C"};
    if (previous == nullptr || std::setlocale(LC_ALL, "C") == nullptr) {
        delete previous;
        if (mode == _DISABLE_PER_THREAD_LOCALE)
            _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
        return;
    }
    m_previous = previous;
}

CClassicLocaleScope::~CClassicLocaleScope() {
    auto *previous = static_cast<ThreadLocale *>(m_previous);
    if (previous == nullptr)
        return;
    std::setlocale(LC_ALL, previous->m_name.c_str());
    if (previous->m_mode == _DISABLE_PER_THREAD_LOCALE)
        _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
    delete previous;
}

} // namespace Geo::Platform
