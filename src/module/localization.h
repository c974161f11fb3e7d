// The installation language, read once per process, and the table of localized texts.
#ifndef VEXOGEO_MODULE_LOCALIZATION_H
#define VEXOGEO_MODULE_LOCALIZATION_H

#include <cstddef>

namespace Geo {

/// Installation languages; the values are the columns of the text table.
enum class Language : std::size_t { English = 0, German = 1, Hungarian = 2 };

/// Rows of the text table.
enum class MessageId : std::size_t {
    CultureCode = 0,  ///< the culture id of names in the XML files
    InvalidLimit = 1, ///< the text of a refused geocoding limit
    LanguageCode = 2, ///< the language asked of the geocoding service
};

/// The process-wide language object: determined from the settings store on the first
/// `Instance()` call (thread-safe; retried when that call ends with an exception), then read-only.
class Localization {
  public:
    /// @return the one object of the process, determining the language on the first call.
    static const Localization &Instance();
    /// @return the installation language.
    Language GetLanguage() const;
    /// @return the table entry of row `id` in the language's column, as Windows-1252 bytes
    /// (never null; the Hungarian column is empty).
    const char *GetText(MessageId id) const;

  private:
    explicit Localization(Language language);

    Language m_language;
};

} // namespace Geo

#endif
