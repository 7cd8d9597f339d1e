#include "CliFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

bool WriteFileWhole(const std::string& target, const std::string& bytes, std::string& error)
{
    const std::filesystem::path path(target);
    std::filesystem::path temporary = path;
    temporary += ".part";
    errno = 0;
    std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    const int reason = errno;
    written = std::fclose(file) == 0 && written;
    std::error_code failed;
    if (written) {
        std::filesystem::rename(temporary, path, failed);
        if (!failed) return true;
        error = failed.message();
    } else {
        error = std::strerror(reason != 0 ? reason : errno);
    }
    std::filesystem::remove(temporary, failed);
    return false;
}
