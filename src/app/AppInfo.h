#pragma once
// The application's description, copyright, current version and release date with the
// full version history, read from the library's own string table.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/DateTime.h"

// One string of a string table by id; empty when the table has none.
using tMx_StringLookup = std::function<std::string(uint32_t aId)>;

// aDate in the short date format of the process's regional settings.
std::string ShortDateText(TDateTime aDate);

class tMx_ApplicationHistory {
 public:
  explicit tMx_ApplicationHistory(std::string aVersion) : fVersion(std::move(aVersion)) {}

  const std::string& Version() const { return fVersion; }
  TDateTime ReleaseDate() const { return fReleaseDate; }
  const std::string& Author() const { return fAuthor; }
  // Change notes, in table order.
  const std::vector<std::string>& Text() const { return fText; }

 private:
  friend class tMx_ApplicationInfo;

  std::string fVersion;
  TDateTime fReleaseDate = 0;
  std::string fAuthor;
  std::vector<std::string> fText;
};

class tMx_ApplicationInfo {
 public:
  static constexpr uint32_t kFirstId = 10000;
  // Reading stops after this many consecutive missing ids.
  static constexpr int kMissingIdsToStop = 11;
  // Longer strings are cut to this many characters.
  static constexpr size_t kMaxStringLength = 1024;

  // Reads the library's string table. Raises EMxError "Invalid argument to date encode"
  // for a release date that is no valid date.
  void Load();
  // Reads the strings that aLookup gives, from kFirstId upward, "key=value" each.
  void Load(const tMx_StringLookup& aLookup);

  const std::string& Description() const { return fDescription; }
  const std::string& Copyright() const { return fCopyright; }
  // The last version entry read, and the last release date.
  const std::string& Version() const { return fVersion; }
  TDateTime ReleaseDate() const { return fReleaseDate; }
  // "[" + Version + " - " + ReleaseDate in the short date format + "]".
  std::string VersionString() const;
  // One entry per version, in table order.
  const std::vector<tMx_ApplicationHistory>& History() const { return fHistory; }

 private:
  std::string fDescription;
  std::string fCopyright;
  std::string fVersion;
  TDateTime fReleaseDate = 0;
  std::vector<tMx_ApplicationHistory> fHistory;
};

// The application object's information (built on first use), for code that needs no
// more of the application object than its version.
const tMx_ApplicationInfo& ApplicationInfo();
