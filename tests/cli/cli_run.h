// The vexogeo tool run as a subprocess by the CLI tests: a scratch folder, one run, a table.
#ifndef VEXOGEO_TESTS_CLI_CLI_RUN_H
#define VEXOGEO_TESTS_CLI_CLI_RUN_H

#include "support/raw_peer.h"
#include "support/subprocess.h"
#include "support/temp_folder.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace VexoGeoCliTest {

using VexoGeoTest::ReadBytes;

// The folder of this test process for the files its cases write, removed at exit.
inline const VexoGeoTest::CTempFolder &ScratchFolder() {
    static const VexoGeoTest::CTempFolder folder("vexogeo-cli-");
    return folder;
}
inline const std::filesystem::path &Scratch() { return ScratchFolder().Root(); }
/// @return the path of the file `name` of the scratch folder, written with `content`.
inline std::string Write(const std::string &name, const std::string &content) {
    return ScratchFolder().Write(name, content);
}

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

// Runs the tool with `arguments` (which may end in a redirection) in the given installation
// language; `wrapper` comes right before the tool (variables, a timer, a pipe into it). PROJ's
// own log is quiet so that standard error holds only the tool's diagnostics.
inline Outcome RunTool(const std::string &arguments, const std::string &input = "",
                       const std::string &language = "english", const std::string &wrapper = "") {
    const std::string errPath = (Scratch() / "stderr").string();
    const VexoGeoTest::CommandResult result = VexoGeoTest::RunCommand(
        std::string("{ export XDG_CONFIG_HOME=") + VEXOGEO_CLI_SETTINGS + "/" + language +
            " XDG_CONFIG_DIRS=" + VEXOGEO_CLI_SETTINGS + "/none PROJ_DEBUG=0; " + wrapper +
            VEXOGEO_CLI_PATH + " " + arguments + " 2>" + errPath + "; }",
        input);
    return {result.exitCode, result.out, ReadBytes(errPath)};
}

// One run of the tool. An `err` of "*" asks only for some diagnostic (the usage texts of CLI11),
// one ending in "*" for a single short line starting so.
struct Case {
    std::string arguments, input, out;
    int exitCode = 0;
    std::string err = "", wrapper = "";
};

inline void Check(const std::vector<Case> &cases, const std::string &language = "english") {
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome outcome = RunTool(c.arguments, c.input, language, c.wrapper);
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        if (c.err == "*") {
            EXPECT_NE(outcome.err, "");
        } else if (!c.err.empty() && c.err.back() == '*') {
            EXPECT_EQ(outcome.err.rfind(c.err.substr(0, c.err.size() - 1), 0), 0u) << outcome.err;
            EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
            EXPECT_LT(outcome.err.size(), 400u);
        } else {
            EXPECT_EQ(outcome.err, c.err);
        }
    }
}

using VexoGeoTest::LoopbackSocket;

// Variables that make the tool reach the HTTPS geocoding service through `proxy`.
inline std::string Proxy(const LoopbackSocket &proxy) {
    return "https_proxy=" + proxy.m_url + " HTTPS_PROXY=" + proxy.m_url + " ";
}

// A wrapper that runs the tool under GNU time; `feed` may pipe the standard input into it.
inline std::string Timed(const std::string &feed = "") {
    return feed + "/usr/bin/time -f %M -o " + (Scratch() / "peak").string() + " ";
}

// The peak resident memory of the last timed run is below `kilobytes`.
inline void ExpectPeakBelow(long kilobytes) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow and quarantine outweigh the tool's memory";
#endif
    long peak = 0;
    std::ifstream(Scratch() / "peak") >> peak;
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, kilobytes) << "peak resident kilobytes of the tool";
}

} // namespace VexoGeoCliTest

#endif
