#pragma once
// A store of named settings whose values may be of any type.
#include <any>
#include <string>
#include <string_view>
#include <vector>

class tMx_SetupEntry {
 public:
  tMx_SetupEntry(std::string aName, std::any aValue)
      : fName(std::move(aName)), fValue(std::move(aValue)) {}

  const std::string& Name() const { return fName; }
  const std::any& Value() const { return fValue; }
  void SetValue(std::any aValue) { fValue = std::move(aValue); }

 private:
  std::string fName;  // as first given
  std::any fValue;    // may be empty
};

class tMx_Setup {
 public:
  // Replaces the value of the setting with this name (compared without regard to case),
  // or appends a new setting under aName as written.
  void SetValue(std::string_view aName, std::any aValue);
  // The setting's value; the empty value when there is no such setting.
  std::any GetValue(std::string_view aName) const;
  // The setting exists afterwards, with the empty value (an existing value is dropped).
  void Define(std::string_view aName);

  // The settings in the order they were first set.
  const std::vector<tMx_SetupEntry>& Entries() const { return fList; }

 private:
  tMx_SetupEntry* FindEntry(std::string_view aName);
  const tMx_SetupEntry* FindEntry(std::string_view aName) const;

  std::vector<tMx_SetupEntry> fList;
};
