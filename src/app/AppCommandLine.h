#pragma once
// The window's own command line: --version and --help, answered before any
// display is opened, so that they work over ssh and in scripts.

#include <cstdio>
#include <optional>

// Prints the version or the usage to out when argv asks for one and returns
// the exit status; returns nothing when the window is to start.
std::optional<int> HandleInfoArguments(int argc, char **argv, std::FILE *out = stdout);
