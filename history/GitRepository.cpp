#include "GitRepository.h"

#include "GitLibrary.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// Each libgit2 object freed by its own function when its owner goes.
template <class T, void (*GitLibrary::*Free)(T*)>
struct Freer {
    void operator()(T* object) const { (Git().*Free)(object); }
};
template <class T, void (*GitLibrary::*Free)(T*)>
using Owned = std::unique_ptr<T, Freer<T, Free>>;

using OwnedCommit = Owned<git_commit, &GitLibrary::commit_free>;
using Tree = Owned<git_tree, &GitLibrary::tree_free>;
using TreeEntry = Owned<git_tree_entry, &GitLibrary::tree_entry_free>;
using Blob = Owned<git_blob, &GitLibrary::blob_free>;
using Index = Owned<git_index, &GitLibrary::index_free>;
using Signature = Owned<git_signature, &GitLibrary::signature_free>;
using Walk = Owned<git_revwalk, &GitLibrary::revwalk_free>;
using Object = Owned<git_object, &GitLibrary::object_free>;

std::string LastError(const char* what)
{
    const git_error* error = Git().error_last();
    return std::string(what) + ": " + (error && error->message ? error->message : "unknown error");
}

std::string IdText(const git_oid& id)
{
    char text[GIT_OID_HEXSZ + 1] = {};
    Git().oid_tostr(text, sizeof text, &id);
    return text;
}

OwnedCommit HeadCommit(git_repository* repository)
{
    git_oid id;
    git_commit* commit = nullptr;
    if (Git().reference_name_to_id(&id, repository, "HEAD") != 0 ||
        Git().commit_lookup(&commit, repository, &id) != 0) {
        return OwnedCommit();
    }
    return OwnedCommit(commit);
}

Tree TreeOf(const git_commit* commit)
{
    git_tree* tree = nullptr;
    if (!commit || Git().commit_tree(&tree, commit) != 0) {
        return Tree();
    }
    return Tree(tree);
}

// The id of the blob `name` names in `tree`; false when the tree has no such file.
bool FileId(const git_tree* tree, const std::string& name, git_oid& id)
{
    if (!tree) {
        return false;
    }
    const git_tree_entry* entry = Git().tree_entry_byname(tree, name.c_str());
    if (!entry || Git().tree_entry_type(entry) != GIT_OBJECT_BLOB) {
        return false;
    }
    Git().oid_cpy(&id, Git().tree_entry_id(entry));
    return true;
}

std::optional<std::string> BlobBytes(git_repository* repository, const git_oid& id)
{
    git_blob* found = nullptr;
    if (Git().blob_lookup(&found, repository, &id) != 0) {
        return std::nullopt;
    }
    Blob blob(found);
    const auto* bytes = static_cast<const char*>(Git().blob_rawcontent(blob.get()));
    return std::string(bytes, static_cast<size_t>(Git().blob_rawsize(blob.get())));
}

std::optional<std::string> FileIn(git_repository* repository, const git_tree* tree, const std::string& name)
{
    git_oid id;
    if (!FileId(tree, name, id)) {
        return std::nullopt;
    }
    return BlobBytes(repository, id);
}

GitCommitInfo InfoOf(const git_commit* commit)
{
    GitCommitInfo info;
    info.id = IdText(*Git().commit_id(commit));
    info.shortId = info.id.substr(0, 7);
    info.time = static_cast<int64_t>(Git().commit_time(commit));
    info.offsetMinutes = Git().commit_time_offset(commit);
    const char* message = Git().commit_message(commit);
    info.message = message ? message : "";
    return info;
}

// Who the commits are by: the user's git identity where there is one, else the tool.
Signature Author(git_repository* repository)
{
    git_signature* signature = nullptr;
    if (Git().signature_default(&signature, repository) == 0) {
        return Signature(signature);
    }
    if (Git().signature_now(&signature, "Korvane configuration history", "korvane@localhost") == 0) {
        return Signature(signature);
    }
    return Signature();
}

}   // namespace

bool IsPlainFileName(const std::string& name)
{
    return !name.empty() && name[0] != '.' && name.find_first_of("/\\:") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

GitRepository::GitRepository(git_repository* repository, std::string folder)
    : m_repository(repository), m_folder(std::move(folder))
{}

GitRepository::~GitRepository()
{
    Git().repository_free(m_repository);
    Git().libgit2_shutdown();
}

std::unique_ptr<GitRepository> GitRepository::Open(const std::string& folder, bool create, std::string& error)
{
    if (!LoadGitLibrary(error)) return nullptr;
    Git().libgit2_init();
    git_repository* repository = nullptr;
    // Only the folder itself: a history folder inside another repository is not that one.
    int opened = Git().repository_open_ext(&repository, folder.c_str(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr);
    if (opened == GIT_ENOTFOUND && create) {
        std::error_code made;
        std::filesystem::create_directories(folder, made);
        opened = Git().repository_init(&repository, folder.c_str(), 0);
    }
    if (opened != 0) {
        error = opened == GIT_ENOTFOUND ? folder + ": not a history repository"
                                        : LastError(("cannot open " + folder).c_str());
        Git().libgit2_shutdown();
        return nullptr;
    }
    if (Git().repository_is_bare(repository)) {
        error = folder + ": a bare repository has no folder to keep the files in";
        Git().repository_free(repository);
        Git().libgit2_shutdown();
        return nullptr;
    }
    const char* workdir = Git().repository_workdir(repository);
    return std::unique_ptr<GitRepository>(new GitRepository(repository, workdir ? workdir : folder));
}

std::optional<std::string> GitRepository::LastCommitted(const std::string& name) const
{
    OwnedCommit head = HeadCommit(m_repository);
    Tree tree = TreeOf(head.get());
    return FileIn(m_repository, tree.get(), name);
}

std::optional<std::string> GitRepository::FileAt(const std::string& id, const std::string& name) const
{
    git_object* found = nullptr;
    if (Git().revparse_single(&found, m_repository, id.c_str()) != 0) {
        return std::nullopt;
    }
    Object object(found);
    if (Git().object_type(object.get()) != GIT_OBJECT_COMMIT) {
        return std::nullopt;
    }
    Tree tree = TreeOf(reinterpret_cast<const git_commit*>(object.get()));
    return FileIn(m_repository, tree.get(), name);
}

// The whole file or nothing: a file is never left half written under its name.
bool GitRepository::WriteWorkingFile(const GitFile& file, std::string& error) const
{
    const std::filesystem::path path = std::filesystem::path(m_folder) / file.name;
    std::filesystem::path temporary = path;
    temporary += ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size())) || !out.flush()) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            error = "cannot write " + path.string();
            return false;
        }
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, path, renamed);
    if (renamed) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        error = "cannot write " + path.string() + ": " + renamed.message();
        return false;
    }
    return true;
}

