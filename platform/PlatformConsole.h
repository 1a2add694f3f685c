#pragma once

// Whether standard output is an interactive terminal (a live progress bar then
// redraws one line; otherwise progress is printed as plain lines).
bool stdoutIsTerminal();

// Ctrl+C and termination requests (SIGINT and SIGTERM; the console's control events
// on Windows). While deferred, each one is only counted, for the program to act on;
// otherwise the program ends at once, as it would without a handler. Any thread.
void installInterruptCounter();
void deferInterrupts(bool deferred);
int interruptsCounted();
