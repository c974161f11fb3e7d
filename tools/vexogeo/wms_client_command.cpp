// vexogeo wms capabilities and wms getmap: a WMS client against a live server.
#include "commands.h"

#include <vexogeo/wms/wms_capabilities.h>
#include <vexogeo/wms/wms_client.h>
#include <vexogeo/wms/wms_url.h>

#include <CLI/CLI.hpp>

#include "platform/file_writer.h"
#include "text/ascii.h"
#include "text/url_text.h"
#include "wms/image_format.h"
#include "stream.h"
#include "wms_capabilities_output.h"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace VexoGeoCli {
namespace {

struct CapabilitiesOptions {
    std::string m_source;
    std::string m_format;
    std::string m_version = "1.3.0";
    std::string m_layer;
    double m_timeout = 60.0;
};

struct GetMapOptions {
    std::string m_address;
    std::string m_version = "1.3.0";
    std::string m_layers;
    std::string m_styles;
    std::string m_crs;
    std::string m_bbox;
    int m_width = 0;
    int m_height = 0;
    std::string m_format;
    bool m_transparent = false;
    std::string m_bgColor;
    double m_timeout = 60.0;
    std::string m_output;
    bool m_printUrl = false;
    bool m_worldFile = false;
};

// The versions this client speaks, for --version.
const std::vector<std::string> kVersions{"1.1.1", "1.3.0"};

// The client's limits with the checked time-out (at most a day, so it fits a long).
Geo::WmsClientOptions ClientOptions(std::chrono::milliseconds timeout) {
    Geo::WmsClientOptions options;
    options.totalTimeoutMs = static_cast<long>(timeout.count());
    options.connectTimeoutMs = std::min(options.connectTimeoutMs, options.totalTimeoutMs);
    return options;
}

int RunCapabilities(const CapabilitiesOptions &options) {
    const Geo::CWmsClient client(ClientOptions(TimeoutMilliseconds(options.m_timeout)));
    const Geo::WmsCapabilities capabilities =
        Geo::HasHttpScheme(options.m_source)
            ? client.GetCapabilities(options.m_source, options.m_version)
            : client.LoadCapabilitiesFile(options.m_source);
    const bool json = options.m_format == "json";
    COutputBuffer out;
    if (!options.m_layer.empty()) {
        if (!WriteLayer(capabilities, options.m_layer, json, out))
            ThrowFailure("no layer is named " + QuoteText(options.m_layer));
    } else if (json) {
        WriteCapabilitiesJson(capabilities, out);
    } else {
        WriteCapabilitiesText(capabilities, out);
    }
    if (!out.Flush())
        ThrowFailure(std::string("cannot write the output: ") + std::strerror(out.GetError()));
    return kExitSuccess;
}

bool ReadColor(const std::string &text, std::uint32_t &color) {
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        start = 2;
    if (text.size() - start != 6)
        return false;
    color = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return false;
        color = color * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

// Writes the map to standard output ("-") or to the output stream `output` names. The image is
// fetched whole and checked first, so that a stream receives a complete image or nothing.
int WriteMapToStream(const Geo::CWmsClient &client, const Geo::CWmsUrl &request,
                     const std::string &output) {
    Geo::Platform::CFileWriter stream;
    const bool opened = output == "-" ? stream.OpenStandardOutput() : stream.OpenStream(output);
    if (opened) {
        const std::string image = client.GetMap(request);
        if (stream.Write(image) && stream.Commit())
            return kExitSuccess;
    }
    ThrowFailure("cannot write " + QuoteText(output) + ": " + stream.GetErrorText());
}

// The number of names in a comma-separated list ("a,b" 2, "" 1, "," 2).
std::size_t CountListItems(const std::string &list) {
    return static_cast<std::size_t>(std::count(list.begin(), list.end(), ',')) + 1;
}

// The world file's name: the image's extension replaced by `extension` ("map.png" ->
// "map.pgw"), or `extension` appended when the file name has none.
std::string SiblingPath(const std::string &image, const char *extension) {
    const std::size_t name = image.find_last_of("/\\");
    const std::size_t dot = image.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (name == std::string::npos || dot > name + 1);
    return (hasExtension ? image.substr(0, dot) : image) + extension;
}

// The six lines of a world file: pixel size in x, two rotation terms, the negative pixel size
// in y, then the centre of the upper-left pixel. The box is easting first, as images are drawn.
std::string WorldFileText(const std::vector<double> &box, int width, int height) {
    const double xSize = (box[2] - box[0]) / width;
    const double ySize = (box[3] - box[1]) / height;
    std::string text;
    for (const double value : {xSize, 0.0, 0.0, -ySize, box[0] + xSize / 2, box[3] - ySize / 2})
        text += FormatNumber(value) + "\n";
    return text;
}

// The system's WKT as a .prj file holds it: ESRI's dialect, which GIS programs read beside
// world files, or WKT1 as GDAL writes it for a system ESRI's has no words for.
std::string PrjText(const std::string &crs, std::string &error) {
    // WMS names the OGC's systems "CRS:84"; PROJ knows them as "OGC:CRS84".
    const bool ogc = crs.size() > 4 && Geo::StartsWithIgnoringAsciiCase(crs, "crs:");
    const CSystemRef system = CreateSystem(ogc ? "OGC:CRS" + crs.substr(4) : crs, error);
    if (!system)
        return std::string();
    auto *object = static_cast<PJ *>(system->GetRaw());
    const char *wkt = proj_as_wkt(nullptr, object, PJ_WKT1_ESRI, nullptr);
    if (!wkt || !*wkt)
        wkt = proj_as_wkt(nullptr, object, PJ_WKT1_GDAL, nullptr);
    if (!wkt || !*wkt) {
        error = "PROJ has no WKT for it";
        return std::string();
    }
    return std::string(wkt) + "\n";
}

// The world file and the .prj of the image at `path`, opened before the request so that a target
// that may not be replaced is refused before anything is sent, and committed after the image.
struct WorldFiles {
    Geo::Platform::CFileWriter m_world, m_prj;
    std::string m_worldPath, m_prjPath, m_worldText, m_prjText;
};

int RunGetMap(const GetMapOptions &options) {
    const std::vector<double> box = ReadCornerBox("--bbox", options.m_bbox);
    // What every server refuses, refused here before anything is sent.
    if (options.m_layers.empty() || options.m_layers.front() == ',' ||
        options.m_layers.back() == ',' || options.m_layers.find(",,") != std::string::npos)
        ThrowUsage("--layers: expected layer names separated by commas, not " +
                   QuoteText(options.m_layers));
    if (!options.m_styles.empty() &&
        CountListItems(options.m_styles) != CountListItems(options.m_layers))
        ThrowUsage("--styles names " + std::to_string(CountListItems(options.m_styles)) +
                   " styles for " + std::to_string(CountListItems(options.m_layers)) +
                   " layers: give one per layer (empty for the default: 'a,,c') or none");
    if (options.m_width <= 0 || options.m_height <= 0)
        ThrowUsage("--width and --height must be positive");
    const std::chrono::milliseconds timeout = TimeoutMilliseconds(options.m_timeout);
    Geo::CWmsUrl request;
    request.SetAddress(options.m_address);
    request.SetService("WMS");
    request.SetVersion(options.m_version);
    request.SetRequest("GetMap");
    request.SetLayers(options.m_layers);
    request.SetStyles(options.m_styles);
    request.SetCrs(options.m_crs);
    request.SetFormat(options.m_format);
    // The numbers as given: a far corner recomputed from the extent may differ in its last digit.
    request.SetBBoxCorners(box[0], box[1], box[2], box[3]);
    request.SetWidth(options.m_width);
    request.SetHeight(options.m_height);
    request.SetTransparent(options.m_transparent);
    if (!options.m_bgColor.empty()) {
        std::uint32_t color = 0;
        if (!ReadColor(options.m_bgColor, color))
            ThrowUsage("--bgcolor: expected 0xRRGGBB, not '" + options.m_bgColor + "'");
        request.SetBgColor(color);
    }
    if (options.m_printUrl) {
        std::printf("%s\n", request.GetRequestUrl().c_str());
        return kExitSuccess;
    }
    if (options.m_output.empty())
        ThrowUsage("-o FILE is needed unless --print-url is given");
    const bool stream = options.m_output == "-" || Geo::Platform::IsOutputStream(options.m_output);
    WorldFiles world;
    const auto files = {std::pair{&world.m_world, &world.m_worldPath},
                        std::pair{&world.m_prj, &world.m_prjPath}};
    if (options.m_worldFile) {
        if (stream)
            ThrowUsage("--world-file needs -o FILE: a world file lies beside an image file, not "
                       "beside a stream");
        world.m_worldPath =
            SiblingPath(options.m_output, Geo::Wms::WorldFileExtension(options.m_format));
        world.m_prjPath = SiblingPath(options.m_output, ".prj");
        std::string error;
        world.m_prjText = PrjText(options.m_crs, error);
        if (world.m_prjText.empty())
            ThrowFailure("--world-file: no .prj for " + QuoteText(options.m_crs) + ": " + error);
        world.m_worldText = WorldFileText(box, options.m_width, options.m_height);
        for (auto [writer, path] : files)
            if (!writer->Open(*path) ||
                !writer->Write(path == &world.m_worldPath ? world.m_worldText : world.m_prjText))
                ThrowFailure("cannot write " + QuoteText(*path) + ": " + writer->GetErrorText());
    }
    const Geo::CWmsClient client(ClientOptions(timeout));
    if (stream)
        return WriteMapToStream(client, request, options.m_output);
    client.GetMapToFile(request, options.m_output);
    if (options.m_worldFile)
        for (auto [writer, path] : files)
            if (!writer->Commit())
                ThrowFailure("cannot write " + QuoteText(*path) + ": " + writer->GetErrorText());
    return kExitSuccess;
}

} // namespace

Command AddWmsClientSubcommands(CLI::App &wms) {
    auto capabilities = std::make_shared<CapabilitiesOptions>();
    CLI::App *capabilitiesApp =
        wms.add_subcommand("capabilities", "List what a WMS server offers (its capabilities)");
    capabilitiesApp
        ->add_option("SOURCE", capabilities->m_source,
                     "Service address (http:// or https://) or a capabilities file")
        ->required();
    AddFormatOption(*capabilitiesApp, capabilities->m_format, {"text", "json"});
    capabilitiesApp
        ->add_option("--version", capabilities->m_version,
                     "Version to ask a server for: 1.1.1 or 1.3.0 (default)")
        ->check(CLI::IsMember(kVersions));
    capabilitiesApp->add_option("--layer", capabilities->m_layer,
                                "Show the layer of this name whole, inherited values included");
    AddTimeoutOption(*capabilitiesApp, capabilities->m_timeout);
    capabilitiesApp->footer(
        "Asks for version 1.3.0 (or --version) and accepts the version the server answers with "
        "(1.1.1 or 1.3.0; 1.0.0 is refused); SERVICE, REQUEST and VERSION already in the address "
        "are replaced, other parameters (map=...) kept. A SOURCE starting with http:// or https:// "
        "(in any case) is a server, anything else a file. Text lists the service, its requests and the layers depth "
        "first, each showing only what it declares itself: systems, boxes, styles and "
        "dimensions are inherited by the layers below, and --layer NAME shows one layer whole. "
        "JSON (schema in docs/wms.md) gives every layer its effective values (crs as OWSLib "
        "gives it) and is written as it is produced.\n\nExamples:\n"
        "  vexogeo wms capabilities 'https://example.org/mapserv?map=/srv/x.map&'\n"
        "  vexogeo wms capabilities caps.xml --format json\n"
        "  vexogeo wms capabilities caps.xml --layer roads");

    auto getMap = std::make_shared<GetMapOptions>();
    CLI::App *getMapApp = wms.add_subcommand("getmap", "Fetch a map image from a WMS server");
    getMapApp->add_option("--address", getMap->m_address, "Service address")->required();
    getMapApp->add_option("--version", getMap->m_version, "1.1.1 or 1.3.0 (default)")
        ->check(CLI::IsMember(kVersions));
    getMapApp->add_option("--layers", getMap->m_layers, "Layers, comma-separated")->required();
    getMapApp->add_option("--styles", getMap->m_styles,
                          "Styles, comma-separated: one per layer (empty for the default), or "
                          "none");
    AddServerCrsOption(*getMapApp, getMap->m_crs)->required();
    AddBoxOption(*getMapApp, getMap->m_bbox)->required();
    getMapApp->add_option("--width", getMap->m_width, "Image width in pixels")->required();
    getMapApp->add_option("--height", getMap->m_height, "Image height in pixels")->required();
    AddImageFormatOption(*getMapApp, getMap->m_format);
    getMapApp->add_flag("--transparent", getMap->m_transparent, "Ask for a transparent image");
    getMapApp->add_option("--bgcolor", getMap->m_bgColor, "Background colour 0xRRGGBB");
    AddTimeoutOption(*getMapApp, getMap->m_timeout);
    getMapApp->add_option("-o,--output", getMap->m_output,
                          "Image file to write, or - for standard output");
    getMapApp->add_flag("--print-url", getMap->m_printUrl, "Print the request URL, fetch nothing");
    getMapApp->add_flag("--world-file", getMap->m_worldFile,
                        "Also write the world file (.pgw, .jgw, .gfw, .tfw, else .wld) and a .prj "
                        "with the system's WKT beside FILE");
    getMapApp->footer(
        "The box is given easting/longitude first (blanks after the commas allowed) and sent "
        "with the digits given; for 1.3.0 the request writes it in the system's own axis order "
        "(northing first only where the system's first axis is a northing or latitude). "
        "Parameters of the request already in --address are replaced, others (map=...) kept. "
        "The answer must be an image of the format's family (image/png for image/png8, PNG or "
        "JPEG for image/vnd.jpeg-png) by its content type and its first bytes. A service "
        "exception prints its code and text and exits with 1.\n\nThe image is written unchanged. A "
        "FILE is replaced only once the image is "
        "complete and checked, so a failure leaves it as it was; a link is written through, an "
        "existing file keeps its permissions, a new one gets 0666 less the umask. A folder, a "
        "socket, a block device and a read-only file are refused (exit 1). '-' is standard "
        "output (nothing else is written there); a character device (/dev/null, /dev/tty), a "
        "named pipe, and /dev/stdout or /dev/stderr are streams: written to, never replaced, "
        "and only once the image is complete.\n\nExamples:\n"
        "  vexogeo wms getmap --address https://example.org/wms --layers roads --crs EPSG:4326 "
        "--bbox 13,52,14,52.5 --width 800 --height 400 -o map.png\n"
        "  vexogeo wms getmap --address https://example.org/wms --layers roads --crs EPSG:4326 "
        "--bbox 13,52,14,52.5 --width 800 --height 400 -o - | display -");

    return {&wms, [capabilities, capabilitiesApp, getMap, getMapApp] {
                if (capabilitiesApp->parsed())
                    return RunCapabilities(*capabilities);
                if (getMapApp->parsed())
                    return RunGetMap(*getMap);
                return -1;
            }};
}

} // namespace VexoGeoCli
