// Registry scripts: the text form of the keys and values a module registers.
//
//   HKCR                                    root: HKCR, HKCU, HKLM, HKU or their long names
//   {
//     NoRemove CLSID                        a key; NoRemove: unregistration never deletes it
//     {
//       ForceRemove '{...}' = s 'Text'      ForceRemove: deleted with its subkeys before it is
//       {                                   written, and deleted whole by unregistration
//         InprocServer32 = s '%MODULE%'     "= s" a text default value, "= d" a DWORD (decimal or 0x..)
//         {
//           val ThreadingModel = s 'Apartment'   a named value
//         }
//       }
//     }
//   }
//
// Names and data are bare words or quoted with ' (a doubled '' stands for one quote). %NAME% is
// replaced by the registrar's value for NAME (A-Z compared without case) and %% by %, in names and in
// data; a replacement is taken literally, so values may hold quotes and braces. Any other key named
// by a script is deleted by unregistration once it has no subkeys left.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace quillan {

struct RegistryScriptValue {
  std::wstring name;  // empty for the default value
  DWORD type = REG_SZ;  // REG_SZ or REG_DWORD
  std::wstring text;
  DWORD number = 0;
};

struct RegistryScriptKey {
  enum class Removal { Normal, ForceRemove, NoRemove };
  std::wstring name;
  Removal removal = Removal::Normal;
  bool hasDefault = false;
  RegistryScriptValue defaultValue;
  std::vector<RegistryScriptValue> values;
  std::vector<RegistryScriptKey> subkeys;
};

struct RegistryScriptRoot {
  HKEY root = nullptr;  // one of the predefined keys, HKEY_CLASSES_ROOT included
  std::vector<RegistryScriptKey> keys;
};

class RegistryScript {
 public:
  using Replacements = std::vector<std::pair<std::wstring, std::wstring>>;

  // Parses a script; false (and an explanation in *error when given) on any fault of form, an
  // unknown root or an unknown replacement.
  static bool Parse(const std::wstring& text, const Replacements& replacements,
                    std::vector<RegistryScriptRoot>* roots, std::wstring* error = nullptr);
};

}  // namespace quillan
