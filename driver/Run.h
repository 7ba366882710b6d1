// The whole run of the tool: command line, configuration, settings, selection, export.
#pragma once

#include <string>
#include <vector>

// Exit statuses of a run.
enum ExitStatus : int {
    kExitOk = 0,
    kExitBadCommandLine = -1,
    kExitConfigNotReadable = -2,
    kExitInvalidValue = -3,
    kExitFontUnusable = -4,
    kExitOutputFailed = -5,
};

// Runs the tool on its arguments (UTF-8; element 0 is the tool's own path as started) and
// returns the exit status. All console output of a run is printed from here or below driver/.
int runFontbin(const std::vector<std::string>& args);

// The quoted form of a path for the console: every '"' and '\' gets a backslash before it.
std::string quotePath(const std::string& path);
