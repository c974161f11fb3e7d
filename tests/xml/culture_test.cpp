// Localized names in each installation language, and text outside the process code page. The
// language and the code page are fixed per process: CTest starts one process per case.
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "geocoding/code_page.h"
#include "module/localization.h"
#include "xml/xml_test_files.h"

namespace Geo {
namespace {

TEST(XmlCulture, NamesFollowTheInstallationLanguage) {
    const char *expected = std::getenv("VEXOGEO_EXPECTED_LANGUAGE");
    ASSERT_NE(expected, nullptr) << "run through CTest";
    const std::vector<std::string> languages = {"English", "German", "Hungarian"};
    const auto column = static_cast<std::size_t>(
        std::find(languages.begin(), languages.end(), expected) - languages.begin());
    ASSERT_EQ(static_cast<std::size_t>(Localization::Instance().GetLanguage()), column);

    // The cultures of one entry and its name in English, German and Hungarian.
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"<Culture id=\"de-de\">Deutsch</Culture><Culture id=\"en-us\">English</Culture>",
         {"English", "Deutsch", ""}},
        {"<Culture id=\" en-us&#9;\">Blanks</Culture><Culture id=\"EN-US\">Upper</Culture>"
         "<Culture id=\"DE-DE\">Gross</Culture><Culture id=\"  de-de \">Leerzeichen</Culture>",
         {"Blanks", "Leerzeichen", ""}},
        {"<Culture>none</Culture><Culture id=\" \">Blank</Culture><Culture id=\"\">Empty</Culture>",
         {"", "", "Blank"}},
        {"<Culture id=\"en-us\">First</Culture><Culture id=\"en-us\">Second</Culture><Culture "
         "id=\"de-de\">Erste</Culture><Culture id=\"de-de\">Zweite</Culture><Culture id=\"\">Leer"
         "</Culture>",
         {"First", "Erste", "Leer"}},
        {"<Culture id=\"en-us\">UTM <!--c-->zone <i>32</i>N</Culture><Culture id=\"fr-fr\">x"
         "</Culture>",
         {"UTM zone 32N", "", ""}},
    };
    std::string srids, wmsList;
    std::vector<NamedSrid> expectedSrids;
    std::vector<NamedWms> expectedWms;
    for (const auto &c : cases) {
        const std::string code = std::to_string(expectedSrids.size());
        srids += "<NamedSrid><Authority>A</Authority><Identifier>" + code + "</Identifier><Name>" +
                 c.first + "</Name></NamedSrid>";
        wmsList += "<NamedWms><Address>" + code + "</Address><Layers/><Styles/><Version/><Name>" +
                   c.first + "</Name></NamedWms>";
        expectedSrids.emplace_back(Srid("A", std::stoi(code)), c.second[column]);
        expectedWms.emplace_back(CWms(code, "", "", ""), c.second[column]);
    }
    Testing::CTempFolder folder;
    NamedSridConfiguration sridList;
    ASSERT_TRUE(CSerializer::LoadXmlFile(
        sridList,
        folder.Write("s.xml", "<NamedSridConfiguration>" + srids + "</NamedSridConfiguration>")));
    EXPECT_EQ(sridList.m_entries, expectedSrids);
    CNamedWmsConfiguration namedWmsList;
    ASSERT_TRUE(CSerializer::LoadXmlFile(
        namedWmsList,
        folder.Write("w.xml", "<NamedWmsConfiguration>" + wmsList + "</NamedWmsConfiguration>")));
    EXPECT_EQ(namedWmsList.m_entries, expectedWms);
}

// The process code page is Windows-1252 here: the same text reads the same from three file
// encodings, characters the code page lacks (Ł, ź) become '?', and saving writes UTF-8.
TEST(XmlCodePage, TextCrossesInTheProcessCodePage) {
    std::vector<char> probe;
    ASSERT_TRUE(ConvertToMultiByte(CP_ACP, L"\u00df\u20ac", probe));
    ASSERT_STREQ(probe.data(), "\xdf\x80") << "run through CTest with a Windows-1252 locale";
    const std::string sz = "\xdf", oAcute = "\xf3", uUmlaut = "\xfc", euro = "\x80";

    const std::string tail = "</Address><Layers/><Styles/><Version/></Wms>";
    std::string utf16be = "\xfe\xff";
    for (const char c : "<Wms><Address>\xdf</Address><Layers/><Styles/><Version/></Wms>")
        utf16be += c ? std::string(1, '\0') + c : "";
    const std::pair<std::string, std::string> cases[] = {
        {"<Wms><Address>Straße Łódź €" + tail, "Stra" + sz + "e ?" + oAcute + "d? " + euro},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Wms><Address>Stra" + sz + "e" + tail,
         "Stra" + sz + "e"},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><Wms><Address>" + euro + tail, euro},
        {utf16be, sz},
    };
    Testing::CTempFolder folder;
    for (const auto &c : cases) {
        CWms wms;
        ASSERT_TRUE(CSerializer::LoadXmlFile(wms, folder.Write("wms.xml", c.first))) << c.second;
        EXPECT_EQ(wms, CWms(c.second, "", "", "")) << c.second;
    }

    const CWms saved("Gr" + uUmlaut + sz + "e " + euro, "", "", "");
    CWms loaded;
    ASSERT_TRUE(CSerializer::SaveXmlFile(saved, folder.Path("saved.xml")));
    EXPECT_EQ(Testing::ReadBytes(folder.Path("saved.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Wms>\n"
              "  <Address>Grüße €</Address>\n  <Layers/>\n  <Styles/>\n  <Version/>\n</Wms>\n");
    ASSERT_TRUE(CSerializer::LoadXmlFile(loaded, folder.Path("saved.xml")));
    EXPECT_EQ(loaded, saved);
}

} // namespace
} // namespace Geo
