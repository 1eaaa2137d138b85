#include "app/AppCommandLine.h"

#include <cstring>

#include "Version.h"

std::optional<int> HandleInfoArguments(int argc, char **argv, std::FILE *out)
{
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--version") == 0) {
            std::fprintf(out, "quorvel %s\n", QUORVEL_VERSION);
            return 0;
        }
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fprintf(out, "Usage: quorvel [--version] [--help] [--commands]\n"
                              "\n"
                              "Quorvel plans PTM (RTI) image acquisition: describe the object and the capture\n"
                              "geometry (lengths in millimetres, angles in degrees) in the window, and\n"
                              "\"Generate -->\" writes ./acquisition.txt in the folder Quorvel was started from.\n"
                              "\n"
                              "  --version   print the version and exit\n"
                              "  -h, --help  print this help and exit\n"
                              "  --commands  print the window's toolbar buttons, menus and shortcuts, one a\n"
                              "              line (place, name, keys, what it does; tab-separated), and exit\n"
                              "\n"
                              "--version, --help and --commands need no display. Qt's own options (such as\n"
                              "-platform) are accepted too. The same plans without the window: quorvel-cli\n"
                              "(see quorvel-cli --help).\n");
            return 0;
        }
    }
    return std::nullopt;
}

bool WantsCommandList(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--commands") == 0) return true;
    return false;
}
