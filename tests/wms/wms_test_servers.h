// Loopback servers for the WMS client tests: a CGI gateway that runs MapServer's mapserv on a
// mapfile made from the sample data, and the scriptable loopback server (HTTP or HTTPS).
#ifndef VEXOGEO_TESTS_WMS_WMS_TEST_SERVERS_H
#define VEXOGEO_TESTS_WMS_WMS_TEST_SERVERS_H

#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/loopback_server.h"
#include "support/subprocess.h"
#include "support/temp_folder.h"

namespace VexoGeoTest {

using FakeWmsServer = LoopbackServer;

/// Runs `mapserv` as a CGI program for every GET of /mapserv, on a mapfile it writes into a
/// folder of its own: the sample points of data/points.txt as 1-degree squares, in layers whose
/// names need encoding, offered in EPSG:4326, EPSG:3857, EPSG:32633 and three polar systems
/// (EPSG:3413, EPSG:3995, EPSG:5041).
class MapservGateway {
  public:
    /// Layer names and the RGB fill each one is drawn with.
    struct Layer {
        const char *m_name;
        int m_red, m_green, m_blue;
    };
    static constexpr Layer kLayers[] = {{"places", 200, 30, 30},
                                        {"city areas", 30, 160, 30},
                                        {"r&d", 30, 30, 200},
                                        {"a+b", 200, 160, 0},
                                        {"Straße", 150, 0, 150}};

    MapservGateway() {
        WriteFile(m_folder + "/mapserver.conf", "CONFIG\n ENV\n  MS_MAP_PATTERN \"^" + m_folder +
                                                    "/[a-z]+\\.map$\"\n END\nEND\n");
        WriteFile(m_folder + "/sample.map", Mapfile());
    }

    /// The address as the server advertises it: with the map parameter and a trailing "&".
    std::string Address() const {
        return m_server.Url("/mapserv?map=" + m_folder + "/sample.map&");
    }
    /// The last query string mapserv received, as sent.
    std::string LastQuery() const {
        const std::string target = m_server.LastRequest().m_target;
        return target.substr(std::min(target.find('?'), target.size() - 1) + 1);
    }

  private:
    static void WriteFile(const std::string &path, const std::string &text) {
        if (!(std::ofstream(path, std::ios::binary) << text).flush())
            throw std::runtime_error("cannot write " + path);
    }
    static std::string Quoted(const std::string &text) {
        std::string out = "'";
        for (const char c : text)
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    }

    // The sample points (longitude latitude per line) as squares of one degree.
    static std::string Features() {
        std::ifstream in(std::string(VEXOGEO_TEST_SOURCE_DIR) + "/data/points.txt");
        std::ostringstream out;
        out.imbue(std::locale::classic());
        const int corners[5][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            fields.imbue(std::locale::classic());
            double lon = 0, lat = 0;
            if (!(fields >> lon >> lat)) // comments and empty lines
                continue;
            out << "    FEATURE POINTS";
            for (const auto &corner : corners)
                out << ' ' << lon + corner[0] * 0.5 << ' ' << lat + corner[1] * 0.5;
            out << " END END\n";
        }
        if (out.str().empty())
            throw std::runtime_error("no sample points in data/points.txt");
        return out.str();
    }

    std::string Mapfile() const {
        std::ostringstream map;
        map.imbue(std::locale::classic());
        map << R"(MAP NAME "sample" SIZE 200 200 EXTENT -10 35 30 60 IMAGECOLOR 255 255 255
  PROJECTION "init=epsg:4326" END WEB METADATA "wms_title" "VexoGeo sample"
    "wms_abstract" "Sample places as squares" "wms_srs" "EPSG:4326 EPSG:3857 EPSG:32633 EPSG:3413 EPSG:3995 EPSG:5041"
    "wms_enable_request" "*" "wms_getmap_formatlist" "image/png,image/jpeg"
    "wms_onlineresource" ")"
            << Address() << "\" END END\n";
        const std::string features = Features();
        for (const Layer &l : kLayers)
            map << "  LAYER NAME \"" << l.m_name
                << R"(" TYPE POLYGON STATUS ON GROUP "sample places"
    PROJECTION "init=epsg:4326" END METADATA "wms_title" ")"
                << l.m_name << " title\" \"wms_group_title\" \"Sample places\" END\n"
                << features << "    CLASS NAME \"fill\" STYLE COLOR " << l.m_red << ' ' << l.m_green
                << ' ' << l.m_blue << " END END END\n";
        return map.str() + "END\n";
    }

    // CGI/1.1 in a clean environment: the query string as received; the answer's header lines
    // up to the first empty line (Status and Content-Type among them), then the body.
    void RunCgi(const httplib::Request &request, httplib::Response &response) const {
        const std::size_t question = request.target.find('?');
        const std::string query =
            question == std::string::npos ? std::string() : request.target.substr(question + 1);
        const std::string output =
            RunCommand("env -i PATH=\"$PATH\" REQUEST_METHOD=GET QUERY_STRING=" + Quoted(query) +
                       " GATEWAY_INTERFACE=CGI/1.1 SERVER_NAME=127.0.0.1 SERVER_PORT=" +
                       std::to_string(m_server.Port()) +
                       " SERVER_PROTOCOL=HTTP/1.1 SCRIPT_NAME=/mapserv HTTP_HOST=127.0.0.1"
                       " MAPSERVER_CONFIG_FILE=" +
                       Quoted(m_folder + "/mapserver.conf") + " PROJ_DATA=/usr/share/proj mapserv")
                .out;
        std::size_t end = output.find("\r\n\r\n"), separator = 4;
        if (end == std::string::npos)
            end = output.find("\n\n"), separator = 2;
        if (end == std::string::npos) {
            response.status = 502;
            response.set_content("mapserv wrote no CGI header", "text/plain");
            return;
        }
        std::string contentType = "application/octet-stream";
        std::istringstream headers(output.substr(0, end));
        for (std::string line; std::getline(headers, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            const std::string name = line.substr(0, colon);
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            if (::strcasecmp(name.c_str(), "Content-Type") == 0)
                contentType = value;
            else if (name == "Status")
                response.status = std::atoi(value.c_str());
        }
        response.set_content(output.substr(end + separator), contentType.c_str());
    }

    const CTempFolder m_temp{"vexogeo-mapserv-"};
    const std::string m_folder = m_temp.Root().string();
    const LoopbackServer m_server{
        [this](const httplib::Request &request, httplib::Response &response) {
            RunCgi(request, response);
        }};
};

} // namespace VexoGeoTest

#endif
