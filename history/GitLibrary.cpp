#include "GitLibrary.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

#if !defined(_WIN32) && !defined(KORVANE_GIT_LIBRARY)
#define KORVANE_GIT_LIBRARY "libgit2.so"
#endif

namespace {

struct Loaded {
    GitLibrary library;
    bool ok = false;
    std::string error;
};

#ifdef _WIN32
// Linked as usual on Windows: the table holds the functions themselves.
Loaded Load()
{
    Loaded loaded;
#define KORVANE_GIT_TAKE(name) loaded.library.name = &::git_##name;
    KORVANE_GIT_FUNCTIONS(KORVANE_GIT_TAKE)
#undef KORVANE_GIT_TAKE
    loaded.ok = true;
    return loaded;
}
#else
Loaded Load()
{
    Loaded loaded;
    const std::string file = KORVANE_GIT_LIBRARY;
    // Never unloaded: the table's functions stay valid for the whole process.
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        loaded.error = "cannot load " + file + (why ? std::string(": ") + why : std::string());
        return loaded;
    }
#define KORVANE_GIT_RESOLVE(name)                                                                                      \
    loaded.library.name = reinterpret_cast<decltype(&::git_##name)>(dlsym(handle, "git_" #name));                      \
    if (!loaded.library.name) {                                                                                        \
        loaded.error = file + " has no function git_" #name;                                                           \
        return loaded;                                                                                                 \
    }
    KORVANE_GIT_FUNCTIONS(KORVANE_GIT_RESOLVE)
#undef KORVANE_GIT_RESOLVE
    loaded.ok = true;
    return loaded;
}
#endif

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
