#pragma once
// libgit2, loaded when the configuration history is first opened rather than when the
// program starts: the library and what it pulls in (TLS, SSH and Kerberos libraries) cost a
// program that never opens its history a good part of its start. The functions the
// repository code calls are reached through one table, filled once for the whole process
// (on Windows, where libgit2 is linked as before, with the linked functions).

#include <git2.h>

#include <string>

#define KORVANE_GIT_FUNCTIONS(X)                                                                                       \
    X(blob_free)                                                                                                       \
    X(blob_lookup)                                                                                                     \
    X(blob_rawcontent)                                                                                                 \
    X(blob_rawsize)                                                                                                    \
    X(commit_create)                                                                                                   \
    X(commit_free)                                                                                                     \
    X(commit_id)                                                                                                       \
    X(commit_lookup)                                                                                                   \
    X(commit_message)                                                                                                  \
    X(commit_parent)                                                                                                   \
    X(commit_parentcount)                                                                                              \
    X(commit_time)                                                                                                     \
    X(commit_time_offset)                                                                                              \
    X(commit_tree)                                                                                                     \
    X(error_last)                                                                                                      \
    X(index_add_bypath)                                                                                                \
    X(index_clear)                                                                                                     \
    X(index_free)                                                                                                      \
    X(index_read)                                                                                                      \
    X(index_read_tree)                                                                                                 \
    X(index_write)                                                                                                     \
    X(index_write_tree)                                                                                                \
    X(libgit2_init)                                                                                                    \
    X(libgit2_shutdown)                                                                                                \
    X(object_free)                                                                                                     \
    X(object_type)                                                                                                     \
    X(oid_cpy)                                                                                                         \
    X(oid_equal)                                                                                                       \
    X(oid_tostr)                                                                                                       \
    X(reference_name_to_id)                                                                                            \
    X(repository_free)                                                                                                 \
    X(repository_index)                                                                                                \
    X(repository_init)                                                                                                 \
    X(repository_is_bare)                                                                                              \
    X(repository_open_ext)                                                                                             \
    X(repository_workdir)                                                                                              \
    X(revparse_single)                                                                                                 \
    X(revwalk_free)                                                                                                    \
    X(revwalk_new)                                                                                                     \
    X(revwalk_next)                                                                                                    \
    X(revwalk_push)                                                                                                    \
    X(revwalk_simplify_first_parent)                                                                                   \
    X(revwalk_sorting)                                                                                                 \
    X(signature_default)                                                                                               \
    X(signature_free)                                                                                                  \
    X(signature_now)                                                                                                   \
    X(tree_entry_byname)                                                                                               \
    X(tree_entry_free)                                                                                                 \
    X(tree_entry_id)                                                                                                   \
    X(tree_entry_type)                                                                                                 \
    X(tree_free)                                                                                                       \
    X(tree_id)                                                                                                         \
    X(tree_lookup)

// Each member is libgit2's function of that name less its "git_" prefix.
struct GitLibrary {
#define KORVANE_GIT_MEMBER(name) decltype(&::git_##name) name = nullptr;
    KORVANE_GIT_FUNCTIONS(KORVANE_GIT_MEMBER)
#undef KORVANE_GIT_MEMBER
};

// The library, loaded on the first call; none when it cannot be loaded or lacks a
// function, with `error` saying why (every later call says the same).
const GitLibrary* LoadGitLibrary(std::string& error);

// The loaded library: only for code that runs after LoadGitLibrary succeeded (on a
// repository that was opened).
const GitLibrary& Git();
