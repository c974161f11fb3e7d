// Every writer of the library against one table of targets: the guarantees of the one file
// writer hold for each of them, so a new writer joins `kWriters` and meets every row.
#include <vexogeo/wms/wms_client.h>
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "geocoding/place_cache.h"
#include "support/loopback_server.h"
#include "wms/get_map_request.h"
#include "xml/xml_test_files.h"

namespace Geo::Testing {
namespace {

const std::string kNew = "NEW-CONTENT";
constexpr std::size_t kLarge = 64 << 10; // beyond every limit the tests set

std::string FolderOf(const std::string &path) { return path.substr(0, path.rfind('/') + 1); }
std::string NameOf(const std::string &path) { return path.substr(path.rfind('/') + 1); }

// Answers GET /N with a PNG signature, kNew and N more bytes (the client checks the signature).
const VexoGeoTest::LoopbackServer &MapServer() {
    static const VexoGeoTest::LoopbackServer server(
        [](const httplib::Request &request, httplib::Response &response) {
            response.set_content(std::string("\x89PNG\r\n\x1a\n") + kNew +
                                     std::string(std::stoul(request.path.substr(1)), 'p'),
                                 "image/png");
        });
    return server;
}

// One writer: the file it writes in a folder (ending in '/'), and a write of kNew and `size`
// more bytes. `m_write` answers whether the writer reported success; the cache reports nothing.
struct Writer {
    const char *m_name;
    bool m_reports;
    std::function<std::string(const std::string &folder)> m_target;
    std::function<bool(const std::string &path, std::size_t size)> m_write;
};
const Writer kWriters[] = {
    {"CSerializer::SaveXmlFile", true, [](const std::string &folder) { return folder + "w.xml"; },
     [](const std::string &path, std::size_t size) {
         return CSerializer::SaveXmlFile(CWms(kNew + std::string(size, 'a'), "", "", ""), path);
     }},
    {"CWmsClient::GetMapToFile", true, [](const std::string &folder) { return folder + "m.png"; },
     [](const std::string &path, std::size_t size) {
         try {
             CWmsClient().GetMapToFile(
                 VexoGeoTest::GetMapRequest(MapServer().Url("/" + std::to_string(size)), "1.3.0",
                                            "EPSG:4326", {0, 0, 1, 1}, "a", 8, 8),
                 path);
             return true;
         } catch (const CWmsError &) {
             return false;
         }
     }},
    {"CPlaceCache::Store", false,
     [](const std::string &folder) { return CPlaceCache(1, 1 << 20, folder).GetFilePath("k"); },
     [](const std::string &path, std::size_t size) {
         CPlaceCache(1, 1 << 20, FolderOf(path)).Store("k", kNew + std::string(size, 'b'), {});
         return true;
     }}};

void Old(const std::string &path, mode_t mode) {
    std::ofstream(path) << "old";
    chmod(path.c_str(), mode);
}
// A link at `path` to "real" beside it, made by `make` unless it is null.
void LinkToReal(const std::string &path, const std::function<void(const std::string &)> &make) {
    if (make)
        make(FolderOf(path) + "real");
    symlink("real", path.c_str());
}
void Socket(const std::string &path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    close(fd); // the socket's file stays
}

// What is at a writer's target before it writes; `m_mode` is the mode of the file written
// (through a link), 0 when the target must be refused and left exactly as it was.
struct Target {
    const char *m_what;
    std::function<void(const std::string &path)> m_make;
    mode_t m_mode;
};
const auto kReadOnly = [](const std::string &p) { Old(p, 0444); };
const auto kWritable = [](const std::string &p) { Old(p, 0644); };
const auto kPipe = [](const std::string &p) { mkfifo(p.c_str(), 0644); };
const Target kTargets[] = {
    {"nothing: a new file gets 0666 less the umask 027", [](const std::string &) {}, 0640},
    {"a file of mode 0604 keeps it", [](const std::string &p) { Old(p, 0604); }, 0604},
    {"a link to a file", [](const std::string &p) { LinkToReal(p, kWritable); }, 0644},
    {"a link to no file yet makes it", [](const std::string &p) { LinkToReal(p, nullptr); }, 0640},
    {"a read-only file", kReadOnly, 0},
    {"a file only others may write", [](const std::string &p) { Old(p, 0066); }, 0},
    {"a link to a read-only file", [](const std::string &p) { LinkToReal(p, kReadOnly); }, 0},
    {"a named pipe", kPipe, 0},
    {"a link to a named pipe", [](const std::string &p) { LinkToReal(p, kPipe); }, 0},
    {"a socket", Socket, 0},
    {"a folder", [](const std::string &p) { mkdir(p.c_str(), 0755); }, 0}};
const auto kNull = [](const std::string &p) { mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)); };
const Target kDevices[] = {
    {"a character device (/dev/null)", kNull, 0},
    {"a link to a character device", [](const std::string &p) { LinkToReal(p, kNull); }, 0},
    {"a block device",
     [](const std::string &p) { mknod(p.c_str(), S_IFBLK | 0600, makedev(7, 0)); }, 0}};

