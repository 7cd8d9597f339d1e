#include "GitLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#ifndef KORVANE_GIT_LIBRARY
#ifdef _WIN32
#define KORVANE_GIT_LIBRARY "libgit2.dll"
#else
#define KORVANE_GIT_LIBRARY "libgit2.so"
#endif
#endif

namespace {

struct Loaded {
    GitLibrary library;
    bool ok = false;
    std::string error;
};

Loaded Load()
{
    Loaded loaded;
    const std::string file = KORVANE_GIT_LIBRARY;
#ifdef _WIN32
    HMODULE handle = LoadLibraryA(file.c_str());
    auto symbol = [&](const char* function) {
        return handle ? reinterpret_cast<void*>(GetProcAddress(handle, function)) : nullptr;
    };
    if (!handle) {
        loaded.error = "cannot load " + file;
        return loaded;
    }
#else
    // Never unloaded: the table's functions stay valid for the whole process.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto symbol = [&](const char* function) { return handle ? dlsym(handle, function) : nullptr; };
    if (!handle) {
        const char* why = dlerror();
        loaded.error = "cannot load " + file + (why ? std::string(": ") + why : std::string());
        return loaded;
    }
#endif
#define KORVANE_GIT_RESOLVE(name)                                                                                      \
    loaded.library.name = reinterpret_cast<decltype(&::git_##name)>(symbol("git_" #name));                             \
    if (!loaded.library.name) {                                                                                        \
        loaded.error = file + " has no function git_" #name;                                                           \
        return loaded;                                                                                                 \
    }
    KORVANE_GIT_FUNCTIONS(KORVANE_GIT_RESOLVE)
#undef KORVANE_GIT_RESOLVE
    loaded.ok = true;
    return loaded;
}

const Loaded& Library()
{
    static const Loaded loaded = Load();
    return loaded;
}

}   // namespace

const GitLibrary* LoadGitLibrary(std::string& error)
{
    const Loaded& loaded = Library();
    if (!loaded.ok) {
        error = loaded.error;
        return nullptr;
    }
    return &loaded.library;
}

const GitLibrary& Git()
{
    return Library().library;
}
