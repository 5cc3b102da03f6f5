#pragma once
// A small file system of the test's own, where the machine allows it: a tmpfs mounted on a
// folder (root on Linux). It can be filled up and made read-only.
#include <string>

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace testsupport {

class SmallDisk {
 public:
  // Mounts a tmpfs of aKilobytes on the existing folder aFolder; Why() tells why not.
  SmallDisk(const std::string& aFolder, int aKilobytes) : fFolder(aFolder) {
#ifdef _WIN32
    fWhy = "Windows builds cannot mount a file system";
    (void)aKilobytes;
#else
    const std::string options = "size=" + std::to_string(aKilobytes) + "k,mode=0777";
    if (mount("velo-test", aFolder.c_str(), "tmpfs", 0, options.c_str()) == 0) {
      fMounted = true;
    } else {
      fWhy = std::string("mounting a tmpfs failed: ") + std::strerror(errno) + (geteuid() != 0 ? " (not root)" : "");
    }
#endif
  }
  ~SmallDisk() {
#ifndef _WIN32
    if (fMounted) umount2(fFolder.c_str(), MNT_DETACH);
#endif
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mounted() const { return fMounted; }
  const std::string& Why() const { return fWhy; }

  bool SetReadOnly(bool aReadOnly) {
#ifdef _WIN32
    (void)aReadOnly;
    return false;
#else
    const unsigned long flags = MS_REMOUNT | (aReadOnly ? MS_RDONLY : 0);
    return fMounted && mount("velo-test", fFolder.c_str(), "tmpfs", flags, nullptr) == 0;
#endif
  }

 private:
  std::string fFolder;
  bool fMounted = false;
  std::string fWhy;
};

}  // namespace testsupport
