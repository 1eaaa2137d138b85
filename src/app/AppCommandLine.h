#pragma once
// The window's own command line: --version and --help, answered before any
// display is opened, so that they work over ssh and in scripts; --commands,
// answered on Qt's offscreen platform, without a display either.

#include <cstdio>
#include <optional>

// Prints the version or the usage to out when argv asks for one and returns
// the exit status; returns nothing when the window is to start.
std::optional<int> HandleInfoArguments(int argc, char **argv, std::FILE *out = stdout);

// True when argv asks for the list of the window's commands.
bool WantsCommandList(int argc, char **argv);
