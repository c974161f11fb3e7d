// The XML access layer: the integers it reads and the errors it raises for anything else.
#include "xml/xml_access.h"

#include <gtest/gtest.h>

#include "xml/xml_test_files.h"

namespace Geo::Xml {
namespace {

TEST(XmlAccess, IntegersAreSignedDecimalsWithBlanksInRange) {
    std::vector<std::pair<std::string, std::string>> cases = {{"42", "42"},
                                                              {" \t-17\n ", "-17"},
                                                              {"+8", "8"},
                                                              {"007", "7"},
                                                              {"<![CDATA[5]]>", "5"},
                                                              {"2147483647", "2147483647"},
                                                              {"-2147483648", "-2147483648"},
                                                              {"", "schema error"}};
    for (const char *text :
         {" ", "2147483648", "-2147483649", "99999999999999999999", "12a", "1.5", "0x10", "1e3",
          "- 1", "+", "1 2", "<b>5</b>", "&#x661;" /* Arabic-Indic one */})
        cases.emplace_back(text, "The element does not hold a 32-bit signed integer.");
    Testing::CTempFolder folder;
    for (const auto &c : cases) {
        DocumentPtr document = CreateXmlDocument();
        ASSERT_TRUE(LoadXmlDocument(document,
                                    folder.Write("document.xml", "<P><I>" + c.first + "</I></P>")))
            << c.first;
        const xmlNode *parent = xmlDocGetRootElement(document.get());
        std::string read; // the integer read, or the what() of what the layer raises
        try {
            read = std::to_string(GetElementInteger(parent->children));
        } catch (const CSchemaError &) {
            read = "schema error";
        } catch (const std::exception &error) {
            read = error.what();
        }
        EXPECT_EQ(read, c.second) << c.first;
        std::int32_t value = 99;
        const bool valid = c.second.find_first_not_of("-0123456789") == std::string::npos;
        EXPECT_EQ(GetUniqueChildInteger(parent, "I", value), valid) << c.first;
        EXPECT_EQ(std::to_string(value), valid ? c.second : "99") << c.first;
    }
}

} // namespace
} // namespace Geo::Xml
