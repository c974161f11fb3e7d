// Reading capabilities documents: both versions, the inheritance rules, and hostile documents.
#include <gtest/gtest.h>

#include <vexogeo/wms/wms_capabilities.h>

namespace Geo {
namespace {

const char kInherited130[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<WMS_Capabilities version="1.3.0" xmlns="http://www.opengis.net/wms"
    xmlns:xlink="http://www.w3.org/1999/xlink">
 <Service><Name>WMS</Name><Title> Roads &amp; rivers </Title><Abstract>All of them</Abstract></Service>
 <Capability>
  <Request><GetMap><Format>image/png</Format><Format>image/svg+xml</Format>
   <DCPType><HTTP><Get><OnlineResource xlink:href="http://h/mapserv?map=/x.map&amp;"/></Get></HTTP></DCPType>
  </GetMap></Request>
  <Exception><Format>XML</Format><Format>INIMAGE</Format></Exception>
  <Layer>
   <Title>Root</Title>
   <CRS>EPSG:4326</CRS><CRS>EPSG:3857</CRS>
   <EX_GeographicBoundingBox><westBoundLongitude>-10</westBoundLongitude>
    <eastBoundLongitude>30</eastBoundLongitude><southBoundLatitude>35</southBoundLatitude>
    <northBoundLatitude>60</northBoundLatitude></EX_GeographicBoundingBox>
   <BoundingBox CRS="EPSG:4326" minx="35" miny="-10" maxx="60" maxy="30"/>
   <BoundingBox CRS="EPSG:3857" minx="-1e6" miny="4e6" maxx="3e6" maxy="8e6"/>
   <Style><Name>default</Name><Title>Default</Title>
    <LegendURL width="20" height="10"><Format>image/png</Format>
     <OnlineResource xlink:href="http://h/legend.png"/></LegendURL></Style>
   <MinScaleDenominator>1000</MinScaleDenominator><MaxScaleDenominator>1e7</MaxScaleDenominator>
   <Layer queryable="1">
    <Name>roads</Name><Title>Roads</Title>
    <CRS>EPSG:32633</CRS><CRS>EPSG:4326</CRS>
    <BoundingBox CRS="EPSG:3857" minx="1" miny="2" maxx="3" maxy="4"/>
    <Style><Name>thin</Name><Title>Thin</Title></Style>
    <Style><Name>default</Name><Title>Not again</Title></Style>
    <MaxScaleDenominator>5e5</MaxScaleDenominator>
    <Layer><Name>Stra&#xDF;e</Name><Title>Streets</Title>
     <EX_GeographicBoundingBox><westBoundLongitude>13</westBoundLongitude>
      <eastBoundLongitude>14</eastBoundLongitude><southBoundLatitude>52</southBoundLatitude>
      <northBoundLatitude>53</northBoundLatitude></EX_GeographicBoundingBox></Layer>
   </Layer>
  </Layer>
 </Capability>
</WMS_Capabilities>)";

// 1.1.1 as servers send it: a document type with an internal subset, no namespace, SRS lists.
const char kOlder111[] = R"(<?xml version="1.0" encoding="ISO-8859-1"?>
<!DOCTYPE WMT_MS_Capabilities SYSTEM "http://schemas.opengis.net/wms/1.1.1/WMS_MS_Capabilities.dtd"
 [ <!ELEMENT VendorSpecificCapabilities EMPTY> ]>
<WMT_MS_Capabilities version="1.1.1">
 <Service><Name>OGC:WMS</Name><Title>Old</Title></Service>
 <Capability>
  <Request><GetMap><Format>image/png</Format>
   <DCPType><HTTP><Get><OnlineResource xmlns:xlink="http://www.w3.org/1999/xlink"
     xlink:href="http://h/old?"/></Get></HTTP></DCPType></GetMap></Request>
  <Exception><Format>application/vnd.ogc.se_xml</Format></Exception>
  <Layer><Title>All</Title><SRS>EPSG:4326 EPSG:31468</SRS>
   <LatLonBoundingBox minx="5" miny="47" maxx="15" maxy="55"/>
   <ScaleHint min="0.5" max="100"/>
   <Layer queryable="0"><Name>b&#xE4;che</Name><Title>Brooks</Title><SRS>EPSG:3857</SRS></Layer>
  </Layer>
 </Capability>
</WMT_MS_Capabilities>)";

TEST(WmsCapabilities, Version130WithInheritance) {
    WmsCapabilities c;
    std::string error;
    ASSERT_TRUE(ParseWmsCapabilities(kInherited130, c, error)) << error;
    EXPECT_EQ(c.version, "1.3.0");
    EXPECT_EQ(c.title, "Roads & rivers");
    EXPECT_EQ(c.getMapUrl, "http://h/mapserv?map=/x.map&");
    EXPECT_EQ(c.getMapFormats, (std::vector<std::string>{"image/png", "image/svg+xml"}));
    EXPECT_EQ(c.exceptionFormats, (std::vector<std::string>{"XML", "INIMAGE"}));
    const auto layers = FlattenWmsLayers(c);
    ASSERT_EQ(layers.size(), 3u);
    const WmsLayer &root = *layers[0].first, &roads = *layers[1].first, &streets = *layers[2].first;
    EXPECT_FALSE(root.name.has_value());
    EXPECT_EQ(layers[2].second, 2);
    EXPECT_EQ(streets.name.value_or(""), "Stra\xC3\x9F"
                                         "e");
    EXPECT_TRUE(roads.queryable);
    EXPECT_FALSE(streets.queryable);
    // Systems and styles add up, without repeats.
    const std::vector<std::string> systems{"EPSG:4326", "EPSG:3857", "EPSG:32633"};
    EXPECT_EQ(roads.crs, systems);
    EXPECT_EQ(streets.crs, systems);
    ASSERT_EQ(streets.styles.size(), 2u);
    EXPECT_EQ(streets.styles[0].name, "default");
    EXPECT_EQ(streets.styles[0].title, "Default");
    ASSERT_EQ(streets.styles[0].legendUrls.size(), 1u);
    EXPECT_EQ(streets.styles[0].legendUrls[0].href, "http://h/legend.png");
    EXPECT_EQ(streets.styles[0].legendUrls[0].width, 20);
    EXPECT_EQ(streets.styles[1].name, "thin");
    // Boxes are replaced: the geographic one where given, per-CRS boxes system by system.
    ASSERT_TRUE(roads.geographicBox && streets.geographicBox);
    EXPECT_EQ(roads.geographicBox->west, -10);
    EXPECT_EQ(streets.geographicBox->west, 13);
    EXPECT_EQ(streets.geographicBox->north, 53);
    ASSERT_EQ(roads.boundingBoxes.size(), 2u);
    EXPECT_EQ(roads.boundingBoxes[0].crs, "EPSG:4326");
    EXPECT_EQ(roads.boundingBoxes[0].minX, 35);
    EXPECT_EQ(roads.boundingBoxes[1].crs, "EPSG:3857");
    EXPECT_EQ(roads.boundingBoxes[1].maxY, 4);
    // The scale range is replaced as a whole: roads states only a maximum.
    EXPECT_EQ(root.minScale.value_or(-1), 1000);
    EXPECT_FALSE(roads.minScale.has_value());
    EXPECT_EQ(streets.maxScale.value_or(-1), 5e5);
}

TEST(WmsCapabilities, Version111WithoutNetwork) {
    WmsCapabilities c;
    std::string error;
    ASSERT_TRUE(ParseWmsCapabilities(kOlder111, c, error)) << error;
    EXPECT_EQ(c.version, "1.1.1");
    EXPECT_EQ(c.getMapUrl, "http://h/old?");
    const auto layers = FlattenWmsLayers(c);
    ASSERT_EQ(layers.size(), 2u);
    const WmsLayer &brooks = *layers[1].first;
    EXPECT_EQ(brooks.name.value_or(""), "b\xC3\xA4"
                                        "che"); // Latin-1 document, UTF-8 text
    EXPECT_EQ(brooks.crs, (std::vector<std::string>{"EPSG:4326", "EPSG:31468", "EPSG:3857"}));
    ASSERT_TRUE(brooks.geographicBox);
    EXPECT_EQ(brooks.geographicBox->south, 47);
    EXPECT_EQ(brooks.geographicBox->east, 15);
    EXPECT_EQ(brooks.maxScale.value_or(-1), 100);
}

TEST(WmsCapabilities, RefusedDocuments) {
    struct Case {
        const char *what, *document, *errorPart;
    };
    const Case cases[] = {
        {"not XML", "<WMS_Capabilities version='1.3.0'>", "well-formed"},
        {"entity declared",
         "<!DOCTYPE WMS_Capabilities [<!ENTITY a 'aaaa'>]><WMS_Capabilities>&a;</WMS_Capabilities>",
         "well-formed"},
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
