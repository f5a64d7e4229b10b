#include "base/registrar.h"

#include <shlwapi.h>

#include "base/handle.h"
#include "base/text.h"

namespace quillan {

namespace {

HRESULT FromStatus(LSTATUS status) { return HRESULT_FROM_WIN32(static_cast<DWORD>(status)); }

HRESULT WriteValue(HKEY key, const RegistryScriptValue& value) {
  const wchar_t* name = value.name.empty() ? nullptr : value.name.c_str();
  LSTATUS status;
  if (value.type == REG_DWORD) {
    status = ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                              sizeof(value.number));
  } else {
    status = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                              static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
  }
  return FromStatus(status);
}

HRESULT RegisterKey(HKEY parent, const RegistryScriptKey& script) {
  if (script.removal == RegistryScriptKey::Removal::ForceRemove) {
    // Absent is the usual case; any other failure shows when the key is created below.
    ::SHDeleteKeyW(parent, script.name.c_str());
  }
  UniqueKey key;
  LSTATUS status = ::RegCreateKeyExW(parent, script.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS) return FromStatus(status);
  if (script.hasDefault) {
    HRESULT hr = WriteValue(key.get(), script.defaultValue);
    if (FAILED(hr)) return hr;
  }
  for (const RegistryScriptValue& value : script.values) {
    HRESULT hr = WriteValue(key.get(), value);
    if (FAILED(hr)) return hr;
  }
  for (const RegistryScriptKey& subkey : script.subkeys) {
    HRESULT hr = RegisterKey(key.get(), subkey);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT UnregisterKey(HKEY parent, const RegistryScriptKey& script) {
  if (script.removal == RegistryScriptKey::Removal::ForceRemove) {
    LSTATUS status = ::SHDeleteKeyW(parent, script.name.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromStatus(status);
    return S_OK;
  }
  // Deleting a subkey needs no access to its parent; only named values need the right to change.
  REGSAM access = KEY_READ | (script.values.empty() ? 0 : KEY_SET_VALUE);
  UniqueKey key;
  LSTATUS status = ::RegOpenKeyExW(parent, script.name.c_str(), 0, access, key.put());
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;  // nothing of ours below it
  if (status != ERROR_SUCCESS) return FromStatus(status);
  for (const RegistryScriptKey& subkey : script.subkeys) {
    HRESULT hr = UnregisterKey(key.get(), subkey);
    if (FAILED(hr)) return hr;
  }
  for (const RegistryScriptValue& value : script.values) {
    status = ::RegDeleteValueW(key.get(), value.name.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromStatus(status);
  }
  if (script.removal == RegistryScriptKey::Removal::NoRemove) return S_OK;
  DWORD subkeys = 0;
  status = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return FromStatus(status);
  key.reset();
  if (subkeys != 0) return S_OK;  // someone else's keys live below it
  status = ::RegDeleteKeyW(parent, script.name.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromStatus(status);
  return S_OK;
}

}  // namespace

void Registrar::AddReplacement(const std::wstring& name, const std::wstring& value) {
  for (auto& replacement : replacements_) {
    if (EqualsNoCaseAZ(replacement.first, name)) {
      replacement.second = value;
      return;
    }
  }
  replacements_.emplace_back(name, value);
}

HRESULT Registrar::RegisterScript(const std::wstring& script) const { return Run(script, true); }

HRESULT Registrar::UnregisterScript(const std::wstring& script) const { return Run(script, false); }

HRESULT Registrar::RegisterResource(HMODULE module, UINT id) const { return RunResource(module, id, true); }

HRESULT Registrar::UnregisterResource(HMODULE module, UINT id) const {
  return RunResource(module, id, false);
}

bool Registrar::LoadScript(HMODULE module, UINT id, std::wstring* script) {
  script->clear();
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
  if (!found) return false;
  HGLOBAL loaded = ::LoadResource(module, found);
  DWORD size = ::SizeofResource(module, found);
  const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (!bytes) return false;
  if (size >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF && static_cast<unsigned char>(bytes[1]) == 0xBB &&
      static_cast<unsigned char>(bytes[2]) == 0xBF) {
    bytes += 3;
    size -= 3;
  }
  *script = CodePageToWide(bytes, size, CP_UTF8);
  return size == 0 || !script->empty();
}

HRESULT Registrar::RunResource(HMODULE module, UINT id, bool registering) const {
  std::wstring script;
  if (!LoadScript(module, id, &script)) {
    DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  }
  return Run(script, registering);
}

HRESULT Registrar::Run(const std::wstring& script, bool registering) const {
  std::vector<RegistryScriptRoot> roots;
  // A script is parsed whole before anything is written, so a fault of form changes nothing.
  if (!RegistryScript::Parse(script, replacements_, &roots)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  for (const RegistryScriptRoot& root : roots) {
    HKEY parent = root.root;
    UniqueKey userClasses;
    if (root.root == HKEY_CLASSES_ROOT && perUser_) {
      LSTATUS status;
      if (registering) {
        status = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE, nullptr, userClasses.put(), nullptr);
      } else {
        status = ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, userClasses.put());
        if (status == ERROR_FILE_NOT_FOUND) continue;  // nothing was registered for this user
      }
      if (status != ERROR_SUCCESS) return FromStatus(status);
      parent = userClasses.get();
    }
    for (const RegistryScriptKey& key : root.keys) {
      HRESULT hr = registering ? RegisterKey(parent, key) : UnregisterKey(parent, key);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

}  // namespace quillan
