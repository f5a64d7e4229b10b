#!/usr/bin/env python3
"""Writes the package's registry entries, as WiX, from the sources that self-registration uses.

    registry_entries.py SOURCE_ROOT OUTPUT_FOLDER

The package registers the DLL as data, with what DllRegisterServer writes: the registration scripts
res/*.rgs (run by the registrar with %APPID% and %MODULE%), then what the platform's registration
functions add for the type library (res/QuillanShellUI.idl), the merged proxy/stub (its class id is
set in src/com/CMakeLists.txt) and the component category of the band (src/com/quillan_shell_module.cpp).

Output: registry-x64.wxi and registry-x86.wxi, one <Include> each, placed inside the component that
holds that architecture's DLL (file ids Dll64 and Dll32; the DLL's folder without its trailing backslash
in the properties SHELLFOLDER64 and SHELLFOLDER32); and strings.tsv, the texts that are not ASCII
(wixl stores those wrongly), written into the package afterwards: "placeholder<TAB>text" per line.
"""
import os
import re
import sys

# The scripts in the order DllRegisterServer runs them (resources 101, 103, 104).
SCRIPTS = ["app_id.rgs", "explorer_band.rgs", "shell_context_menu.rgs"]
APPID_TEXT = "{B603F513-FD46-47F3-B879-112CB9D1F685}"  # the module's %APPID% replacement
ROOTS = {"HKCR": ("HKLM", "Software\\Classes"), "HKLM": ("HKLM", ""), "HKEY_LOCAL_MACHINE": ("HKLM", ""),
         "HKEY_CLASSES_ROOT": ("HKLM", "Software\\Classes")}
# Written by RegisterTypeLib for a dual interface: the automation marshaller, replaced in
# ProxyStubClsid32 by the merged proxy/stub when that registers after the library.
OLE_AUTOMATION_PROXY = "{00020424-0000-0000-C000-000000000046}"
IDISPATCH_METHODS = 7


def tokens(text):
    for match in re.finditer(r"'((?:[^']|'')*)'|([{}=])|([^\s{}=']+)", text):
        if match.group(1) is not None:
            yield ("text", match.group(1).replace("''", "'"))
        elif match.group(2):
            yield (match.group(2), match.group(2))
        else:
            yield ("word", match.group(3))


class Script:
    """A registrar script as keys: (root, path) -> {value name or "": (type, data)}."""

    def __init__(self, text, replacements):
        self.items = list(tokens(text))
        self.position = 0
        self.replacements = replacements
        self.keys = {}  # insertion-ordered

    def next(self):
        item = self.items[self.position]
        self.position += 1
        return item

    def peek(self):
        return self.items[self.position] if self.position < len(self.items) else (None, None)

    def replace(self, text):
        return re.sub(r"%(\w+)%", lambda m: self.replacements[m.group(1)], text)

    def value(self):
        kind, word = self.next()
        assert kind == "word" and word in ("s", "d"), word
        _, data = self.next()
        return ("string" if word == "s" else "integer", self.replace(data))

    def parse(self):
        while self.peek()[0] is not None:
            _, root = self.next()
            assert self.next()[0] == "{"
            self.body(ROOTS[root.upper()], [], False)
        return self.keys

    def body(self, root, path, inside_noremove):
        while self.peek()[0] != "}":
            kind, word = self.next()
            no_remove = False
            if kind == "word" and word in ("NoRemove", "ForceRemove", "Delete"):
                no_remove = word == "NoRemove"
                kind, word = self.next()
            if kind == "word" and word == "val":
                _, name = self.next()
                assert self.next()[0] == "="
                self.keys.setdefault((root, tuple(path)), {})[self.replace(name)] = self.value()
                continue
            key = path + [self.replace(word)]
            if not no_remove:
                self.keys.setdefault((root, tuple(key)), {})
            if self.peek()[0] == "=":
                self.next()
                self.keys.setdefault((root, tuple(key)), {})[""] = self.value()
            if self.peek()[0] == "{":
                self.next()
                self.body(root, key, no_remove)
        self.next()


