#pragma once

#include <functional>
#include <string>

namespace CLI
{
class App;
}

namespace cli
{

// Exit statuses shared by every subcommand.
enum ExitCode { kOk = 0, kFailure = 1, kUsage = 2 };

// Every message of a subcommand: "quorvel-cli COMMAND: MESSAGE" on stderr.
// Returns status, so that a caller can return it at once.
int Complain(const char *command, const std::string &message, int status = kUsage);

// "--option must be ..., got 'TEXT'": a value that is not what the option takes.
std::string BadValue(const char *option, const std::string &must, const std::string &got);

// Each subcommand adds itself to the app and returns the action to run once
// parsing succeeded; the action returns the process's exit status.
using Action = std::function<int()>;

Action addPatternCommand(CLI::App &app);
Action addInspectCommand(CLI::App &app);
Action addReportCommand(CLI::App &app);
Action addExportCommand(CLI::App &app);
Action addCoverageCommand(CLI::App &app);
Action addPlanCommand(CLI::App &app);
Action addCaptureCommand(CLI::App &app);
Action addPredictCommand(CLI::App &app);
Action addSuggestCommand(CLI::App &app);

} // namespace cli
