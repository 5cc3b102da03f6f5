#pragma once
// Environment variables for tests: set or remove one for a scope, then put back what was
// there. On Windows an empty value removes the variable, so tests should not rely on a
// variable that is set but empty.
#include <optional>
#include <string>

void SetEnv(const std::string& aName, const std::string& aValue);
void UnsetEnv(const std::string& aName);

class ScopedEnv {
 public:
  // nullopt removes the variable for the scope.
  ScopedEnv(std::string aName, std::optional<std::string> aValue);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const std::optional<std::string>& aValue);

 private:
  std::string fName;
  std::optional<std::string> fSaved;
};
