#include "PrivateFile.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <random>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string Folder(const std::string& path)
{
#ifdef _WIN32
    const size_t slash = path.find_last_of("/\\");
#else
    const size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A name no other writer in the folder picks: concurrent savers each have their own.
std::string TemporaryName(const std::string& path)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const char* digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = Folder(path) + ".korvane-";
    for (int i = 0; i < 12; ++i) {
        name += digits[random() % 36];
    }
    return name + ".tmp";
}

bool Fail(const std::string& path, const std::string& reason, std::string* error)
{
    if (error) *error = "cannot write " + path + ": " + reason;
    return false;
}

#ifdef _WIN32

std::string SystemText(DWORD code)
{
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) {
        text[--length] = '\0';
    }
    return length > 0 ? std::string(text, length) : "error " + std::to_string(code);
}

#endif

}   // namespace

#ifdef _WIN32

// The user's profile folders already keep other users out; a new file inherits that.
bool SaveFilePrivately(const std::string& path, const std::string& bytes, std::string* error)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string temporary = TemporaryName(path);
        HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            if (code == ERROR_FILE_EXISTS) continue;
            return Fail(path, SystemText(code), error);
        }
        size_t done = 0;
        DWORD code = 0;
        while (done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
            DWORD written = 0;
            if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
                code = GetLastError();
                break;
            }
            done += written;
        }
        if (code == 0 && !FlushFileBuffers(file)) code = GetLastError();
        CloseHandle(file);
        if (code == 0 &&
            !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            code = GetLastError();
        }
        if (code != 0) {
            DeleteFileA(temporary.c_str());
            return Fail(path, SystemText(code), error);
        }
        return true;
    }
    return Fail(path, "no free temporary name in its folder", error);
}

#else

bool SaveFilePrivately(const std::string& path, const std::string& bytes, std::string* error)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string temporary = TemporaryName(path);
        // O_EXCL never follows a link, and 0600 holds whatever the umask says.
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return Fail(path, std::strerror(errno), error);
        }
        int failure = 0;
        if (fchmod(fd, 0600) != 0) failure = errno;
        size_t done = 0;
        while (failure == 0 && done < bytes.size()) {
            const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
            if (written < 0) {
                if (errno == EINTR) continue;
                failure = errno;
            } else if (written == 0) {
                failure = ENOSPC;
            } else {
                done += static_cast<size_t>(written);
            }
        }
        // No fsync: an engine's loop writes this copy between exchanges, and a flush would
        // hold every exchange in flight on that loop. The space is reserved as the bytes are written, so a
        // full disk shows above or when the file is closed.
        if (close(fd) != 0 && failure == 0 && errno != EINTR) failure = errno;
        // rename replaces a link planted under the name instead of writing through it.
        if (failure == 0 && rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
        if (failure != 0) {
            unlink(temporary.c_str());
            return Fail(path, std::strerror(failure), error);
        }
        return true;
    }
    return Fail(path, "no free temporary name in its folder", error);
}

#endif
