#pragma once
// Ctrl-C and SIGTERM for a batch: the first asks the tool to start nothing new and let the
// exchanges already sending finish; the second ends the process at once, after saying
// which encoders' outcome is unknown. (Ctrl-C, Ctrl-Break and closing the console on
// Windows.) The signals are taken on a thread of their own, so what they start may lock,
// allocate and print like any other code.

#include <functional>
#include <string>

namespace CliInterrupt {

// Call once, before any other thread starts: every later thread inherits the blocked
// signals, and only the watcher takes them. A signal ignored at start (a background job
// of a shell) stays ignored.
void Install();

// What the first signal does (wake the waiting batch), and what the second prints before
// the process ends. Both run on the watcher's thread; empty functions do nothing.
void SetHandlers(std::function<void()> first, std::function<std::string()> lastWords);

// The first signal taken: 0 none yet, else its number (SIGINT 2, SIGTERM 15).
int Taken();

// The exit status for the first signal taken: 128 + its number.
int ExitStatus();

}   // namespace CliInterrupt
