#pragma once
// Files that may hold secrets (the copy of the last document sent carries both passwords):
// readable by their owner only, and never half written under their name.

#include <string>

// Writes `bytes` to `path` as a whole: into a new file in the same folder, readable and
// writable by the owner only, then renamed over `path`. Whatever `path` was before (a
// file, or a link planted under its name) is replaced; a link's target is never written.
// On failure `path` is left as it was, nothing of the new file stays, and `error` (when
// given) says "cannot write <path>: <the system's reason>".
bool SaveFilePrivately(const std::string& path, const std::string& bytes, std::string* error);
