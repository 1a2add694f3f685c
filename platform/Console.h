#pragma once

// Whether standard output is an interactive terminal (a live progress bar then
// redraws one line; otherwise progress is printed as plain lines).
bool stdoutIsTerminal();
