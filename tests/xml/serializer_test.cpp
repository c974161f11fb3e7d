// CSerializer with real files: the three loaders and the saver, on good files and on hostile
// ones (entities, deep nesting, huge values, bad encodings, unreadable or changing paths).
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <chrono>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/raw_peer.h"
#include "xml/xml_test_files.h"

namespace Geo::Testing {
namespace {

const std::string kName = "<Name><Culture id=\"de-de\">N</Culture></Name>";

std::string Nested(std::size_t depth, const std::string &inner = "") {
    return Repeat("<a>", depth) + inner + Repeat("</a>", depth);
}

// A named SRID list whose one entry is EPSG:4326 named `name` in the culture `cultureId`.
std::string SridList(const std::string &name, const std::string &cultureId = "de-de") {
    return "<NamedSridConfiguration><NamedSrid><Authority>EPSG</Authority><Identifier>4326"
           "</Identifier><Name><Culture id=\"" +
           cultureId + "\">" + name + "</Culture></Name></NamedSrid></NamedSridConfiguration>";
}

// Each loader takes its own format only, entries in file order, the first child of each name
// for a value, and refuses the whole file for one bad entry. On hostile documents every loader
// answers false with its object untouched or loads the whole document, quickly and silently.
TEST(XmlSerializer, EachLoaderLoadsItsOwnFormatWholeOrNothing) {
    // Nothing may connect to it: accept must find no connection, without waiting.
    const VexoGeoTest::LoopbackSocket listener(true);
    ASSERT_EQ(fcntl(listener.Handle(), F_SETFL, O_NONBLOCK), 0);
    const std::string &url = listener.m_url;
    CTempFolder folder;
    const std::string blanks(2500000, ' '), half(5000000, 'n'), over(10000001, 'n');
    const std::string secret = folder.Write("secret.txt", "SECRET");
    folder.Write("entities.dtd", "<!ENTITY e SYSTEM \"secret.txt\">");
    std::string laughs = "<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" +
                  Repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">";
    // Read, the name is the whole text of its Culture: every reference would be expanded.
    const auto dtd = [](const std::string &declarations, const std::string &name = "&e;") {
        return "<!DOCTYPE NamedSridConfiguration [" + declarations + "]>" + SridList(name);
    };
    const auto wms = [](const std::string &address) {
        return "<Wms><Layers/><Styles/><Version/><Address>" + address + "</Address></Wms>";
    };
    const auto declared = [&](const std::string &encoding, const std::string &address) {
        return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>" + wms(address);
    };
    // UTF-16LE with its byte order mark; `address` is given as UTF-16LE bytes.
    const auto utf16 = [](const std::string &address) {
        return "\xFF\xFE" + Utf16("<Wms><Layers/><Styles/><Version/><Address>") + address +
               Utf16("</Address></Wms>");
    };
    const std::string a = "<Authority>A</Authority>", i = "<Identifier>1</Identifier>";
    const std::string srid = Tag("NamedSrid", a + i + kName);
    const auto srids = [&](const std::string &bad) {
        return Tag("NamedSridConfiguration", srid + Tag("NamedSrid", bad) + srid);
    };
    const auto wmsList = [&](const std::string &bad) {
        return Tag("NamedWmsConfiguration", Tag("NamedWms", kBody + kName) + Tag("NamedWms", bad));
    };
    const std::pair<std::string, std::string> loaded[] = {
        {Tag("Wms", kBody), "W[a|l|s|v]"},
        {TestData("xml/wms_extra_children"), "W[ h |c||1.3.0]"},
        {Tag("NamedSridConfiguration", srid), "S[A:1 N]"},
        {TestData("xml/srid_list_mixed"), "S[EPSG:4326 WGS 84 (de);:-7 ;EPSG:4326 N]"},
        {"<NamedSridConfiguration/>", "S[]"},
        {wmsList(kBody + kName), "N[a|l|s|v N;a|l|s|v N]"},
        {TestData("xml/wms_list_escaped"), "N[x?a&b|a,b|s| N]"},
        // The document element and its child count towards libxml2's limit of 256 levels.
        {"<Wms>" + kBody + "<Extra>" + Nested(250) + "</Extra></Wms>", "W[a|l|s|v]"},
        // Attribute values and text nodes are limited to 10 000 000 bytes, names to 50 000.
        {SridList("N", blanks + "de-de" + blanks), "S[EPSG:4326 N]"},
        // A DTD named but never loaded: the reference stays unresolved and reads as empty.
        {"<!DOCTYPE Wms SYSTEM \"entities.dtd\">" + wms("&e;"), "W[|||]"},
        {"<!DOCTYPE Wms SYSTEM \"" + url + "/d\">" + wms("a"), "W[a|||]"},
        {declared("UTF-8", "K\xC3\xB6ln"), "W[K\xC3\xB6ln|||]"},
        {declared("ISO-8859-1", "K\xF6ln"), "W[K\xC3\xB6ln|||]"},
        {declared("windows-1252", "\x80"), "W[\xE2\x82\xAC|||]"},
        {declared("Shift_JIS", "\x82\xA0"), "W[\xE3\x81\x82|||]"},
        {"\xEF\xBB\xBF" + declared("UTF-8", "a"), "W[a|||]"},
        {utf16(std::string("a\0", 2)), "W[a|||]"}};
    // Documents every loader refuses.
    const std::string refused[] = {
        "", "<Wms>" + kBody, Tag("WMS", kBody), "<Wms xmlns=\"urn:x\">" + kBody + "</Wms>",
        "<?xml version=\"1.0\" encoding=\"x-unknown\"?>" + Tag("Wms", kBody),
        Tag("Wms", kBody + "<Layers>m</Layers>"), Tag("Wms", "<Address/><Layers/><Styles/>"),
        srids(a + "<Authority>B</Authority>" + i + kName),
        srids(a + i + "<Identifier>2</Identifier>" + kName), srids(i + kName), srids(a + kName),
        srids(a + "<Identifier/>" + kName), srids(a + "<Identifier>12a</Identifier>" + kName),
        srids(a + i + "<name/>"), wmsList(kBody + "<Styles>t</Styles>" + kName),
        wmsList("<Address/><Layers/><Styles/><version/>" + kName), wmsList(kBody),
        // Too deep, also unclosed; attribute values, texts and names beyond their limits.
        "<Wms>" + kBody + "<Extra>" + Nested(260) + "</Extra></Wms>",
        "<Wms>" + Nested(1000000, kBody) + "</Wms>", "<Wms>" + kBody + Repeat("<a>", 1000000),
        SridList(Nested(100000, "N")), SridList("N", over),
        SridList("N", "de-de\" " + over + "=\"1"), SridList(over), SridList(half + "&amp;" + half),
        wms(over), wms(half + "&amp;" + half),
        // Entities are never expanded, external ones never read; the last one is a large entity
        // many times: 10 GB of text if ever expanded.
        dtd("<!ENTITY e SYSTEM \"file://" + secret + "\">"),
        dtd("<!ENTITY e SYSTEM \"secret.txt\">"), dtd("<!ENTITY % p SYSTEM \"entities.dtd\"> %p;"),
        dtd("<!ENTITY e \"inline\">"), dtd(laughs + "<!ENTITY e \"&l9;\">"),
        dtd("<!ENTITY e SYSTEM \"" + url + "/e\">"),
        dtd("<!ENTITY e \"" + std::string(100000, 'x') + "\">", Repeat("&e;", 100000)),
        // Bytes invalid in their encoding: a bad or lone lead byte, an overlong "/", a UTF-16
        // surrogate, beyond U+10FFFF, U+FFFF (no XML character), controls; 0x81 is unassigned in
        // Windows-1252; single bytes declared as UTF-16; in UTF-16 an odd byte misaligns the
        // rest, and half a surrogate pair.
        declared("UTF-8", "K\xF6ln"), declared("UTF-8", "K\xC3"), declared("UTF-8", "\xC0\xAF"),
        declared("UTF-8", "\xED\xA0\x80"), declared("UTF-8", "\xF4\x90\x80\x80"),
        declared("UTF-8", "\xEF\xBF\xBF"), declared("UTF-8", std::string("a\0b", 3)),
        declared("UTF-8", "\x1B[0m"), declared("US-ASCII", "K\xF6ln"),
        declared("windows-1252", "\x81"), declared("Shift_JIS", "\x82\xFF"),
        declared("UTF-16", "a"), utf16(std::string("a\0x", 3)), utf16(std::string("\0\xD8", 2))};
    testing::internal::CaptureStderr();
    const auto check = [&](const std::string &document, const std::string &expected) {
        const std::string result = Loads(folder.Write("file.xml", document));
        EXPECT_TRUE(result == expected) << result.substr(0, 80) << " for " << document.size()
                                        << " bytes: " << document.substr(0, 80);
    };
    for (const auto &c : loaded)
        check(c.first, c.second);
    for (const std::string &document : refused)
        check(document, "");
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

// Each limit of a load holds exactly at its edge: attributes per element, namespace
// declarations in scope, nodes per document (elements, attributes twice: with their text),
// bytes per text node or CDATA section.
TEST(XmlHostileFile, LimitsHoldExactlyAtTheirEdge) {
    const auto numbered = [](int count, const std::string &name, const std::string &value) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += " " + name + std::to_string(i) + "=\"" + value + "\"";
        return text;
    };
    const auto attributes = [&](int count) { return numbered(count, "a", ""); };
    const auto wms = [](const std::string &attributes, const std::string &children) {
        return "<Wms" + attributes + ">" + kBody + children + "</Wms>";
    };
    const std::string n20 = numbered(20, "xmlns:n", "urn:u"), ten(10000000, 't');
    const auto x = [&](int count, const std::string &prefix = "a", const std::string &value = "") {
        return "<x" + numbered(count, prefix, value) + "/>";
    };
    // The document element and the four values with their texts are nine nodes.
    // clang-format off
    const std::pair<std::string, bool> cases[] = {
        {wms(attributes(64), ""), true}, {wms(attributes(65), ""), false},
        {wms("", x(65)), false}, {wms(attributes(200000), ""), false},
        {wms(n20, x(12, "xmlns:m", "urn:u")), true}, {wms(n20, x(13, "xmlns:m", "urn:u")), false},
        {wms(numbered(100000, "xmlns:n", "urn:u"), ""), false},
        {wms("", Repeat("<x/>", 999991)), true}, {wms("", Repeat("<x/>", 999992)), false},
        {wms("", x(40) + Repeat("<x/>", 999911)), false},
        {wms("", Tag("x", ten)), true}, {wms("", Tag("x", ten + "t")), false},
        {wms("", Tag("x", ten.substr(1) + "&amp;t")), false},
        {wms("", Tag("x", "<![CDATA[" + ten + "t]]>")), false}};
    // clang-format on
    CTempFolder folder;
    for (const auto &[xml, loads] : cases) {
        CWms wms = kSentinel;
        EXPECT_EQ(CSerializer::LoadXmlFile(wms, folder.Write("limit.xml", xml)), loads)
            << xml.size() << " bytes: " << xml.substr(0, 80);
        EXPECT_EQ(wms == kSentinel, !loads);
    }
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
    const std::string name = Repeat("0123456789", 20000), content = SridList(name);
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
