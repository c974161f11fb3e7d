// Reading capabilities documents: both versions, the inheritance rules, and hostile documents.
#include <gtest/gtest.h>

#include <sstream>

#include <vexogeo/wms/wms_capabilities.h>

#include "support/test_data.h"

namespace Geo {
namespace {

using VexoGeoTest::TestData;

// The document's own lines, then a line a layer: depth, name, queryable ("q"), systems,
// styles (name/title/legends), geographic box, per-CRS boxes and scale range (-1: none).
std::string Outline(const std::string &document) {
    WmsCapabilities c;
    std::string error;
    if (!ParseWmsCapabilities(document, c, error))
        return error;
    std::ostringstream out;
    out << c.version << '|' << c.title << '|' << c.getMapUrl << '|';
    for (const auto &list : {c.getMapFormats, c.exceptionFormats})
        for (const std::string &format : list)
            out << format << ';';
    ForEachWmsLayer(c, [&](const WmsLayerPath &path) {
        const WmsLayer *layer = path.back();
        out << '\n'
            << path.size() - 1 << ' ' << layer->name.value_or("-")
            << (layer->queryable ? " q" : "");
        for (const std::string &crs : EffectiveWmsCrs(path))
            out << ' ' << crs;
        for (const WmsStyle &style : EffectiveWmsStyles(path)) {
            out << ' ' << style.name << '/' << style.title;
            for (const WmsLegendUrl &legend : style.legendUrls)
                out << '/' << legend.href << '@' << legend.width << 'x' << legend.height;
        }
        if (const auto &g = layer->geographicBox)
            out << " geo " << g->west << ',' << g->south << ',' << g->east << ',' << g->north;
        for (const WmsBoundingBox &b : EffectiveWmsBoundingBoxes(path))
            out << ' ' << b.crs << '=' << b.minX << ',' << b.minY << ',' << b.maxX << ',' << b.maxY;
        if (layer->scaleHint)
            out << " hint " << layer->scaleHint->min << ".." << layer->scaleHint->max;
        else
            out << " scale " << layer->minScaleDenominator.value_or(-1) << ".."
                << layer->maxScaleDenominator.value_or(-1);
    });
    return out.str();
}

// Systems and styles add up without repeats, and a child's style of the same name replaces the
// parent's whole (its legend included); the geographic box, each per-CRS box, queryable and the
// scale range (as a whole: roads states only a maximum) are inherited unless a layer states them.
TEST(WmsCapabilities, Version130WithInheritance) {
    const std::string inherited =
        " q EPSG:4326 EPSG:3857 EPSG:32633 default/Not again thin/Thin geo ";
    EXPECT_EQ(Outline(TestData("wms_capabilities/inherited_130.xml")),
              "1.3.0|Roads & rivers|http://h/mapserv?map=/x.map&|image/png;image/svg+xml;XML;"
              "INIMAGE;\n0 - EPSG:4326 EPSG:3857 default/Default/http://h/legend.png@20x10 geo "
              "-10,35,30,60 EPSG:4326=35,-10,60,30 EPSG:3857=-1e+06,4e+06,3e+06,8e+06 scale "
              "1000..1e+07\n1 roads" +
                  inherited +
                  "-10,35,30,60 EPSG:4326=35,-10,60,30 EPSG:3857=1,2,3,4 scale -1..500000\n"
                  "2 Stra\xC3\x9F"
                  "e" +
                  inherited +
                  "13,52,14,53 EPSG:4326=35,-10,60,30 EPSG:3857=1,2,3,4 scale -1..500000");
}

// 1.1.1 as servers send it (a document type with an internal subset, no namespace): a Latin-1
// document read as UTF-8 text, space-separated SRS lists, the ScaleHint kept as a hint (metres
// per pixel diagonal), never as scale denominators.
TEST(WmsCapabilities, Version111WithoutNetwork) {
    EXPECT_EQ(Outline(TestData("wms_capabilities/older_111.xml")),
              "1.1.1|Old|http://h/old?|image/png;application/vnd.ogc.se_xml;\n0 - EPSG:4326 "
              "EPSG:31468 geo 5,47,15,55 hint 0.5..100\n1 b\xC3\xA4"
              "che EPSG:4326 EPSG:31468 EPSG:3857 geo 5,47,15,55 hint 0.5..100");
}

WmsCapabilities ReadDocument(const std::string &name) {
    const std::string bytes = TestData("wms/" + name);
    WmsCapabilities capabilities;
    std::string error;
    EXPECT_TRUE(ParseWmsCapabilities(bytes, capabilities, error)) << name << ": " << error;
    return capabilities;
}

std::string Dimensions(const WmsLayerPath &path) {
    std::string out;
    for (const WmsDimension &d : EffectiveWmsDimensions(path))
        out += d.name + "[" + d.units + "|" + d.defaultValue + "|" + d.values + "]";
    return out;
}

// What OWSLib does not read or does not inherit: dimensions replaced by name and inherited, a
// 1.1.1 Extent joined to its ancestor's Dimension, authority URLs adding up, the service's
// limits, every request (GetLegendGraphic in the SLD namespace included), and the same document
// in UTF-16 with a byte-order mark read as in UTF-8.
TEST(WmsCapabilities, WholeDocuments) {
    const WmsCapabilities geoserver = ReadDocument("geoserver_style_130.xml");
    EXPECT_EQ(geoserver.layerLimit.value_or(-1), 16);
    EXPECT_EQ(geoserver.maxWidth.value_or(-1), 4096);
    ASSERT_TRUE(geoserver.contact.has_value());
    EXPECT_EQ(geoserver.contact->city, "Springfield");
    EXPECT_EQ(Dimensions(FindWmsLayer(geoserver, "landuse_2024")),
              "time[ISO8601|2024-01-01|2024-01-01]elevation[EPSG:5030|0|0,100,500]");
    const WmsLayerPath roads = FindWmsLayer(geoserver, "roads");
    std::string authorities;
    for (const WmsAuthorityUrl &url : EffectiveWmsAuthorityUrls(roads))
        authorities += url.name + " ";
    EXPECT_EQ(authorities, "region osm ");
    ASSERT_TRUE(roads.back()->attribution.has_value());
    EXPECT_EQ(roads.back()->attribution->logo.value_or(WmsLegendUrl{}).width, 60);
    EXPECT_EQ(EffectiveWmsBoundingBoxes(FindWmsLayer(geoserver, "transport"))[2].resX.value_or(0),
              10.0);

    const WmsCapabilities mapserver = ReadDocument("mapserver_style_111.xml");
    EXPECT_EQ(Dimensions(FindWmsLayer(mapserver, "streams")), "time[ISO8601|2024|2000/2024/P1Y]");
    const WmsLayer &lakes = *FindWmsLayer(mapserver, "lakes").back();
    EXPECT_TRUE(lakes.opaque && lakes.noSubsets);
    EXPECT_EQ(lakes.cascaded * 10000 + lakes.fixedWidth, 10512);
    EXPECT_FALSE(lakes.minScaleDenominator.has_value());
    EXPECT_EQ(lakes.scaleHint.value_or(WmsScaleHint{}).max, 2494.51424214819);
    EXPECT_TRUE(FindWmsLayer(mapserver, "nope").empty());

    const WmsCapabilities qgis = ReadDocument("qgis_style_130.xml");
    std::string operations;
    for (const WmsOperation &operation : qgis.operations)
        operations += operation.name + ":" + std::to_string(operation.formats.size()) + " ";
    EXPECT_EQ(operations, "GetCapabilities:1 GetMap:6 GetFeatureInfo:3 GetLegendGraphic:2 "
                          "GetStyles:1 ");
    const WmsCapabilities utf16 = ReadDocument("qgis_style_130_utf16.xml");
    EXPECT_EQ(utf16.getMapFormats, qgis.getMapFormats);
    EXPECT_EQ(FlattenWmsLayers(utf16).size(), 3u);
    EXPECT_EQ(EffectiveWmsCrs(FindWmsLayer(utf16, "orthophoto")),
              EffectiveWmsCrs(FindWmsLayer(qgis, "orthophoto")));
}

// A ContactInformation block with nothing in it, as servers write it when no contact is set up,
// is no contact; one whose elements are all empty is a contact with empty texts.
TEST(WmsCapabilities, ContactInformation) {
    const struct {
        const char *information;
        bool given;
    } cases[] = {
        {"", false},
        {"<ContactInformation>\n  </ContactInformation>", false},
        {"<ContactInformation><!-- none --></ContactInformation>", false},
        {"<ContactInformation><ContactPersonPrimary><ContactPerson/></ContactPersonPrimary>"
         "</ContactInformation>",
         true},
    };
    for (const auto &c : cases) {
        const std::string document = std::string("<WMS_Capabilities version='1.3.0'><Service>"
                                                 "<Title>t</Title>") +
                                     c.information + "</Service></WMS_Capabilities>";
        WmsCapabilities capabilities;
        std::string error;
        ASSERT_TRUE(ParseWmsCapabilities(document, capabilities, error)) << error;
        EXPECT_EQ(capabilities.contact.has_value(), c.given) << c.information;
        if (c.given)
            EXPECT_EQ(capabilities.contact->person, "") << c.information;
    }
}

TEST(WmsCapabilities, RefusedDocuments) {
    struct Case {
        const char *what, *document, *errorPart;
    };
    const Case cases[] = {
        {"not XML", "<WMS_Capabilities version='1.3.0'>\n <Layer></Laye>",
         "well-formed XML document: Premature end of data in tag WMS_Capabilities line 1 "
         "(line 2, column 16)"},
        {"version 1.0.0",
         "<WMT_MS_Capabilities version='1.0.0'><Capability><Request><Map/></Request>"
         "</Capability></WMT_MS_Capabilities>",
         "WMS version 1.0.0 is not supported: the capabilities of versions 1.1.0, 1.1.1 and 1.3.0 "
         "are read."},
        {"entity declared",
         "<!DOCTYPE WMS_Capabilities [<!ENTITY a 'aaaa'>]><WMS_Capabilities>&a;</WMS_Capabilities>",
         "declares an entity, which is refused (line 1"},
        {"external entity",
         "<!DOCTYPE x [<!ENTITY e SYSTEM 'file:///etc/passwd'>]><WMS_Capabilities>&e;"
         "</WMS_Capabilities>",
         "well-formed"},
        {"other document", "<html><body>Service unavailable</body></html>", "not a WMS"},
        {"exception",
         "<ServiceExceptionReport version='1.3.0'><ServiceException code='InvalidFormat'>"
         "No such format</ServiceException></ServiceExceptionReport>",
         "InvalidFormat: No such format"},
        {"bad number",
         "<WMS_Capabilities><Capability><Layer><BoundingBox CRS='EPSG:4326' minx='1,5' miny='0' "
         "maxx='2' maxy='3'/></Layer></Capability></WMS_Capabilities>",
         "1,5"},
    };
    for (const Case &c : cases) {
        WmsCapabilities capabilities;
        capabilities.title = "untouched";
        std::string error;
        EXPECT_FALSE(ParseWmsCapabilities(c.document, capabilities, error)) << c.what;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(capabilities.title, "untouched") << c.what;
    }
}

} // namespace
} // namespace Geo
