// Runs registry scripts (see registry_script.h): writes their keys and values, or removes them again.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/registry_script.h"

namespace quillan {

class Registrar {
 public:
  // While on, the root HKCR of every script is written as HKEY_CURRENT_USER\Software\Classes; other
  // roots keep their place.
  void SetPerUser(bool perUser) { perUser_ = perUser; }
  bool perUser() const { return perUser_; }

  // %name% in a script stands for value. A later value for the same name replaces the earlier one.
  void AddReplacement(const std::wstring& name, const std::wstring& value);

  // Registration: every key is created (a ForceRemove key deleted with its subkeys first) and every
  // value written. The first failure ends the run and is returned.
  HRESULT RegisterScript(const std::wstring& script) const;
  // Unregistration: ForceRemove keys are deleted whole, NoRemove keys stay, other keys go once they
  // have no subkeys left; named values of keys that stay are deleted. Keys already absent are fine.
  HRESULT UnregisterScript(const std::wstring& script) const;

  // The same for a script carried by a module as a resource of type "REGISTRY" (UTF-8 text).
  HRESULT RegisterResource(HMODULE module, UINT id) const;
  HRESULT UnregisterResource(HMODULE module, UINT id) const;

  // The text of a "REGISTRY" resource; false when the module has none by that id.
  static bool LoadScript(HMODULE module, UINT id, std::wstring* script);

 private:
  HRESULT Run(const std::wstring& script, bool registering) const;
  HRESULT RunResource(HMODULE module, UINT id, bool registering) const;

  bool perUser_ = false;
  RegistryScript::Replacements replacements_;
};

}  // namespace quillan
