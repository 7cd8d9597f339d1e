#pragma once
// Runs one korvane-cli command for every encoder it names, over the exchange engine,
// and turns each encoder's results into an EncoderReport. Every step of an encoder
// (a write's read, write and read-back; the alarms' read and status) is one engine
// exchange; the engine runs up to --parallel of them at once.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CliArguments.h"
#include "EncoderRecord.h"

struct CliRunSetup {
    CliArguments arguments;
    std::vector<uint32_t> addresses;     // the encoders, in the order given
    uint32_t broadcast = 0;              // search
    std::string settingsText;            // write: the settings file's bytes
    std::string password, newPassword;   // write
    bool progress = false;               // standard error is a terminal
};

struct EngineOptions;
// The engine's ports, waits, wait mode and in-flight limit as the options give them.
EngineOptions MakeEngineOptions(const CliArguments& arguments);

// Exchanges in flight at once: --parallel, or for monitor by default the most allowed,
// so that a fleet's fixed-wait polls fit in one interval.
int ParallelOf(const CliArguments& arguments);

// Runs the command; returns the exit status (0 every encoder succeeded, 1 any failed).
int RunCliCommand(const CliRunSetup& setup);

// Reads every encoder as `read --out` does and keeps, for each encoder in the order given,
// the document `read --out` would write (empty when its read failed). The exit status.
int ReadDocuments(const CliRunSetup& setup, std::vector<std::optional<std::string>>& documents);
