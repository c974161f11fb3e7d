// Answers of the geocoding client kept for reuse: in memory (least recently used, bounded) and
// in files shared by every process of the user.
#ifndef VEXOGEO_GEOCODING_PLACE_CACHE_H
#define VEXOGEO_GEOCODING_PLACE_CACHE_H

#include <vexogeo/geocoding/geocoder.h>

#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Geo {

/// The disk cache's folder: $XDG_CACHE_HOME/vexogeo/, else $HOME/.cache/vexogeo/ on POSIX,
/// %LOCALAPPDATA%\VexoGeo\cache\ on Windows.
/// @return the empty text when the environment names no such folder.
std::string GetDefaultCacheFolder();

/// What a request's answer is read as.
enum class AnswerKind { Search, Reverse };

/// A cache of successful answers by request text. The files are written atomically and checked
/// on reading: a corrupt, truncated, foreign or expired file is ignored and replaced by the next
/// answer. Thread-safe; several processes may share the folder.
class CPlaceCache {
  public:
    /// @param folder the disk folder (ending in '/'); empty: memory only.
    CPlaceCache(std::size_t memoryEntries, std::uint64_t diskBytes, std::string folder);

    /// The cache of the process, in the default folder as the environment names it the first
    /// time it is used.
    static CPlaceCache &Process();

    /// The places for `key` if an answer younger than `lifetimeSeconds` is kept.
    std::optional<std::vector<Place>> Find(const std::string &key, AnswerKind kind,
                                           double lifetimeSeconds);
    /// Keeps `body`, an answer that read as `places`, under `key`. Failures to write the file
    /// are ignored: the cache only saves requests.
    void Store(const std::string &key, const std::string &body, const std::vector<Place> &places);

    /// Forgets the memory part (the files stay).
    void ClearMemory();

    /// The file that holds `key`.
    std::string GetFilePath(const std::string &key) const;

  private:
    struct Entry {
        std::string m_key;
        long long m_written; ///< seconds since 1970
        std::vector<Place> m_places;
    };

    std::optional<std::vector<Place>> FindInMemory(const std::string &key, long long oldest);
    void StoreInMemory(const std::string &key, long long written, const std::vector<Place> &places);
    void TrimFolder() const;

    std::size_t m_memoryEntries;
    std::uint64_t m_diskBytes;
    std::string m_folder;
    std::mutex m_mutex;
    std::list<Entry> m_recent; ///< most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> m_index;
};

} // namespace Geo

#endif
