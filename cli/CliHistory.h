#pragma once
// The command line's configuration history: backup (a read of every encoder committed to
// a git repository), history (an encoder's versions) and diff (two settings files field by
// field), over the history layer.

#include <cstdint>
#include <string>

#include "CliArguments.h"

struct CliRunSetup;

// Reads every encoder of `setup`, then commits the documents read; the exit status.
int RunBackup(const CliRunSetup& setup);

// Lists the versions of the encoder at `address`; the exit status.
int RunHistory(const CliArguments& arguments, uint32_t address);

// Compares two settings files: 0 equal, 1 different, 2 a file is not a settings document.
int RunDiff(const CliArguments& arguments);
