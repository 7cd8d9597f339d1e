#include "OutFile.h"

#include "PrivateFile.h"

std::string SaveOutFile(const std::string& path, const std::string& document)
{
    // The document carries both passwords: private, whole or not at all, and never
    // through a link planted under its name.
    std::string error;
    if (!SaveFilePrivately(path, document, &error)) return error;
    return {};
}
