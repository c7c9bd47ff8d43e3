// Files the layer keeps for the user alone: in the runtime directory (locks,
// the names' gate, message numbers) and next to the registry (the COM
// table), and the descriptors other processes of the same user publish
// there.
//
// Nothing here follows a symbolic link, so a link planted where one of our
// files will go cannot make us create, empty or read a file elsewhere; and a
// published file or socket that another user owns is never trusted.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform {

// mkdir -p: every folder it creates gets mode 0700; folders that exist are
// left as they are. False with errno set.
bool makePrivateDirectories(const std::string& path);

// open(2) with O_NOFOLLOW and O_CLOEXEC added, creating with mode 0600 when
// `flags` has O_CREAT. -1 with errno set (ELOOP for a link).
int openPrivateFile(const std::string& path, int flags);

// Opens for reading a file that this user published: a regular file (not a
// link) owned by the calling user. -1 otherwise, with errno set (EPERM for
// another user's file, EINVAL for another kind of file).
int openOwnedFile(const std::string& path);

// Up to `limit` bytes from the start of an open file.
std::string readUpTo(int fd, std::size_t limit);

// The "key=value" lines of a published file that this user owns, in order;
// empty when it is missing, not a regular file, or not ours.
std::vector<std::pair<std::string, std::string>> readOwnedKeyValueFile(const std::string& path);

// True when something is at `path` (not followed) that is not a socket of
// the calling user's: a published socket there must not be trusted. A
// missing one is not foreign; connecting to it fails later.
bool isForeignSocket(const std::string& path);

}  // namespace platform
