// First calls of Localization::Instance() racing from several threads. CTest runs this alone in
// its process, with XDG_CONFIG_HOME and XDG_CONFIG_DIRS naming folders of the build tree: no
// earlier call may have fixed the language.
#include "module/localization.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Geo {
namespace {

namespace fs = std::filesystem;

// The per-user key folder with the value "Language" set to English; refused outside the build
// tree, so that a stray run never touches real settings.
fs::path InstallEnglish() {
    const char *hive = std::getenv("XDG_CONFIG_HOME");
    const std::string buildTree = VEXOGEO_TEST_BINARY_DIR "/";
    if (hive == nullptr || std::string(hive).rfind(buildTree, 0) != 0)
        throw std::runtime_error("XDG_CONFIG_HOME must name a folder in " + buildTree);
    fs::remove_all(hive);
    const fs::path key = fs::path(hive) / "SOFTWARE/Vexo/Kalvo";
    fs::create_directories(key);
    std::ofstream(key / "Language") << "English\n";
    return key;
}

// What the kernel saw happen in the key folder since the last call: one "event name" line per
// open, read and close, of the folder itself (no name) and of its values.
std::vector<std::string> Events(int inotify) {
    std::vector<std::string> events;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t length; (length = read(inotify, buffer, sizeof buffer)) > 0;) {
        for (const char *p = buffer; p < buffer + length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(p);
            const char *kind = event->mask & IN_OPEN     ? "open"
                               : event->mask & IN_ACCESS ? "read"
                                                         : "close";
            events.push_back(std::string(kind) + " " + (event->len ? event->name : ""));
            p += sizeof(inotify_event) + event->len;
        }
    }
    return events;
}

TEST(LocalizationThreads, RacingFirstCallsReadTheSettingsOnceIntoOneObject) {
    const fs::path key = InstallEnglish();
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
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < kThreads)
                std::this_thread::yield();
            seen[i] = &Localization::Instance();
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(Events(inotify), single);
    for (const Localization *localization : seen)
        EXPECT_EQ(localization, seen[0]);
    EXPECT_EQ(seen[0]->GetLanguage(), Language::English);
    close(inotify);
}

} // namespace
} // namespace Geo
