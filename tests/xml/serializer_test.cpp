// CSerializer with real files: the three loaders, the saver, hostile documents and failed saves.
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "xml/xml_test_files.h"

namespace Geo {
namespace {

using Testing::CTempFolder;
using Testing::ReadBytes;

// This binary runs in the German installation language: names come from the "de-de" culture.
const CWms kWms("untouched", "l", "s", "v");
const NamedSrid kSrid(Srid("SENTINEL", 1), "untouched");
const NamedWms kNamedWms(kWms, "untouched");
const std::string kBody =
    "<Address>a</Address><Layers>l</Layers><Styles>s</Styles><Version>v</Version>";
const std::string kName = "<Name><Culture id=\"de-de\">N</Culture></Name>";
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

std::string Tag(const std::string &name, const std::string &body) {
    return "<" + name + ">" + body + "</" + name + ">";
}

// Loads `path` with the three loaders into sentinel objects; a false answer must leave its
// object untouched. @return a letter per loader that answered true: W(ms), S(RID list), N(amed
// WMS list).
std::string LoadersAt(const std::string &path) {
    CWms wms = kWms;
    NamedSridConfiguration srids{{kSrid}};
    CNamedWmsConfiguration wmsList{{kNamedWms}};
    std::string accepted;
    if (CSerializer::LoadXmlFile(wms, path))
        accepted += 'W';
    else
        EXPECT_EQ(wms, kWms) << path;
    if (CSerializer::LoadXmlFile(srids, path))
        accepted += 'S';
    else
        EXPECT_EQ(srids.m_entries, std::vector<NamedSrid>{kSrid}) << path;
    if (CSerializer::LoadXmlFile(wmsList, path))
        accepted += 'N';
    else
        EXPECT_EQ(wmsList.m_entries, std::vector<NamedWms>{kNamedWms}) << path;
    return accepted;
}

TEST(XmlSerializer, EachLoaderAcceptsOnlyItsOwnCompleteFormat) {
    const std::string srid =
        Tag("NamedSrid", "<Authority>A</Authority><Identifier>1</Identifier>" + kName);
    const auto srids = [&](const std::string &bad) {
        return Tag("NamedSridConfiguration", srid + Tag("NamedSrid", bad) + srid);
    };
    const auto wmsList = [&](const std::string &bad) {
        return Tag("NamedWmsConfiguration", Tag("NamedWms", kBody + kName) + Tag("NamedWms", bad));
    };
    const std::pair<std::string, const char *> cases[] = {
        {Tag("Wms", kBody), "W"},
        {Tag("NamedSridConfiguration", srid), "S"},
        {wmsList(kBody + kName), "N"},
        {"", ""},
        {"<Wms>" + kBody, ""},
        {Tag("WMS", kBody), ""},
        {"<Wms xmlns=\"urn:x\">" + kBody + "</Wms>", ""},
        {"<?xml version=\"1.0\" encoding=\"x-unknown\"?>" + Tag("Wms", kBody), ""},
        {Tag("Wms", kBody + "<Layers>m</Layers>"), ""},
        {Tag("Wms", "<Address/><Layers/><Styles/>"), ""},
        {srids("<Authority>A</Authority><Authority>B</Authority><Identifier>1</Identifier>" +
               kName),
         ""},
        {srids("<Authority>A</Authority><Identifier>1</Identifier><Identifier>2</Identifier>" +
               kName),
         ""},
        {srids("<Identifier>1</Identifier>" + kName), ""},
        {srids("<Authority>A</Authority>" + kName), ""},
        {srids("<Authority>A</Authority><Identifier/>" + kName), ""},
        {srids("<Authority>A</Authority><Identifier>12a</Identifier>" + kName), ""},
        {srids("<Authority>A</Authority><Identifier>2147483648</Identifier>" + kName), ""},
        {srids("<Authority>A</Authority><Identifier>1</Identifier><name/>"), ""},
        {wmsList(kBody + "<Styles>t</Styles>" + kName), ""},
        {wmsList("<Address/><Layers/><Styles/><version/>" + kName), ""},
        {wmsList(kBody), ""},
    };
    CTempFolder folder;
    testing::internal::CaptureStderr();
    for (const auto &c : cases)
        EXPECT_EQ(LoadersAt(folder.Write("file.xml", c.first)), c.second) << c.first;
    EXPECT_EQ(LoadersAt(folder.Path("missing.xml")), "");
    EXPECT_EQ(LoadersAt(folder.Path("")), "");
    ASSERT_EQ(mkfifo(folder.Path("pipe.xml").c_str(), 0600), 0);
    EXPECT_EQ(LoadersAt(folder.Path("pipe.xml")), "");     // answers at once, never blocks
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); // the library prints nothing
}

TEST(XmlSerializer, LoadsEntriesInFileOrderFromTheFirstChildOfEachValue) {
    CTempFolder folder;
    const std::string srids = folder.Write(
        "srid.xml",
        Tag("NamedSridConfiguration",
            Tag("NamedSrid", "<Authority>EPSG</Authority><Identifier> 4326 </Identifier>"
                             "<Name><Culture id=\"en-us\">WGS 84</Culture><Culture id=\"de-de\">"
                             "WGS 84 (de)</Culture></Name>") +
                "<Other/>" +
                Tag("NamedSrid", "<Identifier>-7</Identifier><Name/><Authority/>" + kName) +
                Tag("NamedSrid", kName + "<Identifier>+4326</Identifier><Authority>EPSG"
                                         "</Authority>")));
    NamedSridConfiguration sridList{{kSrid}};
    ASSERT_TRUE(CSerializer::LoadXmlFile(sridList, srids));
    EXPECT_EQ(sridList.m_entries, (std::vector<NamedSrid>{{Srid("EPSG", 4326), "WGS 84 (de)"},
                                                          {Srid("", -7), ""},
                                                          {Srid("EPSG", 4326), "N"}}));
    ASSERT_TRUE(
        CSerializer::LoadXmlFile(sridList, folder.Write("srid.xml", "<NamedSridConfiguration/>")));
    EXPECT_TRUE(sridList.m_entries.empty());

    CNamedWmsConfiguration wmsList{{kNamedWms}};
    ASSERT_TRUE(CSerializer::LoadXmlFile(
        wmsList, folder.Write("list.xml", Tag("NamedWmsConfiguration",
                                              Tag("NamedWms", "<Version/>" + kName +
                                                                  "<Styles>s</Styles><Layers>a,b"
                                                                  "</Layers><Address>x?a&amp;b"
                                                                  "</Address>")))));
    EXPECT_EQ(wmsList.m_entries, (std::vector<NamedWms>{{CWms("x?a&b", "a,b", "s", ""), "N"}}));

    CWms wms;
    ASSERT_TRUE(CSerializer::LoadXmlFile(
        wms, folder.Write("wms.xml", "<Wms id=\"1\"><Version>1.3.0</Version><Styles/><Layers>"
                                     "<!--c-->x</Layers><Extra/><Address> h </Address></Wms>")));
    EXPECT_EQ(wms, CWms(" h ", "c", "", "1.3.0"));
}

TEST(XmlSerializer, SavesExactBytesThatLoadBack) {
    CTempFolder folder;
    const std::string path = folder.Path("wms.xml");
    const CWms wms("http://example.com/wms?a=1&b=<2>", "roads,rivers", "", "1.3.0");
    ASSERT_TRUE(CSerializer::SaveXmlFile(wms, path));
    EXPECT_EQ(ReadBytes(path), kDeclaration + "<Wms>\n  <Address>http://example.com/wms?a=1&amp;"
                                              "b=&lt;2&gt;</Address>\n  <Layers>roads,rivers"
                                              "</Layers>\n  <Styles/>\n  <Version>1.3.0</Version>\n"
                                              "</Wms>\n");
    for (const CWms &saved : {wms, CWms(), CWms("q\"u'o<t>", "tab\t", "cr\r\nlf", "ä🗺")}) {
        CWms loaded = kWms;
        ASSERT_TRUE(CSerializer::SaveXmlFile(saved, path));
        ASSERT_TRUE(CSerializer::LoadXmlFile(loaded, path));
        EXPECT_EQ(loaded, saved) << saved.m_address;
    }
    // A link stays a link and the file it names keeps its permissions.
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    std::filesystem::create_symlink("wms.xml", folder.Path("link.xml"));
    ASSERT_TRUE(CSerializer::SaveXmlFile(CWms(), folder.Path("link.xml")));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path("link.xml")));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(ReadBytes(path),
              kDeclaration +
                  "<Wms>\n  <Address/>\n  <Layers/>\n  <Styles/>\n  <Version/>\n</Wms>\n");
    EXPECT_EQ(folder.List(), (std::vector<std::string>{"link.xml", "wms.xml"}));
}

