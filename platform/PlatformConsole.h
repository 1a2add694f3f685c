#pragma once

// Whether standard output is an interactive terminal (a live progress bar then
// redraws one line; otherwise progress is printed as plain lines).
bool stdoutIsTerminal();

// Ctrl+C and termination requests (SIGINT, SIGTERM and SIGHUP; the console's control
// events on Windows). While deferred, each one is only counted, for the program to act
// on; otherwise the program ends at once, as it would without a handler. Installing
// also makes a write to a closed pipe fail instead of ending the program. A console
// closed, or a logoff or shutdown on Windows, counts as two: the run stops with the
// close request within the few seconds the system waits. Any thread.
void installInterruptCounter();
void deferInterrupts(bool deferred);
int interruptsCounted();
