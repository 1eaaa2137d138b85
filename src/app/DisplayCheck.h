#pragma once
// Whether the window has a display to open on, asked before Qt's platform
// starts: without one Qt aborts, advising to reinstall the program, which
// helps nobody. Qt's own choice is followed: -platform, else
// QT_QPA_PLATFORM (a list tried in order), else X11, after Wayland in a
// Wayland session. X11 and Wayland count only when they answer; any other
// platform (offscreen, vnc, eglfs, ...) needs no display server.

#include <functional>
#include <string>
#include <vector>

using EnvLookup = std::function<const char *(const char *)>;

// The platforms Qt will try, in order, with their options cut off.
std::vector<std::string> PlatformsToTry(int argc, char **argv, const EnvLookup &env);

// Empty when the window can open; otherwise what to tell the user, ending
// in a newline.
std::string DisplayProblem(int argc, char **argv);