TEST(XmlSerializer, FailedSavesLeaveTheOldFileAndNoTemporaryFile) {
    CTempFolder folder;
    const std::string old = folder.Write("wms.xml", "old contents\n");
    std::filesystem::create_directory(folder.Path("folder.xml"));
    const CWms wms(std::string(4096, 'a'), "l", "s", "v");
    EXPECT_FALSE(CSerializer::SaveXmlFile(wms, folder.Path("missing/wms.xml")));
    EXPECT_FALSE(CSerializer::SaveXmlFile(wms, folder.Path("folder.xml")));
    EXPECT_FALSE(CSerializer::SaveXmlFile(CWms("bell\a", "", "", ""), old));

    // The file size limit makes the write fail part-way, and it binds root too.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = CSerializer::SaveXmlFile(wms, old);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(written);

    EXPECT_EQ(ReadBytes(old), "old contents\n");
    EXPECT_EQ(folder.List(), (std::vector<std::string>{"folder.xml", "wms.xml"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path("folder.xml")));
}

TEST(XmlSerializer, EntitiesNeverExpandAndExternalOnesAreNeverRead) {
    CTempFolder folder;
    const std::string secret = folder.Write("secret.txt", "SECRET");
    folder.Write("entities.dtd", "<!ENTITY e SYSTEM \"secret.txt\">");
    std::string laughs = "<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += "<!ENTITY e \"&l9;\">";
    std::string references; // one large entity many times: 10 GB of text if ever expanded
    for (int i = 0; i < 100000; ++i)
        references += "&e;";
    const std::pair<std::string, std::string> cases[] = {
        {"<!ENTITY e SYSTEM \"file://" + secret + "\">", "&e;"},
        {"<!ENTITY e SYSTEM \"secret.txt\">", "&e;"},
        {"<!ENTITY % p SYSTEM \"entities.dtd\"> %p;", "&e;"},
        {"<!ENTITY e \"inline\">", "&e;"},
        {laughs, "&e;"},
        {"<!ENTITY e \"" + std::string(100000, 'x') + "\">", references},
    };
    // Read, the name is the whole text of its Culture: every reference would be expanded.
    for (const auto &c : cases) {
        const std::string file =
            "<!DOCTYPE NamedSridConfiguration [" + c.first + "]><NamedSridConfiguration>" +
            "<NamedSrid><Authority>A</Authority><Identifier>1</Identifier><Name><Culture " +
            "id=\"de-de\">" + c.second + "</Culture></Name></NamedSrid></NamedSridConfiguration>";
        EXPECT_EQ(LoadersAt(folder.Write("srid.xml", file)), "") << c.first.substr(0, 60);
    }
    // A DTD named but never loaded: the reference stays unresolved and reads as empty.
    CWms wms;
    ASSERT_TRUE(CSerializer::LoadXmlFile(
        wms, folder.Write("wms.xml", "<!DOCTYPE Wms SYSTEM \"entities.dtd\"><Wms><Address>&e;"
                                     "</Address><Layers/><Styles/><Version/></Wms>")));
    EXPECT_EQ(wms, CWms());
}

TEST(XmlSerializer, NetworkResourcesAreNeverFetched) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    CTempFolder folder;
    EXPECT_EQ(LoadersAt(folder.Write("a.xml", "<!DOCTYPE Wms SYSTEM \"" + url + "/d\">" +
                                                  Tag("Wms", kBody))),
              "W");
    EXPECT_EQ(LoadersAt(folder.Write("b.xml", "<!DOCTYPE Wms [<!ENTITY e SYSTEM \"" + url +
                                                  "/e\">]>" + Tag("Wms", kBody))),
              "");
    // The kernel completes connections to a listening socket without accept(): a fetch would
    // be waiting here.
    EXPECT_LT(accept(listener, nullptr, nullptr), 0);
    close(listener);
}

} // namespace
} // namespace Geo