// Makes `target` where `writer` writes, in a folder of its own, lets it write and checks that
// the target is written through or left exactly as it was, with no other file left behind.
void Check(const Writer &writer, const Target &target) {
    SCOPED_TRACE(std::string(writer.m_name) + " over " + target.m_what);
    const CTempFolder folder;
    const std::string path = writer.m_target(folder.Path(""));
    target.m_make(path);
    struct stat link {
    }, before{}, after{};
    const bool existed = lstat(path.c_str(), &link) == 0;
    stat(path.c_str(), &before);
    std::set<std::string> names = folder.List();
    const bool reported = writer.m_write(path, 16);
    ASSERT_EQ(lstat(path.c_str(), &after), 0);
    EXPECT_EQ(S_ISLNK(after.st_mode), existed && S_ISLNK(link.st_mode)); // a link stays a link
    if (target.m_mode == 0) {
        EXPECT_FALSE(writer.m_reports && reported);
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_rdev, before.st_rdev);
        EXPECT_TRUE(!S_ISREG(after.st_mode) || ReadBytes(path) == "old");
    } else {
        EXPECT_TRUE(reported);
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, S_IFREG | target.m_mode);
        EXPECT_NE(ReadBytes(path).find(kNew), std::string::npos);
        names.insert(existed && S_ISLNK(link.st_mode) ? "real" : NameOf(path));
    }
    EXPECT_EQ(folder.List(), names);
}

TEST(FileWriters, WriteThroughOrRefuseAndLeaveNothingElse) {
    const mode_t mask = umask(027);
    for (const Writer &writer : kWriters)
        for (const Target &target : kTargets)
            Check(writer, target);
    umask(mask);
}

// Lets `writer` write kLarge bytes over an old file in a child process, under a limit that
// `limit` sets on the folder: the write fails, ends no process and leaves the old file and no
// other. A signal the write raised is neither delivered nor left pending, and the signal mask
// comes back as it was, also when the caller had blocked the signal itself.
void CheckLimited(const Writer &writer, const std::function<bool(const std::string &)> &limit) {
    SCOPED_TRACE(writer.m_name);
    const CTempFolder folder;
    for (const bool blockedByCaller : {false, true}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_DFL);
            sigset_t signals, mask, pending;
            sigemptyset(&signals);
            sigaddset(&signals, SIGXFSZ);
            pthread_sigmask(blockedByCaller ? SIG_BLOCK : SIG_UNBLOCK, &signals, nullptr);
            const std::string path = writer.m_target(folder.Path(""));
            if (!limit(folder.Path("")))
                _exit(6);
            Old(path, 0644);
            const bool reported = writer.m_write(path, kLarge);
            pthread_sigmask(SIG_BLOCK, nullptr, &mask);
            sigpending(&pending);
            _exit(writer.m_reports && reported                           ? 1
                  : sigismember(&mask, SIGXFSZ) != int(blockedByCaller)  ? 2
                  : sigismember(&pending, SIGXFSZ)                       ? 3
                  : ReadBytes(path) != "old"                             ? 4
                  : folder.List() != std::set<std::string>{NameOf(path)} ? 5
                                                                         : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1 reported success, 2 mask changed, 3 signal left "
                                             "pending, 4 old file changed, 5 other files left, "
                                             "6 no limit";
    }
}

TEST(FileWriters, FailWithoutTheirSignalBeyondTheFileSizeLimit) {
    for (const Writer &writer : kWriters)
        CheckLimited(writer, [](const std::string &) {
            const rlimit limit{1024, RLIM_INFINITY};
            return setrlimit(RLIMIT_FSIZE, &limit) == 0;
        });
}

// Device nodes need mknod, a full file system a mount of a small one: both need root.
TEST(FileWriters, AsRootRefuseDevicesAndFailOnAFullDisk) {
    if (geteuid() != 0)
        GTEST_SKIP() << "device nodes (mknod) and a full file system (mount) need root; CI and "
                        "scripts/run-tests run these as root";
    for (const Writer &writer : kWriters) {
        for (const Target &target : kDevices)
            Check(writer, target);
        // A file system of 16 KiB of its own, mounted over the folder in the child alone.
        CheckLimited(writer, [](const std::string &folder) {
            return unshare(CLONE_NEWNS) == 0 &&
                   // The kernel ignores source and type when only propagation
                   // changes; they are named so that checkers see valid strings.
                   mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16k") == 0;
        });
    }
}

} // namespace
} // namespace Geo::Testing
