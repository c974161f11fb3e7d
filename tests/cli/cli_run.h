// The vexogeo tool run as a subprocess by the CLI tests: a scratch folder, one run, a table.
#ifndef VEXOGEO_TESTS_CLI_CLI_RUN_H
#define VEXOGEO_TESTS_CLI_CLI_RUN_H

#include "support/subprocess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace VexoGeoCliTest {

// The folder of this test process for the files its cases write, removed at exit.
inline const std::filesystem::path &Scratch() {
    static const struct Folder {
        std::filesystem::path m_path =
            std::filesystem::temp_directory_path() / ("vexogeo-cli-" + std::to_string(getpid()));
        Folder() { std::filesystem::create_directories(m_path); }
        ~Folder() { std::filesystem::remove_all(m_path); }
    } folder;
    return folder.m_path;
}

inline std::string ReadFile(const std::filesystem::path &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::string Write(const std::string &name, const std::string &content) {
    std::ofstream(Scratch() / name, std::ios::binary) << content;
    return (Scratch() / name).string();
}

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
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
    return {result.exitCode, result.out, ReadFile(errPath)};
}

// One run of the tool; an `err` of "*" asks only for some diagnostic (the usage texts of CLI11).
struct Case {
    std::string arguments, input, out;
    int exitCode = 0;
    std::string err = "";
};

inline void Check(const std::vector<Case> &cases, const std::string &language = "english") {
    for (const Case &c : cases) {
        const Outcome outcome = RunTool(c.arguments, c.input, language);
        EXPECT_EQ(outcome.out, c.out) << c.arguments;
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.arguments;
        if (c.err == "*")
            EXPECT_NE(outcome.err, "") << c.arguments;
        else
            EXPECT_EQ(outcome.err, c.err) << c.arguments;
    }
}

} // namespace VexoGeoCliTest

#endif
