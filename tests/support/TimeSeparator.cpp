#include "support/TimeSeparator.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>

ScopedPointTimeSeparator::ScopedPointTimeSeparator() {
  wchar_t saved[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, saved, 8) < 1) {
    fFailure = "GetLocaleInfoW(LOCALE_STIME) failed";
    return;
  }
  fSaved = saved;
  if (!SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, L".")) fFailure = "SetLocaleInfoW(LOCALE_STIME) failed";
}

ScopedPointTimeSeparator::~ScopedPointTimeSeparator() {
  if (fSaved) SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, fSaved->c_str());
}

#else
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Only the time category; localedef builds it in milliseconds without a character map.
constexpr char kLocaleSource[] = R"(comment_char %
escape_char /
LC_CTYPE
copy "POSIX"
END LC_CTYPE
LC_TIME
abday "Su";"Mo";"Tu";"We";"Th";"Fr";"Sa"
day "Sunday";"Monday";"Tuesday";"Wednesday";"Thursday";"Friday";"Saturday"
abmon "Jan";"Feb";"Mar";"Apr";"May";"Jun";"Jul";"Aug";"Sep";"Oct";"Nov";"Dec"
mon "January";"February";"March";"April";"May";"June";"July";"August";"September";"October";"November";"December"
am_pm "";""
d_t_fmt "%d.%m.%Y %H.%M.%S"
d_fmt "%d.%m.%Y"
t_fmt "%H.%M.%S"
t_fmt_ampm ""
END LC_TIME
)";

// Built once per test program.
std::string LocaleFolder(std::string& aFailure) {
  static std::string folder;
  static std::string failure;
  // Removed when the program ends.
  static struct Remover {
    std::filesystem::path fRoot;
    ~Remover() {
      std::error_code ignored;
      if (!fRoot.empty()) std::filesystem::remove_all(fRoot, ignored);
    }
  } remover;
  if (folder.empty() && failure.empty()) {
    const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                       ("velo_locale_" + std::to_string(getpid()));
    std::filesystem::create_directories(root);
    remover.fRoot = root;
    std::ofstream(root / "point.src") << kLocaleSource;
    const std::string command = "localedef -c -i '" + (root / "point.src").string() + "' '" +
                                (root / "velo_POINT").string() + "' >/dev/null 2>&1";
    [[maybe_unused]] const int rc = std::system(command.c_str());  // 1: warnings about the categories left out
    if (std::filesystem::exists(root / "velo_POINT" / "LC_TIME")) {
      folder = root.string();
    } else {
      failure = "localedef could not build a locale";
    }
  }
  aFailure = failure;
  return folder;
}

}  // namespace

ScopedPointTimeSeparator::ScopedPointTimeSeparator() {
  const std::string folder = LocaleFolder(fFailure);
  if (folder.empty()) return;
#if defined(__SANITIZE_ADDRESS__)
  // With LOCPATH set, the C library's newlocale loses its copy of the path list on every
  // call; that is not the library's leak.
  __lsan_disable();
#endif
  fAll.emplace("LC_ALL", std::nullopt);
  fLocPath.emplace("LOCPATH", folder);
  fTime.emplace("LC_TIME", "velo_POINT");
}

ScopedPointTimeSeparator::~ScopedPointTimeSeparator() {
#if defined(__SANITIZE_ADDRESS__)
  if (fTime) __lsan_enable();
#endif
}

#endif
