// Named kernel objects: the process-local name map and the machine-wide
// marks of "Global\" names.
//
// The machine-wide mark of a name is a lock file in the runtime directory,
// "global-<name>.lock". Every process that holds an object of that name keeps
// a shared flock() on it, and the kernel drops it when the process ends,
// however it ends. A process creating the name asks whether anyone else holds
// it by trying an exclusive lock without blocking, then turns its lock into a
// shared one. flock() does not convert a lock atomically, so that test and
// conversion happen under a second, exclusive gate lock
// ("global-names.gate") that every creator takes first; no one can slip in
// between. Lock files are never removed: removing a file others may have
// open is what makes flock()-with-unlink schemes racy, and they are empty.

#include "linux/internal/named_objects.h"

#include "linux/internal/lock_file_name.h"
#include "linux/internal/private_files.h"

#include "platform/runtime.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::string_view kGlobalPrefix = "Global\\";

// A descriptor closed on destruction.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

int openLockFile(const std::string& path)
{
    return openPrivateFile(path, O_RDWR | O_CREAT);
}

int lockRetryingEintr(int fd, int operation)
{
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

// This process's share of the machine-wide mark of one "Global\" name.
class GlobalMark {
public:
    // Takes a share of the mark; `heldElsewhere` tells whether another
    // process held it already. Null (last error set) when the runtime
    // directory or the lock file cannot be used.
    static std::unique_ptr<GlobalMark> claim(std::string_view name, bool& heldElsewhere)
    {
        const std::string directory = runtimeDirectory();
        if (directory.empty())
            return nullptr;  // refused; the last error is 5
        FileDescriptor gate(openLockFile(directory + "/global-names.gate"));
        if (gate.get() < 0 || lockRetryingEintr(gate.get(), LOCK_EX) != 0) {
            setLastErrorFromErrno();
            return nullptr;
        }
        const std::string file = directory + "/" + globalLockFileName(name);
        auto mark = std::unique_ptr<GlobalMark>(new GlobalMark(openLockFile(file)));
        if (mark->m_fd.get() < 0) {
            setLastErrorFromErrno();
            return nullptr;
        }
        // Under the gate the only locks on the mark are other holders'
        // shared ones, so the exclusive test answers exactly "held elsewhere"
        // and the shared lock never waits.
        if (lockRetryingEintr(mark->m_fd.get(), LOCK_EX | LOCK_NB) == 0) {
            heldElsewhere = false;
        } else if (errno == EWOULDBLOCK) {
            heldElsewhere = true;
        } else {
            setLastErrorFromErrno();
            return nullptr;
        }
        if (lockRetryingEintr(mark->m_fd.get(), LOCK_SH) != 0) {
            setLastErrorFromErrno();
            return nullptr;
        }
        return mark;
    }  // the gate is unlocked and closed here

private:
    explicit GlobalMark(int fd) : m_fd(fd) {}
    FileDescriptor m_fd;  // closing it gives up the shared lock
};

struct NameEntry {
    std::weak_ptr<KernelObject> object;
    std::uint64_t generation = 0;  // tells this entry from a later one of the same name
    std::unique_ptr<GlobalMark> mark;
};

struct NameMap {
    std::mutex mutex;
    std::map<std::string, NameEntry> entries;
    std::uint64_t nextGeneration = 1;
};

NameMap& names()
{
    static NameMap* const instance = new NameMap;  // never destroyed, like the handle table
    return *instance;
}

// Held by a named object: frees its name (and the machine-wide mark) when
// the object is destroyed. The generation check leaves alone an entry that
// a later object of the same name has taken over meanwhile.
class NameClaim final : public ObjectAttachment {
public:
    NameClaim(std::string name, std::uint64_t generation) : m_name(std::move(name)), m_generation(generation) {}
    ~NameClaim() override
    {
        NameMap& map = names();
        std::lock_guard lock(map.mutex);
        const auto found = map.entries.find(m_name);
        if (found != map.entries.end() && found->second.generation == m_generation)
            map.entries.erase(found);
    }

private:
    std::string m_name;
    std::uint64_t m_generation;
};

HANDLE createUnnamed(const ObjectFactory& create)
{
    const HANDLE handle = makeHandle(create());
    if (handle != nullptr)
        SetLastError(ERROR_SUCCESS);
    return handle;
}

}  // namespace

HANDLE createNamedObject(const char* name, KindCheck isKind, const ObjectFactory& create)
{
    if (name == nullptr || *name == '\0')
        return createUnnamed(create);

    // Declared before the lock, so that if this is the last reference to a
    // dying object, its NameClaim runs after the lock is released.
    std::shared_ptr<KernelObject> object;
    NameMap& map = names();
    std::lock_guard lock(map.mutex);

    const auto found = map.entries.find(name);
    if (found != map.entries.end()) {
        object = found->second.object.lock();
        if (object != nullptr) {
            if (!isKind(*object)) {
                SetLastError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            const HANDLE handle = makeHandle(object);
            SetLastError(ERROR_ALREADY_EXISTS);
            return handle;
        }
        // The object is being destroyed and its claim has not run yet: the
        // name is free. Dropping the entry gives up its mark too.
        map.entries.erase(found);
    }

    bool heldElsewhere = false;
    std::unique_ptr<GlobalMark> mark;
    const std::string_view view(name);
    if (view.starts_with(kGlobalPrefix)) {
        mark = GlobalMark::claim(view.substr(kGlobalPrefix.size()), heldElsewhere);
        if (mark == nullptr)
            return nullptr;
    }

    const std::uint64_t generation = map.nextGeneration++;
    object = create();
    object->attach(std::make_unique<NameClaim>(name, generation));
    map.entries[name] = NameEntry{object, generation, std::move(mark)};
    const HANDLE handle = makeHandle(object);
    SetLastError(heldElsewhere ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE openNamedObject(const char* name, KindCheck isKind)
{
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<KernelObject> object;  // outside the lock, as above
    NameMap& map = names();
    std::lock_guard lock(map.mutex);
    const auto found = map.entries.find(name);
    if (found != map.entries.end())
        object = found->second.object.lock();
    if (object == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (!isKind(*object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return makeHandle(object);
}

}  // namespace platform
