#pragma once

#include "UiPlatform.h"

#include <iosfwd>
#include <string>
#include <vector>

class SettingsStore;
struct ShellDependencies;

// The window program over the installed UI platform: the single-instance rule (only
// without arguments), the window with its contents, a file named on the command
// line, the command-line update, the event loop. Returns the exit code: 0 only
// after a successful command-line update; 1 otherwise, and when another instance
// was brought to the front instead.
int runWindowProgram(const std::string& commandLine, const std::vector<std::string>& args,
                     const ShellDependencies& dependencies, SettingsStore* settings,
                     ShowCommand show = ShowCommand::Normal);

// When the display goes away under a running program: lets an update in progress
// finish and closes the device, then returns the exit code. Only from the
// user-interface thread, with no window call after it.
int finishWithoutDisplay();

// The update file a file manager's "Open with" names: the first argument that is
// not an option. Empty when there is none.
std::string bareFileArgument(const std::vector<std::string>& args);
