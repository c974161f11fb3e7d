// The three loaders and the saver on several threads at once, each thread saving to a file of
// its own; the first localized name of the process is read from all of them together.
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "xml/xml_test_files.h"

namespace Geo {
namespace {

using Testing::CTempFolder;

TEST(XmlThreads, ConcurrentLoadsAndSavesEachGetTheirOwnResult) {
    // This binary runs in the German installation language.
    CTempFolder folder;
    const std::string name = "<Name><Culture id=\"en-us\">E</Culture><Culture id=\"de-de\">D "
                             "\xC3\xA4</Culture></Name>";
    const std::string values =
        "<Address>a</Address><Layers>l</Layers><Styles>s</Styles><Version>v</Version>";
    const std::string wmsFile = folder.Write("wms.xml", "<Wms>" + values + "</Wms>");
    const std::string sridFile = folder.Write(
        "srid.xml", "<NamedSridConfiguration><NamedSrid><Authority>EPSG</Authority><Identifier>"
                    "4326</Identifier>" +
                        name + "</NamedSrid></NamedSridConfiguration>");
    const std::string listFile =
        folder.Write("list.xml", "<NamedWmsConfiguration><NamedWms>" + values + name +
                                     "</NamedWms></NamedWmsConfiguration>");
    const std::string brokenFile = folder.Write("broken.xml", "<Wms>" + values);

    constexpr int kThreads = 8;
    constexpr int kRounds = 40;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready < kThreads)
                std::this_thread::yield();
            const std::string own = folder.Path("saved-" + std::to_string(t) + ".xml");
            for (int i = 0; i < kRounds; ++i) {
                NamedSridConfiguration srids;
                ASSERT_TRUE(CSerializer::LoadXmlFile(srids, sridFile));
                EXPECT_EQ(srids.m_entries,
                          std::vector<NamedSrid>{NamedSrid(Srid("EPSG", 4326), "D \xC3\xA4")});
                CNamedWmsConfiguration list;
                ASSERT_TRUE(CSerializer::LoadXmlFile(list, listFile));
                EXPECT_EQ(list.m_entries,
                          std::vector<NamedWms>{NamedWms(CWms("a", "l", "s", "v"), "D \xC3\xA4")});
                CWms wms;
                ASSERT_TRUE(CSerializer::LoadXmlFile(wms, wmsFile));
                EXPECT_EQ(wms, CWms("a", "l", "s", "v"));
                EXPECT_FALSE(CSerializer::LoadXmlFile(wms, brokenFile));

                const CWms saved("http://" + std::to_string(t) +
                                     ".example/wms?round=" + std::to_string(i),
                                 "layer " + std::to_string(t), "", "1.3.0");
                ASSERT_TRUE(CSerializer::SaveXmlFile(saved, own));
                CWms loaded;
                ASSERT_TRUE(CSerializer::LoadXmlFile(loaded, own));
                EXPECT_EQ(loaded, saved);
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    std::vector<std::string> expected{"broken.xml", "list.xml", "srid.xml", "wms.xml"};
    for (int t = 0; t < kThreads; ++t)
        expected.push_back("saved-" + std::to_string(t) + ".xml");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.List(), expected); // no temporary file left behind
}

} // namespace
} // namespace Geo