def idl_entries(idl, module, proxy_clsid, platform):
    keys = {}
    classes = ("HKLM", "Software\\Classes")
    library = re.search(r"\[([^\]]*)\]\s*library\s+\w+", idl, re.S)
    attributes = library.group(1)
    libid = "{" + re.search(r"uuid\(([^)]+)\)", attributes).group(1).upper() + "}"
    version = re.search(r"version\(([^)]+)\)", attributes).group(1)
    lcid = "%x" % int(re.search(r"lcid\(([^)]+)\)", attributes).group(1), 0)
    helpstring = re.search(r'helpstring\("([^"]*)"\)', attributes).group(1)
    # LIBFLAG_FRESTRICTED 1, FCONTROL 2, FHIDDEN 4; FHASDISKIMAGE 8 for a library in a file.
    flags = 8 | sum(bit for word, bit in (("restricted", 1), ("control", 2), ("hidden", 4))
                    if re.search(r"\b%s\b" % word, attributes))
    base = ("TypeLib", libid, version)
    keys[(classes, base)] = {"": ("string", helpstring)}
    keys[(classes, base + (lcid, platform))] = {"": ("string", module)}
    keys[(classes, base + ("FLAGS",))] = {"": ("string", str(flags))}
    keys[(classes, base + ("HELPDIR",))] = {"": ("string", "[HELPFOLDER]")}
    for match in re.finditer(r"\[([^\]]*)\]\s*interface\s+(\w+)\s*:\s*(\w+)\s*\{([^}]*)\}", idl, re.S):
        iid = "{" + re.search(r"uuid\(([^)]+)\)", match.group(1)).group(1).upper() + "}"
        assert match.group(3) == "IDispatch", "only dual interfaces are registered this way"
        methods = IDISPATCH_METHODS + match.group(4).count(";")
        key = ("Interface", iid)
        keys[(classes, key)] = {"": ("string", match.group(2))}
        keys[(classes, key + ("NumMethods",))] = {"": ("string", str(methods))}
        keys[(classes, key + ("ProxyStubClsid",))] = {"": ("string", OLE_AUTOMATION_PROXY)}
        keys[(classes, key + ("ProxyStubClsid32",))] = {"": ("string", proxy_clsid)}
        keys[(classes, key + ("TypeLib",))] = {"": ("string", libid), "Version": ("string", version)}
    # NdrDllRegisterProxy: the proxy/stub's class, free to run in any apartment.
    keys[(classes, ("CLSID", proxy_clsid))] = {"": ("string", "PSFactoryBuffer")}
    keys[(classes, ("CLSID", proxy_clsid, "InProcServer32"))] = {
        "": ("string", module), "ThreadingModel": ("string", "Both")}
    return keys


def guid_from_initialiser(text):
    numbers = [int(n, 16) for n in re.findall(r"0x([0-9a-fA-F]+)", text)]
    return "{%08X-%04X-%04X-%02X%02X-%s}" % (numbers[0], numbers[1], numbers[2], numbers[3], numbers[4],
                                             "".join("%02X" % n for n in numbers[5:11]))


def formatted(data, module, folder):
    """The value as a Windows Installer formatted text: the DLL's path and folder as references, every
    other bracket and brace escaped ("{}" alone would come out empty)."""
    if data == module:
        return data
    if data == "[HELPFOLDER]":
        return "[%s]" % folder
    return re.sub(r"([\[\]{}])", r"[\\\1]", data)


def escape(text):
    return text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;").replace(">", "&gt;")


def main():
    source, output = sys.argv[1], sys.argv[2]
    read = lambda *parts: open(os.path.join(source, *parts), encoding="utf-8").read()
    idl = read("res", "QuillanShellUI.idl")
    proxy_clsid = guid_from_initialiser(re.search(r"PROXY_CLSID_IS=(\{[^;\"]*\}\})",
                                                  read("src", "com", "CMakeLists.txt")).group(1))
    category = guid_from_initialiser(re.search(r"kCatidAppContainerCompatible\s*=\s*\{(.*?)\};",
                                               read("src", "com", "quillan_shell_module.cpp"), re.S).group(1))
    band_clsid = "{" + re.search(r"uuid\(([^)]+)\),\s*helpstring\(\"ExplorerBand Class\"\)", idl).group(1) + "}"
    strings = {}
    os.makedirs(output, exist_ok=True)
    for arch, platform, file_id, folder in (("x64", "win64", "Dll64", "SHELLFOLDER64"),
                                            ("x86", "win32", "Dll32", "SHELLFOLDER32")):
        module = "[#%s]" % file_id
        keys = {}
        for name in SCRIPTS:
            keys.update(Script(read("res", name), {"APPID": APPID_TEXT, "MODULE": module}).parse())
        keys.update(idl_entries(idl, module, proxy_clsid, platform))
        keys[(("HKLM", "Software\\Classes"), ("CLSID", band_clsid, "Implemented Categories", category))] = {}
        lines = ["<?xml version=\"1.0\" encoding=\"utf-8\"?>",
                 "<!-- Written by packaging/registry_entries.py: do not edit. -->", "<Include>"]
        for ((root, prefix), path), values in keys.items():
            key = "\\".join(([prefix] if prefix else []) + list(path))
            if not values:
                # An empty key: "*" creates it, and uninstallation removes it.
                lines.append('  <RegistryValue Root="%s" Key="%s" Name="*" Type="string" Value=""/>'
                             % (root, escape(key)))
            for name, (kind, data) in values.items():
                data = formatted(data, module, folder)
                if any(ord(c) > 127 for c in data):
                    data = strings.setdefault(data, "@@TEXT%d@@" % len(strings))
                name_attribute = ' Name="%s"' % escape(name) if name else ""
                line = ('  <RegistryValue Root="%s" Key="%s"%s Type="%s" Value="%s"/>'
                        % (root, escape(key), name_attribute, kind, escape(data)))
                if arch == "x86" and "[HELPFOLDER]" in values[name][1]:
                    # The library's key is one for both views: on 64-bit Windows the 64-bit half's
                    # folder stands, as after regsvr32 of the 64-bit DLL.
                    line = "  <?if $(var.Platform) = x86 ?>\n%s\n  <?endif?>" % line
                lines.append(line)
        lines.append("</Include>")
        with open(os.path.join(output, "registry-%s.wxi" % arch), "w", encoding="utf-8") as out:
            out.write("\n".join(lines) + "\n")
    with open(os.path.join(output, "strings.tsv"), "w", encoding="utf-8") as out:
        for text, placeholder in strings.items():
            out.write("%s\t%s\n" % (placeholder, text))


if __name__ == "__main__":
    main()
