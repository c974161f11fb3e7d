// CSerializer with real files: the three loaders and the saver, on good files and on hostile
// ones (entities, deep nesting, huge values, bad encodings, unreadable or changing paths).
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/raw_peer.h"
#include "xml/xml_test_files.h"

namespace Geo::Testing {
namespace {

// A named SRID list whose one entry is EPSG:4326 named `name`.
std::string SridList(const std::string &name) {
    return "<NamedSridConfiguration><NamedSrid><Authority>EPSG</Authority><Identifier>4326"
           "</Identifier><Name><Culture id=\"de-de\">" +
           name + "</Culture></Name></NamedSrid></NamedSridConfiguration>";
}

// `text` with each "{#}" replaced by a number of its own: many attributes of distinct names.
std::string Numbered(const std::string &text) {
    std::string out;
    std::size_t count = 0, from = 0;
    for (std::size_t at; (at = text.find("{#}", from)) != std::string::npos; from = at + 3)
        out.append(text, from, at - from) += std::to_string(count++);
    return out.append(text, from);
}

// Each loader takes its own format only, entries in file order, the first child of each name
// for a value, and refuses the whole file for one bad entry. On hostile documents (entities,
// depth, sizes, encodings, each limit at its edge) every loader answers false with its object
// untouched or loads the whole document, quickly and silently. The documents are in
// tests/data/xml/tables/loads.txt.
TEST(XmlSerializer, EachLoaderLoadsItsOwnFormatWholeOrNothing) {
    // Nothing may connect to it: accept must find no connection, without waiting.
    const VexoGeoTest::LoopbackSocket listener(true);
    ASSERT_EQ(fcntl(listener.Handle(), F_SETFL, O_NONBLOCK), 0);
    CTempFolder folder;
    const std::string secret = folder.Write("secret.txt", "SECRET");
    folder.Write("entities.dtd", "<!ENTITY e SYSTEM \"secret.txt\">");
    testing::internal::CaptureStderr();
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("xml/tables/loads.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        std::string document =
            row[0].rfind("file:", 0) == 0 ? TestData(row[0].substr(5)) : Numbered(row[0]);
        for (const auto &[name, value] : {std::pair{"{secret}", secret}, {"{url}", listener.m_url}})
            if (const std::size_t at = document.find(name); at != std::string::npos)
                document.replace(at, std::strlen(name), value);
        const std::string result = Loads(folder.Write("file.xml", document));
        EXPECT_TRUE(result == row[1]) << result.substr(0, 80) << " for " << document.size()
                                      << " bytes: " << document.substr(0, 80);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // the library prints nothing
    // The kernel completes connections to a listening socket without accept(): a fetch would
    // be waiting here.
    EXPECT_LT(accept(listener.Handle(), nullptr, nullptr), 0);
}

// Exact bytes; a failed save leaves the old file and no temporary file. What every writer
// guarantees (links, modes, refused targets, full disks) is checked in tests/platform.
TEST(XmlSerializer, SavesExactBytesOrLeavesTheOldFile) {
    CTempFolder folder;
    const std::string path = folder.Path("wms.xml");
    const CWms wms("http://example.com/wms?a=1&b=<2>", "roads,rivers", "", "1.3.0");
    ASSERT_TRUE(CSerializer::SaveXmlFile(wms, path));
    EXPECT_EQ(ReadBytes(path), TestData("xml/wms_saved"));
    for (const CWms &saved : {wms, CWms(), CWms("q\"u'o<t>", "tab\t", "cr\r\nlf", "ä🗺")}) {
        ASSERT_TRUE(CSerializer::SaveXmlFile(saved, path));
        EXPECT_EQ(Loads(path), "W[" + Text(saved) + "]");
    }
    const std::string empty = TestData("xml/wms_saved_empty");
    ASSERT_TRUE(CSerializer::SaveXmlFile(CWms(), path));
    EXPECT_EQ(ReadBytes(path), empty);
    EXPECT_FALSE(CSerializer::SaveXmlFile(CWms(std::string(4096, 'a'), "l", "s", "v"),
                                          folder.Path("missing/wms.xml")));
    EXPECT_FALSE(CSerializer::SaveXmlFile(CWms("bell\a", "", "", ""), path));
    EXPECT_EQ(ReadBytes(path), empty);
    EXPECT_EQ(folder.List(), std::set<std::string>{"wms.xml"});
}

TEST(XmlHostileFile, PathsThatCannotBeReadAnswerFalse) {
    CTempFolder folder;
    const std::string file = folder.Write("wms.xml", Tag("Wms", kBody));
    std::filesystem::create_directory(folder.Path("folder.xml"));
    std::filesystem::create_symlink("missing.xml", folder.Path("dangling.xml"));
    std::filesystem::create_symlink("loop.xml", folder.Path("loop.xml"));
    ASSERT_EQ(mkfifo(folder.Path("pipe.xml").c_str(), 0600), 0);
    // A named pipe answers at once, never blocks; a file as parent; a name beyond NAME_MAX;
    // links to nothing and to themselves; a device without end; a regular file whose reading
    // fails.
    for (const std::string &path :
         {folder.Path("missing.xml"), folder.Path(""), folder.Path("pipe.xml"),
          folder.Path("folder.xml"), file + "/inner.xml", folder.Path(std::string(300, 'x')),
          folder.Path("dangling.xml"), folder.Path("loop.xml"), std::string("/dev/zero"),
          std::string("/proc/self/mem")})
        EXPECT_EQ(Loads(path), "") << path;

    // Root reads files whatever their permissions say. This thread acts as "nobody" towards
    // files, which drops that privilege for it alone; not root, the calls change nothing.
    const std::string locked = folder.Write("locked.xml", Tag("Wms", kBody));
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    std::filesystem::create_directory(folder.Path("closed"));
    folder.Write("closed/wms.xml", Tag("Wms", kBody));
    ASSERT_EQ(chmod(folder.Path("closed").c_str(), 0), 0);
    std::thread unprivileged([&] {
        if (geteuid() == 0) {
            setfsgid(65534);
            setfsuid(65534);
            ASSERT_EQ(setfsuid(65534), 65534) << "cannot drop the file privileges of root";
        }
        EXPECT_EQ(Loads(file), "W[a|l|s|v]"); // readable for anyone
        EXPECT_EQ(Loads(locked), "");
        EXPECT_EQ(Loads(folder.Path("closed/wms.xml")), ""); // its folder cannot be searched
    });
    unprivileged.join();
    chmod(folder.Path("closed").c_str(), 0700);
}

TEST(XmlHostileFile, FileRewrittenInPlaceLoadsWholeOrNotAtAll) {
    CTempFolder folder;
    const std::string path = folder.Path("srid.xml");
    const std::string name = VexoGeoTest::Unescape("\\{20000|0123456789\\}"),
                      content = SridList(name);
    // Keeps rewriting the file in place: truncates it, writes its content back in pieces and
    // sometimes cuts it short. Every byte ever at an offset is that of `content`, so a load
    // sees a prefix of it, however reads and writes interleave.
    const CBackground rewriter([&](const std::atomic<bool> &stop) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        for (std::size_t round = 1; !stop; ++round) {
            ASSERT_EQ(ftruncate(fd, 0), 0);
            const std::size_t piece = content.size() / 8 + round * 7919 % (content.size() / 4);
            for (std::size_t offset = 0; offset < content.size(); offset += piece) {
                const std::size_t count = std::min(piece, content.size() - offset);
                ASSERT_EQ(pwrite(fd, content.data() + offset, count, offset), ssize_t(count));
                std::this_thread::yield();
            }
            if (round % 3 == 0)
                ASSERT_EQ(ftruncate(fd, round % content.size()), 0);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1)); // whole for a while
        }
        close(fd);
    });
    int whole = 0, refused = 0;
    for (int i = 0; (whole < 20 || refused < 20) && i < 100000; ++i) {
        const std::string loaded = Loads(path);
        (loaded.empty() ? refused : whole)++;
        ASSERT_TRUE(loaded.empty() || loaded == "S[EPSG:4326 " + name + "]") << loaded.size();
    }
    EXPECT_GT(whole, 0) << "no load found the file whole";
    EXPECT_GT(refused, 0) << "no load met a rewrite";
}

// The path keeps changing places with a named pipe while loads run on two threads. A load
// that opened the pipe would wait for a writer for ever, and CTest's time-out would end it.
TEST(XmlHostileFile, FileSwappedForANamedPipeNeverBlocks) {
    CTempFolder folder;
    const std::string path = folder.Write("wms.xml", Tag("Wms", kBody)), pipe = folder.Path("p");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const CBackground swapper([&](const std::atomic<bool> &stop) {
        for (const char *a = path.c_str(), *b = pipe.c_str(); !stop;)
            ASSERT_EQ(renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE), 0);
    });
    const auto load = [&] {
        for (int i = 0; i < 20000; ++i) {
            const std::string loaded = Loads(path);
            EXPECT_TRUE(loaded.empty() || loaded == "W[a|l|s|v]") << loaded;
        }
    };
    std::thread other(load);
    load();
    other.join();
}

} // namespace
} // namespace Geo::Testing
