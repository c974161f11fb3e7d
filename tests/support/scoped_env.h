// An environment variable set (or removed) for one scope, on POSIX.
#ifndef VEXOGEO_TESTS_SUPPORT_SCOPED_ENV_H
#define VEXOGEO_TESTS_SUPPORT_SCOPED_ENV_H

#include <cstdlib>
#include <optional>
#include <string>

namespace VexoGeoTest {

/// Sets `name` to `value` (null removes it) and puts back what was there when the scope ends.
class CScopedEnv {
  public:
    CScopedEnv(const char *name, const char *value) : m_name(name) {
        if (const char *old = std::getenv(name))
            m_old = old;
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    CScopedEnv(const char *name, const std::string &value) : CScopedEnv(name, value.c_str()) {}
    ~CScopedEnv() { m_old ? setenv(m_name.c_str(), m_old->c_str(), 1) : unsetenv(m_name.c_str()); }
    CScopedEnv(const CScopedEnv &) = delete;
    CScopedEnv &operator=(const CScopedEnv &) = delete;

  private:
    std::string m_name;
    std::optional<std::string> m_old;
};

} // namespace VexoGeoTest

#endif
