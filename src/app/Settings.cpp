#include "app/Settings.h"

#include <algorithm>
#include <utility>

#include "core/Text.h"

// Names match without regard to ASCII case: the comparison must not depend on the user's
// locale (a Turkish locale would not match "ID" with "id").
const tMx_SetupEntry* tMx_Setup::FindEntry(std::string_view aName) const {
  auto it = std::find_if(fList.begin(), fList.end(),
                         [aName](const tMx_SetupEntry& e) { return SameText(e.Name(), aName); });
  return it == fList.end() ? nullptr : &*it;
}

tMx_SetupEntry* tMx_Setup::FindEntry(std::string_view aName) {
  return const_cast<tMx_SetupEntry*>(std::as_const(*this).FindEntry(aName));
}

void tMx_Setup::SetValue(std::string_view aName, std::any aValue) {
  if (tMx_SetupEntry* entry = FindEntry(aName)) {
    entry->SetValue(std::move(aValue));
  } else {
    fList.emplace_back(std::string(aName), std::move(aValue));
  }
}

std::any tMx_Setup::GetValue(std::string_view aName) const {
  const tMx_SetupEntry* entry = FindEntry(aName);
  return entry != nullptr ? entry->Value() : std::any();
}

void tMx_Setup::Define(std::string_view aName) { SetValue(aName, std::any()); }
