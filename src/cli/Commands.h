#pragma once

#include <functional>

namespace CLI
{
class App;
}

namespace cli
{

// Exit statuses shared by every subcommand.
enum ExitCode { kOk = 0, kFailure = 1, kUsage = 2 };

// Each subcommand adds itself to the app and returns the action to run once
// parsing succeeded; the action returns the process's exit status.
using Action = std::function<int()>;

Action addPatternCommand(CLI::App &app);
Action addInspectCommand(CLI::App &app);
Action addReportCommand(CLI::App &app);
Action addExportCommand(CLI::App &app);
Action addCoverageCommand(CLI::App &app);

} // namespace cli
