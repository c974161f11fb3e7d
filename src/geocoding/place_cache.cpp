// The geocoding cache: an LRU list in memory and one checked file per request on disk.
#include "geocoding/place_cache.h"

#include "geocoding/place_parser.h"
#include "platform/cache_folder.h"
#include "platform/file_writer.h"
#include "platform/regular_file.h"
#include "text/ascii.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace Geo {
namespace {

const char *const kMagic = "VEXOGEO-PLACES 1\n";
const char *const kSuffix = ".places";
constexpr std::size_t kDefaultMemoryEntries = 256;
constexpr std::uint64_t kDefaultDiskBytes = 32u << 20;
// A file written this far in the future is not trusted (a clock that was wrong).
constexpr long long kClockSkewSeconds = 300;

long long NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::uint64_t HashKey(const std::string &key) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// Reads "<number>" followed by `end` at `position`; moves past both.
bool ReadField(const std::string &bytes, std::size_t &position, char end, long long &value) {
    const std::size_t stop = bytes.find(end, position);
    if (stop == std::string::npos || stop == position || stop - position > 20)
        return false;
    const auto result = std::from_chars(bytes.data() + position, bytes.data() + stop, value);
    if (result.ec != std::errc() || result.ptr != bytes.data() + stop || value < 0)
        return false;
    position = stop + 1;
    return true;
}

// The file: magic line, "written keySize bodySize" line, then key and body bytes; nothing more.
bool DecodeFile(const std::string &bytes, const std::string &key, long long &written,
                std::string &body) {
    const std::string magic = kMagic;
    if (bytes.compare(0, magic.size(), magic) != 0)
        return false;
    std::size_t position = magic.size();
    long long keySize = 0;
    long long bodySize = 0;
    if (!ReadField(bytes, position, ' ', written) || !ReadField(bytes, position, ' ', keySize) ||
        !ReadField(bytes, position, '\n', bodySize))
        return false;
    const auto rest = static_cast<unsigned long long>(bytes.size() - position);
    if (static_cast<unsigned long long>(keySize) + static_cast<unsigned long long>(bodySize) !=
            rest ||
        static_cast<std::size_t>(keySize) != key.size() ||
        bytes.compare(position, key.size(), key) != 0)
        return false;
    body = bytes.substr(position + key.size());
    return true;
}

} // namespace

std::string GetDefaultCacheFolder() { return Platform::GetUserCacheFolder(); }

CPlaceCache::CPlaceCache(std::size_t memoryEntries, std::uint64_t diskBytes, std::string folder)
    : m_memoryEntries(std::max<std::size_t>(1, memoryEntries)), m_diskBytes(diskBytes),
      m_folder(std::move(folder)) {}

CPlaceCache &CPlaceCache::Process() {
    static CPlaceCache cache(kDefaultMemoryEntries, kDefaultDiskBytes, GetDefaultCacheFolder());
    return cache;
}

std::string CPlaceCache::GetFilePath(const std::string &key) const {
    char name[17];
    const std::uint64_t hash = HashKey(key);
    for (int i = 0; i < 16; ++i)
        name[i] = kLowerHexDigits[(hash >> (60 - 4 * i)) & 0x0F];
    name[16] = '\0';
    return m_folder + name + kSuffix;
}

std::optional<std::vector<Place>> CPlaceCache::FindInMemory(const std::string &key,
                                                            long long oldest) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_index.find(key);
    if (found == m_index.end())
        return std::nullopt;
    if (found->second->m_written < oldest) {
        m_recent.erase(found->second);
        m_index.erase(found);
        return std::nullopt;
    }
    m_recent.splice(m_recent.begin(), m_recent, found->second);
    return found->second->m_places;
}

void CPlaceCache::StoreInMemory(const std::string &key, long long written,
                                const std::vector<Place> &places) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (const auto found = m_index.find(key); found != m_index.end()) {
        m_recent.erase(found->second);
        m_index.erase(found);
    }
    m_recent.push_front(Entry{key, written, places});
    m_index.emplace(key, m_recent.begin());
    while (m_recent.size() > m_memoryEntries) {
        m_index.erase(m_recent.back().m_key);
        m_recent.pop_back();
    }
}

std::optional<std::vector<Place>> CPlaceCache::Find(const std::string &key, AnswerKind kind,
                                                    double lifetimeSeconds) {
    if (!(lifetimeSeconds > 0))
        return std::nullopt;
    const long long now = NowSeconds();
    const long long oldest =
        lifetimeSeconds >= 1e15 ? 0 : now - static_cast<long long>(lifetimeSeconds);
    if (auto places = FindInMemory(key, oldest))
        return places;
    if (m_folder.empty())
        return std::nullopt;
    std::string bytes;
    long long written = 0;
    std::string body;
    // Only a regular file is read: a named pipe put in the folder never blocks a search.
    if (!Platform::ReadRegularFile(GetFilePath(key), m_diskBytes, bytes) ||
        !DecodeFile(bytes, key, written, body) || written < oldest ||
        written > now + kClockSkewSeconds)
        return std::nullopt;
    std::vector<Place> places;
    try {
        if (kind == AnswerKind::Search) {
            places = ParsePlaces(body);
        } else if (auto place = ParseReversePlace(body)) {
            places.push_back(std::move(*place));
        }
    } catch (const GeocodingError &) {
        return std::nullopt; // an unreadable file is replaced by the next answer
    }
    StoreInMemory(key, written, places);
    return places;
}

void CPlaceCache::Store(const std::string &key, const std::string &body,
                        const std::vector<Place> &places) {
    const long long now = NowSeconds();
    StoreInMemory(key, now, places);
    if (m_folder.empty() || m_diskBytes == 0)
        return;
    std::error_code error;
    std::filesystem::create_directories(m_folder, error);
    std::string bytes = kMagic;
    bytes += std::to_string(now) + " " + std::to_string(key.size()) + " " +
             std::to_string(body.size()) + "\n";
    bytes += key;
    bytes += body;
    if (bytes.size() > m_diskBytes / 4)
        return;
    if (Platform::WriteWholeFile(GetFilePath(key), bytes))
        TrimFolder();
}

void CPlaceCache::TrimFolder() const {
    struct File {
        std::filesystem::path m_path;
        std::filesystem::file_time_type m_time;
        std::uintmax_t m_size;
    };
    std::vector<File> files;
    std::uintmax_t total = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_folder, error), end; !error && it != end;
         it.increment(error)) {
        const auto &path = it->path();
        if (path.extension() != kSuffix)
            continue;
        std::error_code fileError;
        const auto size = it->file_size(fileError);
        const auto time = it->last_write_time(fileError);
        if (fileError)
            continue; // removed by another process meanwhile
        files.push_back({path, time, size});
        total += size;
    }
    if (total <= m_diskBytes)
        return;
    // Oldest first, down to three quarters of the bound so that trimming stays rare.
    std::sort(files.begin(), files.end(),
              [](const File &a, const File &b) { return a.m_time < b.m_time; });
    for (const File &file : files) {
        if (total <= m_diskBytes / 4 * 3)
            break;
        std::error_code removeError;
        if (std::filesystem::remove(file.m_path, removeError) || !removeError)
            total -= std::min(total, file.m_size);
    }
}

void CPlaceCache::ClearMemory() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_recent.clear();
    m_index.clear();
}

} // namespace Geo
