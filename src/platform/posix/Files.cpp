#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Platform.h"

namespace platform {

bool IsPathDelimiter(char aChar) { return aChar == '/'; }

bool IsAbsolutePath(std::string_view aPath) { return !aPath.empty() && aPath.front() == '/'; }

bool HasInvalidPathChars(std::string_view aPath) {
  return aPath.find('\0') != std::string_view::npos;
}

static bool IsDirectory(const std::string& aPath) {
  struct stat st {};
  return stat(aPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& aPath) {
  if (aPath.empty() || HasInvalidPathChars(aPath)) return false;
  std::string path = aPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (IsDirectory(path)) return true;
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!ForceDirectories(path.substr(0, slash))) return false;
  }
  // Another process may create it between the check and here.
  return mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && IsDirectory(path));
}

bool FileExists(const std::string& aPath) {
  struct stat st {};
  return !HasInvalidPathChars(aPath) && stat(aPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int64_t FileSizeOf(const std::string& aPath) {
  struct stat st {};
  if (HasInvalidPathChars(aPath) || stat(aPath.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

// rename() would silently replace an existing target; a rotated log that already carries
// the target's name must never be lost, so the move fails instead.
bool MoveFileTo(const std::string& aFrom, const std::string& aTo) {
  if (HasInvalidPathChars(aFrom) || HasInvalidPathChars(aTo)) return false;
  if (renameat2(AT_FDCWD, aFrom.c_str(), AT_FDCWD, aTo.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: a hard link cannot replace either.
  if (link(aFrom.c_str(), aTo.c_str()) == 0) {
    if (unlink(aFrom.c_str()) == 0) return true;
    unlink(aTo.c_str());
    return false;
  }
  return false;
}

bool AppendToFileShared(const std::string& aPath, std::string_view aData) {
  SharedAppendFile file;
  return file.Open(aPath) && file.Append(aData);
}

bool SharedAppendFile::Open(const std::string& aPath) {
  Close();
  if (aPath.empty() || HasInvalidPathChars(aPath)) return false;
  // Another writer may move the file aside between our open and our lock; then the lock
  // holds the moved file and the path names a new one, so open again.
  for (int round = 0; round < 3; ++round) {
    int fd;
    do {
      fd = open(aPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    int locked;
    do {
      locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      close(fd);
      return false;
    }
    struct stat held {}, named {};
    if (fstat(fd, &held) == 0 && stat(aPath.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      fHandle = fd;
      return true;
    }
    close(fd);
  }
  return false;
}

bool SharedAppendFile::Append(std::string_view aData) {
  if (fHandle == -1) return false;
  const int fd = static_cast<int>(fHandle);
  size_t done = 0;
  while (done < aData.size()) {
    const ssize_t n = write(fd, aData.data() + done, aData.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // A full disk can cut a line; take the cut part back so that a retry does not leave
      // a fragment in front of the whole line. The lock keeps other writers out meanwhile.
      if (done > 0) {
        const off_t end = lseek(fd, 0, SEEK_CUR);
        if (end >= static_cast<off_t>(done) && ftruncate(fd, end - static_cast<off_t>(done)) != 0) {
          // Nothing more can be done; the fragment stays.
        }
      }
      return false;
    }
  }
  return true;
}

void SharedAppendFile::Close() {
  if (fHandle == -1) return;
  close(static_cast<int>(fHandle));  // releases the lock
  fHandle = -1;
}

}  // namespace platform
