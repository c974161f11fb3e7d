// vexogeo wms-url, wms, srids and named-wms: WMS request URLs and the library's XML files.
#include "commands.h"

#include <vexogeo/vexogeo.h>
#include <vexogeo/wms/wms_url.h>
#include <vexogeo/xml/serializer.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace VexoGeoCli {
namespace {

struct ComposeOptions {
    std::string m_address;
    std::string m_service = "WMS";
    std::string m_version = "1.3.0";
    std::string m_request = "GetMap";
    std::string m_layers;
    std::string m_styles;
    std::string m_format;
    std::string m_crs;
    std::string m_bbox;
    std::string m_originSize;
    int m_width = 0;
    int m_height = 0;
    bool m_check = false;
    bool m_standard = false;
};

struct WmsFileOptions {
    std::string m_path;
    Geo::CWms m_wms;
};

std::string HexColor(std::uint32_t color) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(color));
    return text;
}

int RunCompose(const ComposeOptions &options) {
    Geo::CWmsUrl url;
    url.SetAddress(options.m_address);
    url.SetService(options.m_service);
    url.SetVersion(options.m_version);
    url.SetRequest(options.m_request);
    url.SetLayers(options.m_layers);
    url.SetStyles(options.m_styles);
    url.SetFormat(options.m_format);
    url.SetCrs(options.m_crs);
    if (!options.m_bbox.empty() && !options.m_originSize.empty())
        ThrowUsage("give the box either as --bbox or as --origin-size, not both");
    if (!options.m_bbox.empty()) {
        // Four numbers that are no box are most likely an origin and a size, as --bbox once
        // took them.
        const std::vector<double> box = ReadCornerBox(
            "--bbox", options.m_bbox, " (an origin and a size go to --origin-size X,Y,W,H)");
        url.SetBBoxCorners(box[0], box[1], box[2], box[3]);
    }
    if (!options.m_originSize.empty()) {
        std::vector<double> box;
        if (!ParseNumberList(options.m_originSize, 4, box))
            ThrowUsage("--origin-size: expected four numbers 'x,y,width,height', not " +
                       QuoteText(options.m_originSize));
        url.SetBBox(BoundingBox2<double>(box[0], box[1], box[2], box[3]));
    }
    url.SetWidth(options.m_width);
    url.SetHeight(options.m_height);
    // GetRequestUrl throws for a request it cannot write; main reports it (exit 1).
    std::printf("%s\n", (options.m_standard ? url.GetRequestUrl() : url.GetUrl()).c_str());
    if (options.m_check && !url.IsValid())
        ThrowFailure("the request is incomplete: service, version, request, layers, format, crs, "
                     "a box without a zero corner value, width and height are all needed");
    return kExitSuccess;
}

int RunParse(const std::string &text) {
    Geo::CWmsUrl url;
    url.Parse(text);
    const std::string out = "address: " + url.GetAddress() + "\nservice: " + url.GetService() +
                            "\nversion: " + url.GetVersion() + "\nrequest: " + url.GetRequest() +
                            "\nlayers: " + url.GetLayers() + "\nstyles: " + url.GetStyles() +
                            "\nformat: " + url.GetFormat() +
                            "\ntransparent: " + (url.GetTransparent() ? "true" : "false") +
                            "\nbgcolor: " + HexColor(url.GetBgColor()) +
                            "\nexceptions: " + url.GetExceptions() + "\ntime: " + url.GetTime() +
                            "\nsld: " + url.GetSld() + "\nsld_body: " + url.GetSldBody() + "\n";
    std::fputs(out.c_str(), stdout);
    return kExitSuccess;
}

std::string DescribeWms(const Geo::CWms &wms, const std::string &indent) {
    return indent + "address: " + wms.m_address + "\n" + indent + "layers: " + wms.m_layers + "\n" +
           indent + "styles: " + wms.m_styles + "\n" + indent + "version: " + wms.m_version + "\n";
}

