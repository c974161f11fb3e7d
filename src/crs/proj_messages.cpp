// CProjMessages: the logging function the library gives PROJ's default context, and its store.
#include <vexogeo/crs/proj_messages.h>

#include "crs/proj_log_sink.h"

#include <proj.h>

#include <deque>
#include <mutex>

namespace Geo {

namespace {

constexpr std::size_t kKeptMessages = 16;
constexpr std::size_t kMessageLimit = 4096;

std::mutex &StoreMutex() {
    static std::mutex *mutex = new std::mutex(); // never destroyed: PROJ may log at exit
    return *mutex;
}

std::deque<std::string> &Store() {
    static auto *store = new std::deque<std::string>();
    return *store;
}

void KeepMessage(void *, int, const char *message) {
    if (message == nullptr)
        return;
    std::string text(message);
    if (text.size() > kMessageLimit)
        text.resize(kMessageLimit);
    // PROJ ends some messages with a newline; the host adds its own.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::lock_guard<std::mutex> lock(StoreMutex());
    std::deque<std::string> &store = Store();
    if (store.size() == kKeptMessages)
        store.pop_front();
    store.push_back(std::move(text));
}

} // namespace

void RouteProjLog(PJ_CONTEXT *context) { proj_log_func(context, nullptr, KeepMessage); }

void KeepProjMessage(const char *message) { KeepMessage(nullptr, 0, message); }

std::vector<std::string> CProjMessages::Take() {
    const std::lock_guard<std::mutex> lock(StoreMutex());
    std::deque<std::string> &store = Store();
    std::vector<std::string> messages(std::make_move_iterator(store.begin()),
                                      std::make_move_iterator(store.end()));
    store.clear();
    return messages;
}

void CProjMessages::Clear() {
    const std::lock_guard<std::mutex> lock(StoreMutex());
    Store().clear();
}

} // namespace Geo
