// Reading capabilities documents: both versions, the inheritance rules, and hostile documents.
#include <gtest/gtest.h>

#include <sstream>

#include <vexogeo/wms/wms_capabilities.h>

#include "support/test_data.h"

namespace Geo {
namespace {

using VexoGeoTest::TestData;

// The document's own lines, then a line a layer (the form is described in
// tests/data/wms/tables/outlines.txt).
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
    if (c.contact)
        out << "contact " << c.contact->person << '|';
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

TEST(WmsCapabilities, DocumentsOutlined) {
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("wms/tables/outlines.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        // "file:NAME" is a document of tests/data.
        EXPECT_EQ(Outline(row[0].rfind("file:", 0) == 0 ? TestData(row[0].substr(5)) : row[0]),
                  row[1]);
    }
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

// A refused document leaves the capabilities as they were.
TEST(WmsCapabilities, RefusedDocuments) {
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("wms/tables/refused.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        WmsCapabilities capabilities;
        capabilities.title = "untouched";
        std::string error;
        EXPECT_FALSE(ParseWmsCapabilities(row[0], capabilities, error));
        EXPECT_NE(error.find(row[1]), std::string::npos) << error;
        EXPECT_EQ(capabilities.title, "untouched");
    }
}

} // namespace
} // namespace Geo
