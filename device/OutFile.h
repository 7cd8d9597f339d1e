#pragma once
// The out file: a copy of the last settings document sent to an encoder, kept for the
// operator before the encoder is contacted.

#include <string>

// Replaces `path` with `document`; empty on success, otherwise a warning naming the file
// and the system's reason.
std::string SaveOutFile(const std::string& path, const std::string& document);
