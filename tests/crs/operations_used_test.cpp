// The operation recorded for each point is one that reproduces the point bit for bit in pyproj's
// TransformerGroup, and the record is the same on one thread and on two.
#include <vexogeo/vexogeo.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/subprocess.h"
#include "support/test_data.h"

namespace {

using Match = std::pair<std::string, double>; // name, accuracy (-1 unknown)

// For each point, the members of pyproj's group (same PROJ) whose output equals ours exactly.
std::map<std::size_t, std::vector<Match>>
Reproducers(const char *from, const std::vector<double> &in, const std::vector<double> &out) {
    std::ostringstream script;
    script.precision(17);
    script << "from pyproj.transformer import TransformerGroup\nnan = float('nan')\n"
              "g = TransformerGroup('"
           << from << "', 'EPSG:4326', always_xy=True)\npoints = [";
    for (std::size_t i = 0; i < in.size(); i += 2)
        script << "(" << in[i] << ", " << in[i + 1] << ", " << out[i] << ", " << out[i + 1]
               << "), ";
    script << "]\nfor i, (x, y, ex, ey) in enumerate(points):\n"
              "    for t in g.transformers:\n"
              "        if t.transform(x, y) == (ex, ey):\n"
              "            print(i, t.accuracy, t.description)\n";
    const auto result = VexoGeoTest::RunCommand("/usr/bin/python3 - 2>/dev/null", script.str());
    EXPECT_EQ(result.exitCode, 0) << "pyproj (package python3-pyproj) failed on:\n" << script.str();
    std::map<std::size_t, std::vector<Match>> matches;
    std::istringstream lines(result.out);
    std::size_t i = 0;
    double accuracy = 0;
    std::string name;
    while (lines >> i >> accuracy && std::getline(lines >> std::ws, name))
        matches[i].emplace_back(name, accuracy);
    return matches;
}

Geo::CConverter To4326(const char *from) {
    return Geo::CConverter(Geo::CCoordinateSystem::FromProj4Parameters(from),
                           Geo::CCoordinateSystem::FromProj4Parameters("EPSG:4326"));
}

} // namespace

TEST(OperationsUsed, EachPointNamesAnOperationThatReproducesItInPyproj) {
    for (const auto &row : VexoGeoTest::TestTable("crs/operations_used.tsv", 2)) {
        SCOPED_TRACE(row.m_trace);
        const char *from = row[0].c_str();
        std::vector<double> points; // x y pairs
        std::istringstream numbers(row[1]);
        for (std::string number; numbers >> number;)
            points.push_back(number == "nan" ? std::nan("") : std::stod(number));
        const std::size_t n = points.size() / 2;
        std::vector<double> x(n), y(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = points[2 * i];
            y[i] = points[2 * i + 1];
        }
        const Geo::CConverter converter = To4326(from);
        std::vector<double> plainX = x, plainY = y;
        ASSERT_TRUE(converter.TransformCoordinates(n, plainX.data(), plainY.data(), nullptr));
        Geo::OperationsUsed used;
        ASSERT_TRUE(converter.TransformCoordinates(n, x.data(), y.data(), nullptr, used));
        ASSERT_EQ(used.m_points.size(), n);
        // Recording changes no bit of the values.
        EXPECT_EQ(std::memcmp(x.data(), plainX.data(), n * 8), 0);
        EXPECT_EQ(std::memcmp(y.data(), plainY.data(), n * 8), 0);
        std::vector<double> out;
        for (std::size_t i = 0; i < n; ++i)
            out.insert(out.end(), {x[i], y[i]});
        const auto oracle = Reproducers(from, points, out);
        std::int32_t next = 0; // the list is in order of first use
        bool ballpark = false;
        for (std::size_t i = 0; i < n; ++i) {
            const std::int32_t index = used.m_points[i];
            if (std::isnan(points[2 * i])) {
                EXPECT_EQ(index, Geo::OperationsUsed::kNone);
                continue;
            }
            ASSERT_TRUE(index >= 0 && index <= next) << i;
            next += index == next ? 1 : 0;
            const Geo::OperationInfo &info = used.m_operations[static_cast<std::size_t>(index)];
            const auto found = oracle.find(i);
            ASSERT_NE(found, oracle.end()) << "no member of the group gives point " << i;
            const Match ours{info.m_name, info.m_accuracy < 0 ? -1.0 : info.m_accuracy};
            EXPECT_NE(std::find(found->second.begin(), found->second.end(), ours),
                      found->second.end())
                << "point " << i << ": " << info.m_name << " is not among " << found->second.size()
                << " reproducing, first " << found->second[0].first;
            EXPECT_EQ(info.m_ballpark, info.m_name.find("Ballpark") != std::string::npos);
            ballpark = ballpark || info.m_ballpark;
        }
        EXPECT_EQ(static_cast<std::size_t>(next), used.m_operations.size());
        // Every case but the German one reaches a place only a ballpark offset serves.
        EXPECT_EQ(ballpark, std::string(from) != "EPSG:4314");
    }
}

TEST(OperationsUsed, SplitCallsRecordWhatOneThreadRecords) {
    // Places of several operations (and a ballpark one) in short runs, over more points than
    // one thread takes, so two lanes each read their own switches.
    const double places[][2] = {{-97.5, 30.5}, {-75, 45.5}, {10, 50}, {-120, 38}, {-72, 46}};
    const std::size_t n = 12000;
    std::vector<double> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto &p = places[(i / 7) % 5];
        x[i] = p[0] + 1e-4 * static_cast<double>(i % 7);
        y[i] = p[1];
    }
    Geo::CConverter one = To4326("EPSG:4267");
    Geo::CConverter two = one;
    two.SetThreadCount(2);
    ASSERT_EQ(two.GetLaneCount(), 2u);
    std::vector<double> x1 = x, y1 = y, x2 = x, y2 = y;
    Geo::OperationsUsed used1, used2;
    ASSERT_TRUE(one.TransformCoordinates(n, x1.data(), y1.data(), nullptr, used1));
    ASSERT_TRUE(two.TransformCoordinates(n, x2.data(), y2.data(), nullptr, used2));
    EXPECT_EQ(std::memcmp(x1.data(), x2.data(), n * 8), 0);
    EXPECT_EQ(std::memcmp(y1.data(), y2.data(), n * 8), 0);
    EXPECT_EQ(used1.m_operations, used2.m_operations);
    EXPECT_TRUE(used1.m_points == used2.m_points);
    ASSERT_EQ(used1.m_operations.size(), 3u); // Texas and California, Canada, ballpark
    // A lane's own call records the same as its share of the split call.
    Geo::OperationsUsed lane;
    std::vector<double> x3(x.begin() + 6000, x.end()), y3(y.begin() + 6000, y.end());
    ASSERT_TRUE(two.TransformCoordinatesOnLane(1, 6000, x3.data(), y3.data(), nullptr, lane));
    for (std::size_t i = 0; i < 6000; i += 97)
        EXPECT_EQ(lane.m_operations[static_cast<std::size_t>(lane.m_points[i])],
                  used1.m_operations[static_cast<std::size_t>(used1.m_points[6000 + i])])
            << i;
}
