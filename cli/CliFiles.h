#pragma once
// The files the command line writes besides the out file (backups of --out).

#include <string>

// The whole file or nothing: a backup is never left half written under its name. False
// with `error` set to the system's reason.
bool WriteFileWhole(const std::string& path, const std::string& bytes, std::string& error);
