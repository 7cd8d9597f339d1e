#include "OutFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string SaveOutFile(const std::string& path, const std::string& document)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return "cannot write " + path + ": " + std::strerror(errno);
    }
    bool written = std::fwrite(document.data(), 1, document.size(), file) == document.size();
    int error = errno;
    written = std::fclose(file) == 0 && written;
    if (!written) {
        return "cannot write " + path + ": " + std::strerror(error != 0 ? error : errno);
    }
    return {};
}
