#pragma once
// Parsing quorvel-cli's command line, with messages a newcomer can act on:
// what was not understood, in which subcommand, and where the help is.

namespace CLI
{
class App;
}

namespace cli
{

// Parses argv into app once every subcommand is registered. Returns -1 when
// a subcommand is to run; otherwise the exit status, after printing the help,
// the version, or one line on stderr naming what was wrong.
int ParseCommandLine(CLI::App &app, int argc, char **argv);

} // namespace cli
