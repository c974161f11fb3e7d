// The loaders on hostile files: deep nesting, huge values, bytes invalid in their encoding, paths
// that cannot be read, and files that change while they are loaded.
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include "xml/xml_test_files.h"

namespace Geo {
namespace {

using Testing::CTempFolder;

// This binary runs in the German installation language: names come from the "de-de" culture.
const CWms kSentinel("untouched", "l", "s", "v");
const NamedSrid kSrid(Srid("SENTINEL", 1), "untouched");
const NamedWms kNamedWms(kSentinel, "untouched");
const std::string kBody =
    "<Address>a</Address><Layers>l</Layers><Styles>s</Styles><Version>v</Version>";

std::string Repeat(const std::string &text, std::size_t count) {
    std::string repeated;
    repeated.reserve(text.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        repeated += text;
    return repeated;
}

std::string Nested(std::size_t depth, const std::string &inner = "") {
    return Repeat("<a>", depth) + inner + Repeat("</a>", depth);
}

// A named SRID list whose one entry is named `name` in German.
std::string SridList(const std::string &name, const std::string &cultureId = "de-de") {
    return "<NamedSridConfiguration><NamedSrid><Authority>EPSG</Authority><Identifier>4326"
           "</Identifier><Name><Culture id=\"" +
           cultureId + "\">" + name + "</Culture></Name></NamedSrid></NamedSridConfiguration>";
}

// Loads `path` with the three loaders into sentinel objects. @return a letter per loader that
// answered true, W(ms), S(RID list) or N(amed WMS list); a lower-case letter for one that
// answered false and yet changed its object.
std::string Loads(const std::string &path) {
    CWms wms = kSentinel;
    NamedSridConfiguration srids{{kSrid}};
    CNamedWmsConfiguration wmsList{{kNamedWms}};
    std::string answers;
    if (CSerializer::LoadXmlFile(wms, path))
        answers += 'W';
    else if (wms != kSentinel)
        answers += 'w';
    if (CSerializer::LoadXmlFile(srids, path))
        answers += 'S';
    else if (srids.m_entries != std::vector<NamedSrid>{kSrid})
        answers += 's';
    if (CSerializer::LoadXmlFile(wmsList, path))
        answers += 'N';
    else if (wmsList.m_entries != std::vector<NamedWms>{kNamedWms})
        answers += 'n';
    return answers;
}

// The WMS description loaded from `bytes`, or "false" when the loader refuses it.
std::string WmsAddress(const CTempFolder &folder, const std::string &bytes) {
    CWms wms = kSentinel;
    if (!CSerializer::LoadXmlFile(wms, folder.Write("wms.xml", bytes)))
        return wms == kSentinel ? "false" : "false, changed";
    return wms.m_address;
}

TEST(XmlHostileFile, DeepNestingIsRefusedPastLibxml2sDepthLimit) {
    CTempFolder folder;
    const struct {
        std::string file;
        const char *answers;
    } kCases[] = {
        // The document element and its child count towards the limit of 256 levels.
        {"<Wms>" + kBody + "<Extra>" + Nested(250) + "</Extra></Wms>", "W"},
        {"<Wms>" + kBody + "<Extra>" + Nested(260) + "</Extra></Wms>", ""},
        {"<Wms>" + kBody + Nested(100000) + "</Wms>", ""},
        {"<Wms>" + Nested(1000000, kBody) + "</Wms>", ""},
        {"<Wms>" + kBody + Repeat("<a>", 1000000), ""},
        {SridList(Nested(100000, "N")), ""},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(Loads(folder.Write("deep.xml", c.file)), c.answers) << c.file.size();
}

TEST(XmlHostileFile, HugeValuesLoadWholeOrNotAtAll) {
    CTempFolder folder;
    const std::string blanks(2500000, ' ');
    const std::string half(5000000, 'n');
    const std::string over(10000001, 'n');
    const auto wms = [](const std::string &address) {
        return "<Wms><Layers/><Styles/><Version/><Address>" + address + "</Address></Wms>";
    };
    const struct {
        std::string file;
        std::string answers;
        std::string value; ///< the name or address loaded
    } kCases[] = {
        // libxml2 limits attribute values to 10 000 000 bytes, names to 50 000, and text it
        // assembles from pieces to 10 000 000; a text read in one piece is not limited.
        {SridList("N", blanks + "de-de" + blanks), "S", "N"},
        {SridList("N", over), "", ""},
        {SridList("N", "de-de\" " + over + "=\"1"), "", ""},
        {SridList(over), "S", over},
        {SridList(half + "&amp;" + half), "", ""},
        {wms(over), "W", over},
        {wms(half + "&amp;" + half), "", ""},
    };
    testing::internal::CaptureStderr();
    for (const auto &c : kCases) {
        const std::string path = folder.Write("huge.xml", c.file);
        EXPECT_EQ(Loads(path), c.answers) << c.file.size();
        // What the loader that answers true holds, in full.
        if (c.answers == "S") {
            NamedSridConfiguration srids;
            ASSERT_TRUE(CSerializer::LoadXmlFile(srids, path));
            EXPECT_TRUE(srids.m_entries ==
                        std::vector<NamedSrid>{NamedSrid(Srid("EPSG", 4326), c.value)});
        } else if (c.answers == "W") {
            CWms loaded;
            ASSERT_TRUE(CSerializer::LoadXmlFile(loaded, path));
            EXPECT_TRUE(loaded == CWms(c.value, "", "", "")) << loaded.m_address.size();
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XmlHostileFile, BytesInvalidInTheirEncodingAreRefused) {
    CTempFolder folder;
    const auto declared = [](const std::string &encoding, const std::string &address) {
        return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?><Wms><Address>" + address +
               "</Address><Layers/><Styles/><Version/></Wms>";
    };
    // UTF-16LE with its byte order mark; `address` is given as UTF-16LE bytes.
    const auto utf16 = [](const std::string &address) {
        std::string bytes = "\xFF\xFE";
        for (const char c : std::string("<Wms><Layers/><Styles/><Version/><Address>")) {
            bytes += c;
            bytes += '\0';
        }
        bytes += address;
        for (const char c : std::string("</Address></Wms>")) {
            bytes += c;
            bytes += '\0';
        }
        return bytes;
    };
    const std::pair<std::string, std::string> kCases[] = {
        {declared("UTF-8", "K\xC3\xB6ln"), "K\xC3\xB6ln"},
        {declared("UTF-8", "K\xF6ln"), "false"},
        {declared("UTF-8", "K\xC3"), "false"},
        {declared("UTF-8", "\xC0\xAF"), "false"},         // overlong "/"
        {declared("UTF-8", "\xED\xA0\x80"), "false"},     // a UTF-16 surrogate
        {declared("UTF-8", "\xF4\x90\x80\x80"), "false"}, // beyond U+10FFFF
        {declared("UTF-8", "\xEF\xBF\xBF"), "false"},     // U+FFFF is no XML character
        {declared("UTF-8", std::string("a\0b", 3)), "false"},
        {declared("UTF-8", "\x1B[0m"), "false"},
        {declared("ISO-8859-1", "K\xF6ln"), "K\xC3\xB6ln"},
        {declared("US-ASCII", "K\xF6ln"), "false"},
        {declared("windows-1252", "\x80"), "\xE2\x82\xAC"},
        {declared("windows-1252", "\x81"), "false"}, // unassigned in Windows-1252
        {declared("Shift_JIS", "\x82\xA0"), "\xE3\x81\x82"},
        {declared("Shift_JIS", "\x82\xFF"), "false"},
        {declared("UTF-16", "a"), "false"}, // single bytes declared as UTF-16
        {"\xEF\xBB\xBF" + declared("UTF-8", "a"), "a"},
        {utf16(std::string("a\0", 2)), "a"},
        {utf16(std::string("a\0x", 3)), "false"},   // an odd byte: the rest is misaligned
        {utf16(std::string("\0\xD8", 2)), "false"}, // half a surrogate pair
    };
    testing::internal::CaptureStderr();
    for (const auto &c : kCases)
        EXPECT_EQ(WmsAddress(folder, c.first), c.second) << c.first;
    EXPECT_EQ(Loads(folder.Path("wms.xml")), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // the library prints nothing
}

TEST(XmlHostileFile, PathsThatCannotBeReadAnswerFalse) {
    CTempFolder folder;
    const std::string file = folder.Write("wms.xml", "<Wms>" + kBody + "</Wms>");
    std::filesystem::create_directory(folder.Path("folder.xml"));
    std::filesystem::create_symlink("missing.xml", folder.Path("dangling.xml"));
    std::filesystem::create_symlink("loop.xml", folder.Path("loop.xml"));
    for (const std::string &path : {
             folder.Path("folder.xml"),          // a folder
             file + "/inner.xml",                // its parent is a file
             folder.Path(std::string(300, 'x')), // a name beyond NAME_MAX
             folder.Path("dangling.xml"),        // a link to nothing
             folder.Path("loop.xml"),            // a link to itself
             std::string("/dev/zero"),           // a device without end
             std::string("/proc/self/mem"),      // a regular file whose reading fails
         })
        EXPECT_EQ(Loads(path), "") << path;

    // Root reads files whatever their permissions say. This thread acts as "nobody" towards
    // files, which drops that privilege for it alone; not root, the calls change nothing.
    const std::string locked = folder.Write("locked.xml", "<Wms>" + kBody + "</Wms>");
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    std::filesystem::create_directory(folder.Path("closed"));
    folder.Write("closed/wms.xml", "<Wms>" + kBody + "</Wms>");
    ASSERT_EQ(chmod(folder.Path("closed").c_str(), 0), 0);
    std::thread unprivileged([&] {
        if (geteuid() == 0) {
            setfsgid(65534);
            setfsuid(65534);
            ASSERT_EQ(setfsuid(65534), 65534) << "cannot drop the file privileges of root";
        }
        EXPECT_EQ(Loads(file), "W"); // readable for anyone
        EXPECT_EQ(Loads(locked), "");
        EXPECT_EQ(Loads(folder.Path("closed/wms.xml")), ""); // its folder cannot be searched
    });
    unprivileged.join();
    chmod(folder.Path("closed").c_str(), 0700);
}

// Keeps rewriting a file in place while loads run: truncates it, writes its content back in
// pieces and sometimes cuts it short. Every byte ever at an offset is that of `content`, so a
// load sees a prefix of it, however reads and writes interleave.
class CRewriter {
  public:
    CRewriter(std::string path, std::string content)
        : m_path(std::move(path)), m_content(std::move(content)), m_thread([this] { Run(); }) {}
    ~CRewriter() {
        m_stop = true;
        m_thread.join();
    }

  private:
    void Run() {
        const int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        for (std::size_t round = 1; !m_stop; ++round) {
            ASSERT_EQ(ftruncate(fd, 0), 0);
            const std::size_t piece = m_content.size() / 8 + round * 7919 % (m_content.size() / 4);
            for (std::size_t offset = 0; offset < m_content.size(); offset += piece) {
                const std::size_t count = std::min(piece, m_content.size() - offset);
                ASSERT_EQ(pwrite(fd, m_content.data() + offset, count, offset),
                          static_cast<ssize_t>(count));
                std::this_thread::yield();
            }
            if (round % 3 == 0) {
                ASSERT_EQ(ftruncate(fd, round % m_content.size()), 0);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1)); // whole for a while
            }
        }
        close(fd);
    }

    std::string m_path;
    std::string m_content;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(XmlHostileFile, FileRewrittenInPlaceLoadsWholeOrNotAtAll) {
    CTempFolder folder;
    const std::string path = folder.Path("srid.xml");
    std::string entries;
    std::vector<NamedSrid> expected;
    for (int i = 0; i < 2000; ++i) {
        entries += "<NamedSrid><Authority>EPSG</Authority><Identifier>" + std::to_string(i) +
                   "</Identifier><Name><Culture id=\"de-de\">Name " + std::to_string(i) +
                   "</Culture></Name></NamedSrid>";
        expected.emplace_back(Srid("EPSG", i), "Name " + std::to_string(i));
    }
    const CRewriter rewriter(path,
                             "<NamedSridConfiguration>" + entries + "</NamedSridConfiguration>");
    int whole = 0, refused = 0;
    for (int i = 0; (whole < 20 || refused < 20) && i < 100000; ++i) {
        NamedSridConfiguration srids{{kSrid}};
        if (CSerializer::LoadXmlFile(srids, path)) {
            ++whole;
            ASSERT_EQ(srids.m_entries, expected);
        } else {
            ++refused;
            ASSERT_EQ(srids.m_entries, std::vector<NamedSrid>{kSrid});
        }
    }
    EXPECT_GT(whole, 0) << "no load found the file whole";
    EXPECT_GT(refused, 0) << "no load met a rewrite";
}

TEST(XmlHostileFile, FileReplacedWhileLoadingLoadsOldOrNew) {
    // The saver replaces the file at once: every load finds a whole file, the old or the new.
    CTempFolder folder;
    const std::string path = folder.Path("wms.xml");
    const CWms versions[] = {
        CWms("http://a.example/wms", "a", "", "1.1.1"),
        CWms("http://b.example/wms?long=" + std::string(100000, 'b'), "b,c", "default", "1.3.0")};
    ASSERT_TRUE(CSerializer::SaveXmlFile(versions[0], path));
    std::atomic<bool> stop{false};
    std::thread saver([&] {
        for (int i = 1; !stop; ++i)
            ASSERT_TRUE(CSerializer::SaveXmlFile(versions[i % 2], path));
    });
    for (int i = 0; i < 300; ++i) {
        CWms wms = kSentinel;
        ASSERT_TRUE(CSerializer::LoadXmlFile(wms, path));
        ASSERT_TRUE(wms == versions[0] || wms == versions[1]) << wms.m_address.substr(0, 30);
    }
    stop = true;
    saver.join();
}

TEST(XmlHostileFile, FileSwappedForANamedPipeNeverBlocks) {
    // The path keeps changing places with a named pipe while loads run. A load that opened the
    // pipe would wait for a writer for ever.
    CTempFolder folder;
    const std::string path = folder.Write("wms.xml", "<Wms>" + kBody + "</Wms>");
    const std::string pipe = folder.Path("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        while (!stop)
            ASSERT_EQ(renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, pipe.c_str(), RENAME_EXCHANGE),
                      0);
    });
    std::atomic<int> loads{0}, finished{0};
    const auto load = [&] {
        for (int i = 0; i < 20000; ++i, ++loads) {
            CWms wms = kSentinel;
            const bool loaded = CSerializer::LoadXmlFile(wms, path);
            EXPECT_EQ(wms, loaded ? CWms("a", "l", "s", "v") : kSentinel);
        }
        ++finished;
    };
    std::thread loaders[] = {std::thread(load), std::thread(load)};
    // A load takes milliseconds; no progress for ten seconds means a load is stuck. Opening the
    // pipe for writing releases it, so that the test ends either way.
    int last = -1;
    auto since = std::chrono::steady_clock::now();
    bool blocked = false;
    while (finished < 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (loads != last) {
            last = loads;
            since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - since > std::chrono::seconds(10)) {
            if (!blocked)
                ADD_FAILURE() << "a load waited on the named pipe after " << last << " loads";
            blocked = true;
            for (const std::string &name : {path, pipe}) {
                const int writer = open(name.c_str(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0)
                    close(writer);
            }
        }
    }
    for (auto &loader : loaders)
        loader.join();
    stop = true;
    swapper.join();
}

} // namespace
} // namespace Geo
