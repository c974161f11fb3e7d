// Runs a command line with a given standard input and collects its standard output and exit code.
#ifndef VEXOGEO_TESTS_SUPPORT_SUBPROCESS_H
#define VEXOGEO_TESTS_SUPPORT_SUBPROCESS_H

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace VexoGeoTest {

struct CommandResult {
    int exitCode = -1;
    std::string out;
};

/// Runs `command` through /bin/sh with `input` on its standard input; standard error passes
/// through to the test's own.
inline CommandResult RunCommand(const std::string &command, const std::string &input = "") {
    char inputPath[] = "/tmp/vexogeo-test-input-XXXXXX";
    const int fd = mkstemp(inputPath);
    CommandResult result;
    if (fd < 0)
        return result;
    close(fd);
    std::ofstream(inputPath, std::ios::binary) << input;
    if (FILE *pipe = popen((command + " < " + inputPath).c_str(), "r")) {
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            result.out.append(buffer, n);
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::remove(inputPath);
    return result;
}

/// @return true when `program` is found on PATH.
inline bool HaveProgram(const std::string &program) {
    return RunCommand("command -v " + program + " >/dev/null 2>&1").exitCode == 0;
}

/// Fails the calling test unless `program` is on PATH. Every oracle program comes with the core
/// packages, so a missing one is a broken installation: it fails loudly, never skips.
#define VEXOGEO_REQUIRE_PROGRAM(program, package)                                                  \
    ASSERT_TRUE(::VexoGeoTest::HaveProgram(program))                                               \
        << (program) << " (Debian package " << (package)                                           \
        << ") is missing: scripts/install-deps.sh core installs it"

} // namespace VexoGeoTest

#endif
