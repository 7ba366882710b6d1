// fontbin-studio: choose a font by eye in a local web page with a live preview, then export.
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/platform.h"
#include "tools/studio/Engine.h"
#include "tools/studio/Server.h"

namespace {

const char* const kUsage =
    "Usage: fontbin-studio [CONFIG] [--no-browser]\n"
    "Opens a page in your browser to choose the font, size, depth and characters of a fontbin\n"
    "configuration with a live preview, and to export it with fontbin.\n"
    "\n"
    "CONFIG is the configuration to open and save (default: FontConfig.json in the current\n"
    "folder; it need not exist yet). The page is served on 127.0.0.1 only, under an address\n"
    "with a random token, and the studio ends with Ctrl+C or once its last page is closed.\n"
    "\n"
    "  --no-browser   print the address without opening a browser\n"
    "  -h, --help     show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 done, 1 the server cannot start, 2 bad command line.\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = platform::startProcess(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    std::string config;
    bool browser = true;
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") {
            platform::writeOut(kUsage);
            return 0;
        }
        if (a == "--version") {
            platform::writeOut(std::string("fontbin-studio ") + FONTBIN_VERSION + "\n");
            return 0;
        }
        if (a == "--no-browser") {
            browser = false;
        } else if (config.empty() && !a.empty() && a[0] != '-') {
            config = a;
        } else {
            platform::writeErrLine("fontbin-studio: unexpected argument \"" + a +
                                   "\" (see --help)");
            return 2;
        }
    }
    studio::Places places;
    const auto self = platform::executablePath();
    places.toolDir = platform::directoryOf(self ? *self : platform::pathFromUtf8(argv[0]));
    places.configPath = platform::pathFromUtf8(config.empty() ? "FontConfig.json" : config);
    if (platform::isDirectory(places.configPath)) {
        platform::writeErrLine("fontbin-studio: " + config +
                               " is a folder; give the configuration file's path");
        return 2;
    }
    if (!platform::isDirectory(places.projectDir())) {
        platform::writeErrLine("fontbin-studio: the folder of " + config + " does not exist");
        return 2;
    }
    // The configuration's absolute path, so that the page shows where it saves.
    places.configPath = places.projectDir() / places.configPath.filename();

    studio::Engine engine(places);
    studio::Server server(engine);
    std::string error;
    if (!server.start(error)) {
        platform::writeErrLine("fontbin-studio: " + error);
        return 1;
    }
    platform::writeOut("fontbin-studio serves " + server.url() + "\n");
    if (browser && platform::openInBrowser(server.url()))
        platform::writeOut("It opens in your browser; if it does not, open that address.\n");
    else
        platform::writeOut("Open that address in a browser on this computer.\n");
    platform::writeOut("It ends with Ctrl+C, or once its last page is closed.\n");
    server.run();
    return 0;
}
