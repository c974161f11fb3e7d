// Localized names in each installation language, and text outside the process code page. The
// language and the code page are fixed per process: CTest starts one process per case.
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "module/localization.h"
#include "text/code_page.h"
#include "xml/xml_test_files.h"

namespace Geo::Testing {
namespace {

TEST(XmlCulture, NamesFollowTheInstallationLanguage) {
    const char *expected = std::getenv("VEXOGEO_EXPECTED_LANGUAGE");
    ASSERT_NE(expected, nullptr) << "run through CTest";
    const std::size_t column = std::string("EGH").find(expected[0]); // English, German, Hungarian
    ASSERT_EQ(static_cast<std::size_t>(Localization::Instance().GetLanguage()), column);

    // The names of one entry in English, German and Hungarian, one entry a row.
    const std::vector<VexoGeoTest::TableRow> cases =
        VexoGeoTest::TestTable("xml/tables/cultures.txt", 4);
    std::string srids, wmsList, expectedSrids, expectedWms;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string code = std::to_string(i), name = cases[i][1 + column];
        srids += Tag("NamedSrid", "<Authority>A</Authority>" + Tag("Identifier", code) +
                                      Tag("Name", cases[i][0]));
        wmsList += Tag("NamedWms", Tag("Address", code) + "<Layers/><Styles/><Version/>" +
                                       Tag("Name", cases[i][0]));
        expectedSrids += (i ? ";A:" : "A:") + code + " " + name;
        expectedWms += (i ? ";" : "") + code + "||| " + name;
    }
    CTempFolder folder;
    EXPECT_EQ(Loads(folder.Write("s.xml", Tag("NamedSridConfiguration", srids))),
              "S[" + expectedSrids + "]");
    EXPECT_EQ(Loads(folder.Write("w.xml", Tag("NamedWmsConfiguration", wmsList))),
              "N[" + expectedWms + "]");
}

// The process code page is Windows-1252 here: the same text reads the same from three file
// encodings, characters the code page lacks (Ł, ź) become '?', and saving writes UTF-8.
TEST(XmlCodePage, TextCrossesInTheProcessCodePage) {
    std::vector<char> probe;
    ASSERT_TRUE(ConvertToMultiByte(kCodePageAnsi, L"\u00df\u20ac", probe));
    ASSERT_STREQ(probe.data(), "\xdf\x80") << "run through CTest with a Windows-1252 locale";
    const std::string sz = "\xdf", oAcute = "\xf3", uUmlaut = "\xfc", euro = "\x80";

    const std::pair<std::string, std::string> cases[] = {
        {"xml/wms_utf8_address", "Stra" + sz + "e ?" + oAcute + "d? " + euro},
        {"xml/wms_latin1_address", "Stra" + sz + "e"},
        {"xml/wms_cp1252_address", euro},
        {"xml/wms_utf16be_address", sz},
    };
    CTempFolder folder;
    for (const auto &c : cases)
        EXPECT_EQ(Loads(folder.Write("wms.xml", TestData(c.first))), "W[" + c.second + "|||]")
            << c.second;

    const CWms saved("Gr" + uUmlaut + sz + "e " + euro, "", "", "");
    ASSERT_TRUE(CSerializer::SaveXmlFile(saved, folder.Path("saved.xml")));
    EXPECT_EQ(ReadBytes(folder.Path("saved.xml")), TestData("xml/wms_saved_umlauts"));
    EXPECT_EQ(Loads(folder.Path("saved.xml")), "W[" + Text(saved) + "]");
}

} // namespace
} // namespace Geo::Testing
