// Reading a realistic 50-place search answer, against a bare RapidJSON parse-and-read loop over
// the same body; the bare loop is the ceiling the reader should come close to. Then the geocoding
// client's cache (memory and disk hits for a 10-place answer) and the cost of the request gate.
#include <benchmark/benchmark.h>

#include <rapidjson/document.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench_compare.h"
#include "geocoding/geocoding_settings.h"
#include "geocoding/nominatim_request.h"
#include "geocoding/place_cache.h"
#include "geocoding/place_parser.h"
#include "geocoding/request_gate.h"

#include <filesystem>
#include <unistd.h>

namespace {

// 50 places shaped as the service sends them for format=json, with umlauts in the names and
// the members in the service's order.
std::string MakeAnswer(int count = 50) {
    const char *const kNames[] = {
        "Hauptstra\\u00dfe, Innere Stadt, Wien, 1010, \\u00d6sterreich",
        "K\\u00f6ln, Nordrhein-Westfalen, Deutschland",
        "M\\u00fcnchen, Bayern, Deutschland",
        "Z\\u00fcrich, Bezirk Z\\u00fcrich, Z\\u00fcrich, Schweiz/Suisse/Svizzera/Svizra",
        "Gr\\u00fcner Weg, Neust\\u00e4dter Feldmark, Neustadt am R\\u00fcbenberge, Region "
        "Hannover, "
        "Niedersachsen, 31535, Deutschland",
    };
    std::string body = "[";
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        body += i == 0 ? "" : ",";
        body += "{\"place_id\":" + std::to_string(100000 + i * 7919) +
                ",\"licence\":\"Data \\u00a9 OpenStreetMap contributors, ODbL 1.0. "
                "http://osm.org/copyright\",\"osm_type\":\"way\",\"osm_id\":" +
                std::to_string(24000000 + i * 104729) + ",\"lat\":\"48.20" + n +
                "37\",\"lon\":\"16.37" + n +
                "42\",\"class\":\"highway\",\"type\":\"residential\","
                "\"place_rank\":26,\"importance\":0.10" +
                n + ",\"addresstype\":\"road\",\"name\":\"Place " + n + "\",\"display_name\":\"" +
                kNames[i % 5] + "\",\"boundingbox\":[\"48.20" + n + "1\",\"48.21" + n +
                "9\",\"16.37" + n + "0\",\"16.38" + n + "5\"]}";
    }
    return body + "]";
}

const std::string &Answer() {
    static const std::string answer = MakeAnswer();
    return answer;
}

void ParseSearchResults(benchmark::State &state) {
    const std::string &body = Answer();
    for (auto _ : state) {
        auto results = Geo::ParseSearchResults(body);
        benchmark::DoNotOptimize(results.data());
        if (results.size() != 50) {
            state.SkipWithError("the answer should give 50 places");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
    VexoGeoBench::CompareWith(state, "NominatimBareRapidJson/50", ">=0.8");
}

// The same reads with nothing around them: no type checks beyond what RapidJSON needs and no
// code-page conversion of the names.
void BareRapidJson(benchmark::State &state) {
    const std::string &body = Answer();
    for (auto _ : state) {
        std::vector<Geo::Nominatim::SearchOutput> results;
        rapidjson::Document document;
        document.Parse(body.c_str());
        results.reserve(document.Size());
        for (const auto &place : document.GetArray()) {
            Geo::Nominatim::SearchOutput output;
            const auto &box = place["boundingbox"];
            for (rapidjson::SizeType i = 0; i < 4; ++i) {
                output.m_boundingBox[i] = std::atof(box[i].GetString());
            }
            output.m_displayName = place["display_name"].GetString();
            results.push_back(std::move(output));
        }
        benchmark::DoNotOptimize(results.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

// A folder of the benchmark's own, removed when the program ends.
const std::string &CacheFolder() {
    static const std::string folder = [] {
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("vexogeo-bench-cache-" + std::to_string(getpid())))
                                     .string() +
                                 "/";
        std::atexit([] { std::filesystem::remove_all(CacheFolder()); });
        return path;
    }();
    return folder;
}

const std::string kKeyA = "https://nominatim.example.org/search?q=Wien&format=json&limit=10";
const std::string kKeyB = "https://nominatim.example.org/search?q=Graz&format=json&limit=10";

// Reading the 10-place answer afresh: what a cache hit saves at least (besides the request).
void ParsePlaces(benchmark::State &state) {
    const std::string body = MakeAnswer(10);
    for (auto _ : state) {
        auto places = Geo::ParsePlaces(body);
        benchmark::DoNotOptimize(places.data());
    }
}

// Target: under 50 us for a 10-place answer kept in memory.
void CacheMemoryHit(benchmark::State &state) {
    const std::string body = MakeAnswer(10);
    Geo::CPlaceCache cache(256, 32u << 20, "");
    cache.Store(kKeyA, body, Geo::ParsePlaces(body));
    for (auto _ : state) {
        auto places = cache.Find(kKeyA, Geo::AnswerKind::Search, 86400);
        if (!places || places->size() != 10)
            state.SkipWithError("the answer should come from memory");
        benchmark::DoNotOptimize(places);
    }
    VexoGeoBench::CompareWith(state, "GeocoderParsePlaces/10", "<=0.5");
}

// Target: under 1 ms. Room for one answer in memory and two keys asked in turn: every look-up
// reads, checks and parses its file.
void CacheDiskHit(benchmark::State &state) {
    const std::string body = MakeAnswer(10);
    Geo::CPlaceCache cache(1, 32u << 20, CacheFolder());
    cache.Store(kKeyA, body, Geo::ParsePlaces(body));
    cache.Store(kKeyB, body, Geo::ParsePlaces(body));
    bool a = true;
    for (auto _ : state) {
        auto places = cache.Find(a ? kKeyA : kKeyB, Geo::AnswerKind::Search, 86400);
        a = !a;
        if (!places || places->size() != 10)
            state.SkipWithError("the answer should come from disk");
        benchmark::DoNotOptimize(places);
    }
    VexoGeoBench::CompareWith(state, "GeocoderParsePlaces/10", "<=20");
}

// The gate when nobody waits: the reservation alone.
void GatePass(benchmark::State &state) {
    Geo::RequestGate gate;
    const auto never = std::chrono::steady_clock::time_point::max();
    for (auto _ : state) {
        auto outcome = gate.Pass(1e12, never, {});
        benchmark::DoNotOptimize(outcome);
    }
}

// The same with the rate read from the environment and the settings store, as each request does.
void GatePassWithSettings(benchmark::State &state) {
    Geo::RequestGate gate;
    const auto never = std::chrono::steady_clock::time_point::max();
    for (auto _ : state) {
        auto outcome = gate.Pass(Geo::GetConfiguredRequestsPerSecond() * 1e12, never, {});
        benchmark::DoNotOptimize(outcome);
    }
}

BENCHMARK(ParseSearchResults)->Name("NominatimParseSearchResults/50");
BENCHMARK(ParsePlaces)->Name("GeocoderParsePlaces/10");
BENCHMARK(CacheMemoryHit)->Name("GeocoderCacheMemoryHit/10");
BENCHMARK(CacheDiskHit)->Name("GeocoderCacheDiskHit/10");
BENCHMARK(GatePass)->Name("GeocoderGatePass");
BENCHMARK(GatePassWithSettings)->Name("GeocoderGatePassWithSettings");
BENCHMARK(BareRapidJson)->Name("NominatimBareRapidJson/50");

} // namespace
