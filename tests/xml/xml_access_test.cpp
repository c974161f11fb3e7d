// The XML access layer: the integers it reads and the errors it raises for anything else.
#include "xml/xml_access.h"

#include <gtest/gtest.h>

#include "xml/xml_test_files.h"

namespace Geo::Xml {
namespace {

TEST(XmlAccess, IntegersAreSignedDecimalsWithBlanksInRange) {
    Testing::CTempFolder folder;
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("xml/tables/integers.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        const std::string &text = row[0], &expected = row[1];
        DocumentPtr document = CreateXmlDocument();
        ASSERT_TRUE(
            LoadXmlDocument(document, folder.Write("document.xml", "<P><I>" + text + "</I></P>")));
        const xmlNode *parent = xmlDocGetRootElement(document.get());
        std::string read; // the integer read, or the what() of what the layer raises
        try {
            read = std::to_string(GetElementInteger(parent->children));
        } catch (const CSchemaError &) {
            read = "schema error";
        } catch (const std::exception &error) {
            read = error.what();
        }
        EXPECT_EQ(read, expected);
        std::int32_t value = 99;
        const bool valid = expected.find_first_not_of("-0123456789") == std::string::npos;
        EXPECT_EQ(GetUniqueChildInteger(parent, "I", value), valid);
        EXPECT_EQ(std::to_string(value), valid ? expected : "99");
    }
}

} // namespace
} // namespace Geo::Xml