int RunShow(const std::string &path) {
    Geo::CWms wms;
    if (!Geo::CSerializer::LoadXmlFile(wms, path))
        ThrowFailure("cannot load the WMS description " + QuoteText(path));
    std::fputs(DescribeWms(wms, "").c_str(), stdout);
    return kExitSuccess;
}

int RunSave(const WmsFileOptions &options) {
    if (!Geo::CSerializer::SaveXmlFile(options.m_wms, options.m_path))
        ThrowFailure("cannot write the WMS description " + QuoteText(options.m_path));
    return kExitSuccess;
}

int RunSrids(const std::string &path) {
    Geo::NamedSridConfiguration configuration;
    if (!Geo::CSerializer::LoadXmlFile(configuration, path))
        ThrowFailure("cannot load the named SRID list " + QuoteText(path));
    std::string out;
    for (const Geo::NamedSrid &entry : configuration.m_entries)
        out += entry.m_srid.m_authority + ":" + std::to_string(entry.m_srid.m_code) + "\t" +
               entry.m_name + "\n";
    std::fputs(out.c_str(), stdout);
    return kExitSuccess;
}

int RunNamedWms(const std::string &path) {
    Geo::CNamedWmsConfiguration configuration;
    if (!Geo::CSerializer::LoadXmlFile(configuration, path))
        ThrowFailure("cannot load the named WMS list " + QuoteText(path));
    std::string out;
    for (const Geo::NamedWms &entry : configuration.m_entries)
        out += entry.m_name + "\n" + DescribeWms(entry.m_wms, "  ");
    std::fputs(out.c_str(), stdout);
    return kExitSuccess;
}

} // namespace

Command AddWmsUrlCommand(CLI::App &app) {
    CLI::App *sub = app.add_subcommand("wms-url", "Compose a WMS GetMap URL or parse one");
    sub->require_subcommand(1);
    sub->footer("Examples:\n"
                "  vexogeo wms-url compose --address https://example.org/wms --layers roads "
                "--crs EPSG:3857 --bbox 1480000,6880000,1500000,6895000 --width 800 --height 600 "
                "--check\n"
                "  vexogeo wms-url parse "
                "'https://example.org/wms?service=WMS&version=1.3.0&request=GetMap&layers=roads'");

    auto compose = std::make_shared<ComposeOptions>();
    CLI::App *composeApp = sub->add_subcommand("compose", "Print the URL of a GetMap request");
    composeApp->add_option("--address", compose->m_address, "Service address, before the '?'");
    composeApp->add_option("--service", compose->m_service, "Service (default WMS)");
    composeApp->add_option("--version", compose->m_version,
                           "Protocol version (default 1.3.0; below 1.3.0 the system key is srs)");
    composeApp->add_option("--request", compose->m_request, "Request (default GetMap)");
    composeApp->add_option("--layers", compose->m_layers, "Layers, comma-separated");
    composeApp->add_option("--styles", compose->m_styles, "Styles, comma-separated");
    AddImageFormatOption(*composeApp, compose->m_format);
    AddServerCrsOption(*composeApp, compose->m_crs);
    AddBoxOption(*composeApp, compose->m_bbox);
    composeApp->add_option("--origin-size", compose->m_originSize,
                           "The box as origin and extent X,Y,WIDTH,HEIGHT instead of --bbox");
    composeApp->add_option("--width", compose->m_width, "Image width in pixels");
    composeApp->add_option("--height", compose->m_height, "Image height in pixels");
    composeApp->add_flag("--check", compose->m_check,
                         "Exit with 1 when the request is incomplete (the URL is still printed)");
    composeApp->add_flag("--standard", compose->m_standard,
                         "Print the request as WMS servers read it: percent-encoded values, the "
                         "address's own query kept, the box in the version's axis order");
    composeApp->footer("Values are inserted byte for byte; coordinates with 15 significant "
                       "digits. Without --bbox or --origin-size the box is 0,0,1,1.\n\nExample:\n"
                       "  vexogeo wms-url compose --address https://example.org/wms --layers "
                       "roads --crs EPSG:4326 --bbox 13,52,14,52.5 --width 400 --height 200\n"
                       "  vexogeo wms-url compose --address https://example.org/wms --layers "
                       "roads --crs EPSG:4326 --origin-size 13,52,1,0.5 --width 400 --height "
                       "200");

    auto url = std::make_shared<std::string>();
    CLI::App *parseApp = sub->add_subcommand("parse", "Print every parameter read from a URL");
    parseApp->add_option("URL", *url, "A GetMap URL")->required();
    parseApp->footer("Keys are matched in any case; unknown pieces are skipped. Shown: the "
                     "address and every parameter the parser reads.\n\nExample:\n"
                     "  vexogeo wms-url parse "
                     "'https://example.org/wms?SERVICE=WMS&LAYERS=a,b&TRANSPARENT=TRUE'");

    return {sub, [compose, composeApp, url] {
                return composeApp->parsed() ? RunCompose(*compose) : RunParse(*url);
            }};
}

