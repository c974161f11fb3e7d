// The three loaders and the saver on several threads at once, each thread saving to a file of
// its own while one file is replaced again and again; names are read in the German culture.
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include "xml/xml_test_files.h"

namespace Geo::Testing {
namespace {

TEST(XmlThreads, ConcurrentLoadsAndSavesEachGetTheirOwnResult) {
    CTempFolder folder;
    const std::pair<std::string, std::string> files[] = {
        {folder.Write("wms.xml", Tag("Wms", kBody)), "W[a|l|s|v]"},
        {folder.Write("srid.xml", TestData("xml/srid_two_cultures")), "S[EPSG:4326 D \xC3\xA4]"},
        {folder.Write("list.xml", TestData("xml/wms_list_two_cultures")), "N[a|l|s|v D \xC3\xA4]"},
        {folder.Write("broken.xml", "<Wms>" + kBody), ""},
    };
    // The saver replaces the file at once: every load finds a whole file, the old or the new.
    const std::string replaced = folder.Path("replaced.xml");
    const CWms versions[] = {
        CWms("http://a.example/wms", "a", "", "1.1.1"),
        CWms("http://b.example/wms?long=" + std::string(100000, 'b'), "b,c", "default", "1.3.0")};
    ASSERT_TRUE(CSerializer::SaveXmlFile(versions[0], replaced));

    constexpr int kThreads = 8;
    std::set<std::string> names{"broken.xml", "list.xml", "replaced.xml", "srid.xml", "wms.xml"};
    {
        const CBackground saver([&](const std::atomic<bool> &stop) {
            for (int i = 1; !stop; ++i)
                ASSERT_TRUE(CSerializer::SaveXmlFile(versions[i % 2], replaced));
        });
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            const std::string own = "saved-" + std::to_string(t) + ".xml";
            names.insert(own);
            threads.emplace_back([&, t, own] {
                for (++ready; ready < kThreads;)
                    std::this_thread::yield();
                for (int i = 0; i < 40; ++i) {
                    for (const auto &file : files)
                        EXPECT_EQ(Loads(file.first), file.second);
                    const std::string current = Loads(replaced);
                    EXPECT_TRUE(current == "W[" + Text(versions[0]) + "]" ||
                                current == "W[" + Text(versions[1]) + "]")
                        << current.substr(0, 30);

                    const CWms saved(own + "?round=" + std::to_string(i), "l", "", "1.3.0");
                    EXPECT_TRUE(CSerializer::SaveXmlFile(saved, folder.Path(own)));
                    EXPECT_EQ(Loads(folder.Path(own)), "W[" + Text(saved) + "]");
                }
            });
        }
        for (auto &thread : threads)
            thread.join();
    }
    EXPECT_EQ(folder.List(), names); // no temporary file left behind
}

} // namespace
} // namespace Geo::Testing
