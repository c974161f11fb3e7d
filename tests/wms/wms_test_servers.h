// Loopback servers for the WMS client tests: a CGI gateway that runs MapServer's mapserv on a
// mapfile made from the sample data, and a scriptable fake server (HTTP or HTTPS).
#ifndef VEXOGEO_TESTS_WMS_WMS_TEST_SERVERS_H
#define VEXOGEO_TESTS_WMS_WMS_TEST_SERVERS_H

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace VexoGeoTest {

/// Serves every GET with `handler` on an ephemeral loopback port until destroyed; with TLS it
/// presents a self-signed certificate for IP 127.0.0.1 whose PEM file `CaFile` names.
class FakeWmsServer {
  public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    explicit FakeWmsServer(Handler handler, bool tls = false) : m_scheme(tls ? "https" : "http") {
        m_server = tls ? MakeTlsServer() : std::make_unique<httplib::Server>();
        m_server->set_keep_alive_max_count(1);
        m_server->Get(".*", std::move(handler));
        m_port = m_server->bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            throw std::runtime_error("cannot bind a loopback port");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
        while (!m_server->is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeWmsServer() {
        m_server->stop();
        m_thread.join();
        if (!m_caFile.empty())
            std::remove(m_caFile.c_str());
    }
    std::string Url(const std::string &path = "/wms") const {
        return m_scheme + "://127.0.0.1:" + std::to_string(m_port) + path;
    }
    const std::string &CaFile() const { return m_caFile; }

  private:
    std::unique_ptr<httplib::Server> MakeTlsServer() {
        const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"),
                                                                      EVP_PKEY_free);
        const std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
        X509_set_version(cert.get(), 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
        X509_set_pubkey(cert.get(), key.get());
        X509_NAME *name = X509_get_subject_name(cert.get());
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char *>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(cert.get(), name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
        X509_EXTENSION *san =
            X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
        X509_add_ext(cert.get(), san, -1);
        X509_EXTENSION_free(san);
        if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
            throw std::runtime_error("cannot make a self-signed certificate");
        char path[] = "/tmp/vexogeo_wms_ca_XXXXXX";
        const int fd = ::mkstemp(path);
        if (fd < 0)
            throw std::runtime_error("cannot write the certificate");
        FILE *file = ::fdopen(fd, "w");
        PEM_write_X509(file, cert.get());
        std::fclose(file);
        m_caFile = path;
        return std::make_unique<httplib::SSLServer>(cert.get(), key.get());
    }

    std::string m_scheme;
    std::string m_caFile;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = 0;
    std::thread m_thread;
};

/// Runs `mapserv` as a CGI program for every GET of /mapserv, on a mapfile it writes into a
/// folder of its own: the sample points of data/points.txt as 1-degree squares, in layers whose
/// names need encoding, offered in EPSG:4326, EPSG:3857 and EPSG:32633.
class MapservGateway {
  public:
    /// Layer names and the RGB fill each one is drawn with.
    struct Layer {
        const char *m_name;
        int m_red, m_green, m_blue;
    };
    static const std::vector<Layer> &Layers() {
        static const std::vector<Layer> layers{{"places", 200, 30, 30},
                                               {"city areas", 30, 160, 30},
                                               {"r&d", 30, 30, 200},
                                               {"a+b", 200, 160, 0},
                                               {"Straße", 150, 0, 150}};
        return layers;
    }

    MapservGateway() {
        char folder[] = "/tmp/vexogeo_mapserv_XXXXXX";
        if (!::mkdtemp(folder))
            throw std::runtime_error("cannot make a folder for the mapfile");
        m_folder = folder;
        m_server.Get("/mapserv",
                     [this](const httplib::Request &request, httplib::Response &response) {
                         RunCgi(request, response);
                     });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            throw std::runtime_error("cannot bind a loopback port");
        m_mapfile = m_folder + "/sample.map";
        WriteFile(m_folder + "/mapserver.conf", "CONFIG\n  ENV\n    MS_MAP_PATTERN \"^" + m_folder +
                                                    "/[a-z]+\\.map$\"\n"
                                                    "  END\nEND\n");
        WriteFile(m_mapfile, Mapfile());
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~MapservGateway() {
        m_server.stop();
        m_thread.join();
        std::filesystem::remove_all(m_folder);
    }
    /// The address as the server advertises it: with the map parameter and a trailing "&".
    std::string Address() const { return Base() + "?map=" + m_mapfile + "&"; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/mapserv"; }
    /// The last query string mapserv received, as sent.
    std::string LastQuery() const {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastQuery;
    }

  private:
    static void WriteFile(const std::string &path, const std::string &text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
        if (!out.flush())
            throw std::runtime_error("cannot write " + path);
    }

    // The sample points (longitude latitude per line) as squares of one degree.
    static std::string Features() {
        std::ifstream in(std::string(VEXOGEO_TEST_SOURCE_DIR) + "/data/points.txt");
        std::string line, out;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#')
                continue;
            double lon = 0, lat = 0;
            std::istringstream fields(line);
            fields.imbue(std::locale::classic());
            if (!(fields >> lon >> lat))
                continue;
            std::ostringstream square;
            square.imbue(std::locale::classic());
            square << "    FEATURE POINTS " << lon - 0.5 << ' ' << lat - 0.5 << ' ' << lon + 0.5
                   << ' ' << lat - 0.5 << ' ' << lon + 0.5 << ' ' << lat + 0.5 << ' ' << lon - 0.5
                   << ' ' << lat + 0.5 << ' ' << lon - 0.5 << ' ' << lat - 0.5 << " END END\n";
            out += square.str();
        }
        if (out.empty())
            throw std::runtime_error("no sample points in data/points.txt");
        return out;
    }

    std::string Mapfile() const {
        std::string map = "MAP\n  NAME \"sample\"\n  SIZE 200 200\n  EXTENT -10 35 30 60\n"
                          "  IMAGECOLOR 255 255 255\n  PROJECTION \"init=epsg:4326\" END\n"
                          "  WEB\n    METADATA\n      \"wms_title\" \"VexoGeo sample\"\n"
                          "      \"wms_abstract\" \"Sample places as squares\"\n"
                          "      \"wms_onlineresource\" \"" +
                          Address() +
                          "\"\n"
                          "      \"wms_srs\" \"EPSG:4326 EPSG:3857 EPSG:32633\"\n"
                          "      \"wms_enable_request\" \"*\"\n"
                          "      \"wms_getmap_formatlist\" \"image/png,image/jpeg\"\n"
                          "    END\n  END\n";
        const std::string features = Features();
        for (const Layer &layer : Layers()) {
            map += "  LAYER\n    NAME \"" + std::string(layer.m_name) +
                   "\"\n    TYPE POLYGON\n    STATUS ON\n    GROUP \"sample places\"\n"
                   "    PROJECTION \"init=epsg:4326\" END\n"
                   "    METADATA \"wms_title\" \"" +
                   std::string(layer.m_name) +
                   " title\" \"wms_group_title\" \"Sample places\" END\n" + features +
                   "    CLASS NAME \"fill\" STYLE COLOR " + std::to_string(layer.m_red) + " " +
                   std::to_string(layer.m_green) + " " + std::to_string(layer.m_blue) +
                   " END END\n  END\n";
        }
        return map + "END\n";
    }

    // CGI/1.1: the query string as received, the answer's header lines up to the first empty
    // line (Status and Content-Type among them), then the body.
    void RunCgi(const httplib::Request &request, httplib::Response &response) {
        const std::size_t question = request.target.find('?');
        const std::string query =
            question == std::string::npos ? std::string() : request.target.substr(question + 1);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_lastQuery = query;
        }
        std::vector<std::string> environment{"REQUEST_METHOD=GET",
                                             "QUERY_STRING=" + query,
                                             "GATEWAY_INTERFACE=CGI/1.1",
                                             "SERVER_NAME=127.0.0.1",
                                             "SERVER_PORT=" + std::to_string(m_port),
                                             "SERVER_PROTOCOL=HTTP/1.1",
                                             "SCRIPT_NAME=/mapserv",
                                             "HTTP_HOST=127.0.0.1",
                                             "MAPSERVER_CONFIG_FILE=" + m_folder +
                                                 "/mapserver.conf",
                                             "PROJ_DATA=/usr/share/proj"};
        std::vector<char *> envp;
        for (std::string &entry : environment)
            envp.push_back(&entry[0]);
        envp.push_back(nullptr);
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) {
            response.status = 500;
            return;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(pipeFds[1], 1);
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
            char program[] = "mapserv";
            char *argv[] = {program, nullptr};
            ::execvpe("mapserv", argv, envp.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        std::string output;
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
            output.append(buffer, static_cast<std::size_t>(n));
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        std::size_t end = output.find("\r\n\r\n");
        std::size_t bodyStart = end == std::string::npos ? std::string::npos : end + 4;
        if (end == std::string::npos) {
            end = output.find("\n\n");
            bodyStart = end == std::string::npos ? std::string::npos : end + 2;
        }
        if (end == std::string::npos) {
            response.status = 502;
            response.set_content("mapserv wrote no CGI header", "text/plain");
            return;
        }
        std::string contentType = "application/octet-stream";
        std::istringstream headers(output.substr(0, end));
        std::string line;
        while (std::getline(headers, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            const std::string name = line.substr(0, colon);
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            if (name == "Content-Type" || name == "Content-type")
                contentType = value;
            else if (name == "Status")
                response.status = std::atoi(value.c_str());
        }
        response.set_content(output.substr(bodyStart), contentType.c_str());
    }

    std::string m_folder;
    std::string m_mapfile;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::string m_lastQuery;
};

} // namespace VexoGeoTest

#endif