bool GitRepository::Commit(const std::vector<GitFile>& files, const std::string& message, std::string& id,
                           std::string& error)
{
    id.clear();
    for (const GitFile& file : files) {
        if (!IsPlainFileName(file.name)) {
            error = "not a plain file name: " + file.name;
            return false;
        }
    }
    git_index* openedIndex = nullptr;
    if (Git().repository_index(&openedIndex, m_repository) != 0) {
        error = LastError("cannot open the index");
        return false;
    }
    Index index(openedIndex);
    if (Git().index_read(index.get(), 1) != 0) {
        error = LastError("cannot read the index");
        return false;
    }
    OwnedCommit head = HeadCommit(m_repository);
    Tree headTree = TreeOf(head.get());
    // The index starts from the newest commit, so that only these files can make a change.
    if (headTree ? Git().index_read_tree(index.get(), headTree.get()) != 0 : Git().index_clear(index.get()) != 0) {
        error = LastError("cannot read the newest commit");
        return false;
    }
    for (const GitFile& file : files) {
        if (!WriteWorkingFile(file, error)) {
            return false;
        }
        if (Git().index_add_bypath(index.get(), file.name.c_str()) != 0) {
            error = LastError(("cannot add " + file.name).c_str());
            return false;
        }
    }
    git_oid treeId;
    if (Git().index_write_tree(&treeId, index.get()) != 0) {
        error = LastError("cannot write the tree");
        return false;
    }
    const bool unchanged = headTree && Git().oid_equal(&treeId, Git().tree_id(headTree.get()));
    if (!unchanged) {
        git_tree* found = nullptr;
        if (Git().tree_lookup(&found, m_repository, &treeId) != 0) {
            error = LastError("cannot read the tree");
            return false;
        }
        Tree tree(found);
        Signature signature = Author(m_repository);
        if (!signature) {
            error = LastError("cannot sign the commit");
            return false;
        }
        const git_commit* parents[] = {head.get()};
        git_oid commitId;
        if (Git().commit_create(&commitId, m_repository, "HEAD", signature.get(), signature.get(), nullptr,
                                message.c_str(), tree.get(), head ? 1 : 0, parents) != 0) {
            error = LastError("cannot commit");
            return false;
        }
        id = IdText(commitId);
    }
    if (Git().index_write(index.get()) != 0) {
        error = LastError("cannot write the index");
        return false;
    }
    return true;
}

bool GitRepository::VersionsOf(const std::string& name, std::vector<GitFileVersion>& versions, std::string& error) const
{
    versions.clear();
    OwnedCommit head = HeadCommit(m_repository);
    if (!head) {
        return true;   // no commit yet
    }
    git_revwalk* started = nullptr;
    if (Git().revwalk_new(&started, m_repository) != 0) {
        error = LastError("cannot walk the history");
        return false;
    }
    Walk walk(started);
    Git().revwalk_sorting(walk.get(), GIT_SORT_TOPOLOGICAL | GIT_SORT_TIME);
    Git().revwalk_simplify_first_parent(walk.get());
    if (Git().revwalk_push(walk.get(), Git().commit_id(head.get())) != 0) {
        error = LastError("cannot walk the history");
        return false;
    }
    git_oid id;
    while (Git().revwalk_next(&id, walk.get()) == 0) {
        git_commit* found = nullptr;
        if (Git().commit_lookup(&found, m_repository, &id) != 0) {
            error = LastError("cannot read a commit");
            return false;
        }
        OwnedCommit commit(found);
        Tree tree = TreeOf(commit.get());
        git_oid afterId;
        if (!FileId(tree.get(), name, afterId)) {
            continue;   // not there (yet, or any more)
        }
        git_commit* parent = nullptr;
        OwnedCommit parentCommit(
            Git().commit_parentcount(commit.get()) > 0 && Git().commit_parent(&parent, commit.get(), 0) == 0 ? parent
                                                                                                             : nullptr);
        Tree parentTree = TreeOf(parentCommit.get());
        git_oid beforeId;
        const bool existed = FileId(parentTree.get(), name, beforeId);
        if (existed && Git().oid_equal(&beforeId, &afterId)) {
            continue;
        }
        std::optional<std::string> after = BlobBytes(m_repository, afterId);
        if (!after) {
            error = LastError(("cannot read " + name).c_str());
            return false;
        }
        GitFileVersion version;
        version.commit = InfoOf(commit.get());
        version.after = std::move(*after);
        if (existed) {
            version.before = BlobBytes(m_repository, beforeId);
        }
        versions.push_back(std::move(version));
    }
    return true;
}
