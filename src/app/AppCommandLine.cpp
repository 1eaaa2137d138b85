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
            std::fprintf(out, "Usage: quorvel [--version] [--help]\n"
                              "\n"
                              "Quorvel plans PTM (RTI) image acquisition: describe the object and the capture\n"
                              "geometry (lengths in millimetres, angles in degrees) in the window, and\n"
                              "\"Generate -->\" writes ./acquisition.txt in the folder Quorvel was started from.\n"
                              "\n"
                              "  --version   print the version and exit\n"
                              "  -h, --help  print this help and exit\n"
                              "\n"
                              "Qt's own options (such as -platform) are accepted too. The same pattern\n"
                              "without the window: quorvel-cli pattern (see quorvel-cli --help).\n");
            return 0;
        }
    }
    return std::nullopt;
}
