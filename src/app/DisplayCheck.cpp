#include "app/DisplayCheck.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>

#include <xcb/xcb.h>

namespace
{

std::vector<std::string> Split(const std::string &s, char sep)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from <= s.size()) {
        const std::size_t to = std::min(s.find(sep, from), s.size());
        if (to > from) out.push_back(s.substr(from, to - from));
        from = to + 1;
    }
    return out;
}

// Qt reads "-platform NAME" and "--platform NAME", and the X11 plugin
// "-display NAME"; the last one given counts.
const char *Argument(int argc, char **argv, const char *name)
{
    const char *value = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        const char *a = argv[i];
        if (a[0] == '-' && a[1] == '-') ++a;
        if (a[0] == '-' && std::strcmp(a + 1, name) == 0) value = argv[++i];
    }
    return value;
}

bool Contains(const char *haystack, const char *needle)
{
    if (!haystack) return false;
    std::string s(haystack);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s.find(needle) != std::string::npos;
}

// Connecting is the honest test: DISPLAY may be set and lead nowhere, or to
// a server that refuses us.
std::string XProblem(const char *display)
{
    if (!display || !*display) return "DISPLAY is not set";
    int screen = 0;
    xcb_connection_t *c = xcb_connect(display, &screen);
    const int error = xcb_connection_has_error(c);
    xcb_disconnect(c);
    const std::string quoted = std::string("\"") + display + "\"";
    switch (error) {
    case 0:
        return {};
    case XCB_CONN_CLOSED_PARSE_ERR:
        return quoted + " is not the name of an X display";
    case XCB_CONN_CLOSED_INVALID_SCREEN:
        return "the X display " + quoted + " has no such screen";
    default:
        return "the X display " + quoted + " does not answer, or refuses the connection";
    }
}

bool WaylandPluginInstalled(const EnvLookup &env)
{
    QStringList dirs;
    if (const char *extra = env("QT_PLUGIN_PATH")) dirs = QString::fromLocal8Bit(extra).split(QLatin1Char(':'));
    dirs << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    for (const QString &d : dirs)
        if (!QDir(d + QStringLiteral("/platforms")).entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty())
            return true;
    return false;
}

std::string WaylandProblem(const EnvLookup &env)
{
    const char *name = env("WAYLAND_DISPLAY");
    std::string socketPath = name && *name ? name : "wayland-0";
    if (socketPath[0] != '/') {
        const char *dir = env("XDG_RUNTIME_DIR");
        if (!dir || !*dir) return "no Wayland display (XDG_RUNTIME_DIR is not set)";
        socketPath = std::string(dir) + "/" + socketPath;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof addr.sun_path) return "the Wayland socket's name is too long: " + socketPath;
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answers = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0;
    if (fd >= 0) ::close(fd);
    if (!answers) return "no Wayland compositor answers at " + socketPath;
    if (!WaylandPluginInstalled(env)) return "Qt's Wayland platform plugin is not installed (package qt6-wayland)";
    return {};
}

} // namespace

std::vector<std::string> PlatformsToTry(int argc, char **argv, const EnvLookup &env)
{
    std::string list;
    if (const char *p = Argument(argc, argv, "platform"))
        list = p;
    else if (const char *e = env("QT_QPA_PLATFORM"))
        list = e;
    std::vector<std::string> names;
    for (const std::string &spec : Split(list, ';'))
        names.push_back(spec.substr(0, spec.find(':')));
    if (!names.empty()) return names;
    // Qt's default; it leaves a Wayland session on GNOME to XWayland.
    const char *session = env("XDG_SESSION_TYPE");
    if (session && std::strcmp(session, "wayland") == 0 && !Contains(env("XDG_CURRENT_DESKTOP"), "gnome") &&
        !Contains(env("XDG_SESSION_DESKTOP"), "gnome"))
        names.push_back("wayland");
    names.push_back("xcb");
    return names;
}

std::string DisplayProblem(int argc, char **argv)
{
    const EnvLookup env = [](const char *name) { return std::getenv(name); };
    std::vector<std::string> reasons;
    for (const std::string &platform : PlatformsToTry(argc, argv, env)) {
        std::string reason;
        if (platform == "xcb") {
            const char *display = Argument(argc, argv, "display");
            reason = XProblem(display ? display : env("DISPLAY"));
        } else if (platform.rfind("wayland", 0) == 0) {
            reason = WaylandProblem(env);
        } else {
            return {};
        }
        if (reason.empty()) return {};
        reasons.push_back(reason);
    }
    std::string text = "quorvel: no display to open the window on: ";
    for (std::size_t i = 0; i < reasons.size(); ++i)
        text += (i ? "; " : "") + reasons[i];
    text += ".\n"
            "Start Quorvel in a desktop session, or on a virtual display:\n"
            "  xvfb-run -a quorvel\n"
            "quorvel-cli plans the same acquisitions without a window (quorvel-cli --help).\n";
    return text;
}
