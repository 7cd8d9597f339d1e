#pragma once
// Where a write's passwords come from without showing in the process list: the first line
// of a file, of standard input ("-"), or typed at the terminal without echo.

#include <string>

// The first line of `path` ("-": standard input), without its line end. A terminal on
// standard input is asked with `prompt` and does not echo. Reads a bounded amount
// whatever the file is. False with `error` set ("cannot read the password file F: why").
bool ReadSecretLine(const std::string& path, const std::string& prompt, std::string& secret, std::string& error);

// Asks on the terminal of standard input, echo off; false when standard input is no terminal.
bool PromptSecret(const std::string& prompt, std::string& secret);

bool StandardInputIsTerminal();