Command AddWmsCommand(CLI::App &app) {
    CLI::App *sub = app.add_subcommand(
        "wms",
        "Show or write a WMS description file; ask a WMS server for its capabilities or a map");
    sub->require_subcommand(1);
    sub->footer("Examples:\n"
                "  vexogeo wms show wms.xml\n"
                "  vexogeo wms save my.xml --address https://example.org/wms --layers roads "
                "--version 1.3.0\n"
                "  vexogeo wms capabilities 'https://example.org/mapserv?map=/srv/x.map&'\n"
                "  vexogeo wms getmap --address https://example.org/wms --layers roads --crs "
                "EPSG:4326 --bbox 13,52,14,52.5 --width 800 --height 400 -o map.png");

    auto showPath = std::make_shared<std::string>();
    CLI::App *show = sub->add_subcommand("show", "Print the four values of a WMS description");
    show->add_option("FILE", *showPath, "A WMS description file")->required();

    auto save = std::make_shared<WmsFileOptions>();
    CLI::App *saveApp = sub->add_subcommand("save", "Write a WMS description file");
    saveApp->add_option("FILE", save->m_path, "The file to write (replaced once complete)")
        ->required();
    saveApp->add_option("--address", save->m_wms.m_address, "Service address")->required();
    saveApp->add_option("--layers", save->m_wms.m_layers, "Layers to request")->required();
    saveApp->add_option("--styles", save->m_wms.m_styles, "Styles to request (default none)");
    saveApp->add_option("--version", save->m_wms.m_version, "Protocol version")->required();

    const Command client = AddWmsClientSubcommands(*sub);
    return {sub, [show, showPath, save, client] {
                const int clientResult = client.m_run();
                if (clientResult >= 0)
                    return clientResult;
                return show->parsed() ? RunShow(*showPath) : RunSave(*save);
            }};
}

Command AddSridsCommand(CLI::App &app) {
    auto path = std::make_shared<std::string>();
    CLI::App *sub = app.add_subcommand("srids", "List a named SRID file");
    sub->add_option("FILE", *path, "A named SRID configuration file")->required();
    sub->footer("One line per entry: authority:code, a tab and the name in the installation's "
                "culture (empty when the file has none).\n\nExample:\n"
                "  vexogeo srids named_srids.xml");
    return {sub, [path] { return RunSrids(*path); }};
}

Command AddNamedWmsCommand(CLI::App &app) {
    auto path = std::make_shared<std::string>();
    CLI::App *sub = app.add_subcommand("named-wms", "List a named WMS file");
    sub->add_option("FILE", *path, "A named WMS configuration file")->required();
    sub->footer("Per entry: the name in the installation's culture, then its address, layers, "
                "styles and version.\n\nExample:\n"
                "  vexogeo named-wms named_wms.xml");
    return {sub, [path] { return RunNamedWms(*path); }};
}

} // namespace VexoGeoCli
