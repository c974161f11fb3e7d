// First calls of Localization::Instance() racing from several threads. CTest runs this alone in
// its process, with XDG_CONFIG_HOME and XDG_CONFIG_DIRS naming folders of the build tree.
#include "module/localization.h"
#include "support/threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Geo {
namespace {

// What the kernel saw happen in the watched folder since the last call: one "event name" line
// per open, read and close, of the folder itself (no name) and of its values.
std::vector<std::string> Events(int inotify) {
    std::vector<std::string> events;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t length; (length = read(inotify, buffer, sizeof buffer)) > 0;) {
        for (const char *p = buffer; p < buffer + length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(p);
            events.push_back((event->mask & IN_OPEN     ? "open "
                              : event->mask & IN_ACCESS ? "read "
                                                        : "close ") +
                             std::string(event->len ? event->name : ""));
            p += sizeof(inotify_event) + event->len;
        }
    }
    return events;
}

TEST(LocalizationThreads, RacingFirstCallsReadTheSettingsOnceIntoOneObject) {
    // The per-user value "Language" set to English, only ever in the build tree: a stray run
    // never touches real settings.
    const char *hive = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(hive != nullptr && std::string(hive).rfind(VEXOGEO_TEST_BINARY_DIR "/", 0) == 0);
    const std::filesystem::path key = std::filesystem::path(hive) / "SOFTWARE/Vexo/Kalvo";
    std::filesystem::remove_all(hive);
    std::filesystem::create_directories(key);
    std::ofstream(key / "Language") << "English\n";
    const int inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify, 0);
    ASSERT_GE(inotify_add_watch(inotify, key.c_str(), IN_OPEN | IN_ACCESS | IN_CLOSE_NOWRITE), 0);

    // What one first call does on its own, in a child process that makes it and ends.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(Localization::Instance().GetLanguage() == Language::English ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<std::string> single = Events(inotify);
    ASSERT_NE(std::find(single.begin(), single.end(), "read Language"), single.end());

    // The same first call from many threads released at once.
    constexpr int kThreads = 16;
    std::vector<const Localization *> seen(kThreads);
    VexoGeoTest::RunThreads(kThreads, [&](int i) { seen[i] = &Localization::Instance(); });
    EXPECT_EQ(Events(inotify), single);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), seen[0]), kThreads);
    EXPECT_EQ(seen[0]->GetLanguage(), Language::English);
    close(inotify);
}

} // namespace
} // namespace Geo
