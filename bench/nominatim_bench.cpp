// Reading a realistic 50-place search answer, against a bare RapidJSON parse-and-read loop over
// the same body; the bare loop is the ceiling the reader should come close to.
#include <benchmark/benchmark.h>

#include <rapidjson/document.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench_compare.h"
#include "geocoding/nominatim_request.h"

namespace {

// 50 places shaped as the service sends them for format=json, with umlauts in the names and
// the members in the service's order.
std::string MakeAnswer() {
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
    for (int i = 0; i < 50; ++i) {
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

BENCHMARK(ParseSearchResults)->Name("NominatimParseSearchResults/50");
BENCHMARK(BareRapidJson)->Name("NominatimBareRapidJson/50");

} // namespace
