#!/usr/bin/env python3
"""The MSI under Wine: install, COM creation, major upgrade, uninstallation.

    package_test.py SOURCE_ROOT PACKAGE_CLIENT_EXE
"""
import functools, os, re, shutil, subprocess, sys, tempfile, time

ROOT, CLIENT = sys.argv[1], sys.argv[2]
FOLDER = "C:\\Program Files (x86)\\Orrin\\"
DLL = {64: FOLDER + "shell64\\QuillanShellUI.dll", 32: FOLDER + "shell\\QuillanShellUI.dll"}
BAND, MENU = "{20B497C6-62FD-482A-9290-BD1BBEF85146}", "{8E4B2A8F-956F-47F1-A069-ED7F1A2DF6CF}"
APPID, LIBID = "{B603F513-FD46-47F3-B879-112CB9D1F685}", "{295FA374-9546-431F-9CA2-97B51CE23627}"
IIDS = ("{09BEC1A8-BE09-4A86-8586-77C4546235DC}", "{E3439D78-72E2-4D3F-9AF4-5413379A4E81}")
HOST_CLASS = "{DE16D8FE-F468-49A7-85B4-414CF06C72E5}"
BHO = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects"
HANDLERS = ["*\\shellex", "Directory\\Background\\ShellEx", "Directory\\ShellEx", "Folder\\ShellEx"]
C = "Software\\Classes\\"
OURS = re.compile("|".join(re.escape(s) for s in (BAND, MENU, APPID, LIBID) + IIDS + ("QuillanShellUI", "VelQuillanBarUI")), re.I)
failures = []


def check(ok, what):
    if not ok: failures.append(what); print("FAIL:", what)


def wine(variant, *args, background=False):
    run, env = [os.path.join(ROOT, "scripts", "wine-run.sh")] + list(args), dict(os.environ, QUILLAN_WINE_VARIANT=variant)
    if background: return subprocess.Popen(run, env=env, stdout=subprocess.DEVNULL)
    return subprocess.run(run, env=env, capture_output=True, text=True, errors="replace").stdout


@functools.lru_cache(None)
def prefix(variant):
    return subprocess.run(["bash", "-c", "source scripts/wine-env.sh && quillan_wine_prefix " + variant],
                          cwd=ROOT, capture_output=True, text=True, check=True).stdout.strip()


def export(variant, top, view):
    """One registry tree as {lower-case key below HKLM: {lower-case value name: data}}."""
    wine(variant, "reg", "export", top, "C:\\export.reg", "/reg:%d" % view, "/y")
    path = os.path.join(prefix(variant), "drive_c", "export.reg")
    if not os.path.exists(path): return {}  # no such key
    text = open(path, encoding="utf-16").read(); os.remove(path)
    keys, key = {}, None
    unquote = lambda s: re.sub(r"\\(.)", r"\1", s[1:-1]) if s.startswith('"') else s
    for line in text.splitlines():
        if line.startswith("["): key = line[1:-1].split("\\", 1)[1].lower(); keys[key] = {}
        elif key and "=" in line:
            name, data = re.match(r'(@|"(?:[^"\\]|\\.)*")=(.*)$', line).groups()
            keys[key]["" if name == "@" else unquote(name).lower()] = unquote(data)
    return keys


KEYS = [C + k for k in ["CLSID\\" + BAND, "CLSID\\" + MENU, "CLSID\\" + IIDS[1], "AppID\\" + APPID,
    "AppID\\QuillanShellUI.DLL", "TypeLib\\" + LIBID, "Interface\\" + IIDS[0], "Interface\\" + IIDS[1]]
    + ["QuillanShellUI.%s%s" % (c, v) for c in ("ExplorerBand", "ShellContextMenu") for v in ("", ".1")]
    + [h + "\\ContextMenuHandlers\\VelQuillanBarUI" for h in HANDLERS]] + [BHO + "\\" + BAND]


def registry(variant, view):
    """The keys of ours in one registry view: {lower-case key: {lower-case value name: data}}."""
    ours = tuple(k.lower() for k in KEYS)
    keys = {}
    for top in ("HKLM\\Software\\Classes", "HKLM\\" + BHO):
        keys.update({k: v for k, v in export(variant, top, view).items() if k.startswith(ours)})
    return keys


def installed_products(variant):
    """The versions of the entries of ours in the installed programs."""
    entries = export(variant, "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 64)
    return [v.get("displayversion") for v in entries.values() if v.get("publisher") == "Orrin"]


def check_registration(keys, view, against):
    check(keys, "%d-bit view has none of our keys" % view)
    differing = sorted(k for k in set(keys) | set(against) if keys.get(k) != against.get(k))
    check(not differing, "%d-bit view differs from regsvr32's in %s" % (view, [(k, keys.get(k), against.get(k)) for k in differing]))


started = time.time()
for build in ("i686", "x86_64"):
    if not os.path.exists(os.path.join(ROOT, "build", build, "bin", "QuillanCloseExplorer.exe")):
        sys.exit("build/%s is not built: scripts/build.sh builds both architectures" % build)
version = re.search(r"project\(\w+ VERSION (\d+)\.(\d+)\.(\d+)", open(os.path.join(ROOT, "CMakeLists.txt")).read()).groups()
newer = "%s.%s.%d" % (version[0], version[1], int(version[2]) + 1)
work = tempfile.mkdtemp()
package = os.path.join(ROOT, "scripts", "package.sh")
subprocess.run([package, "--no-build", "--output", work + "/old"], check=True, stdout=subprocess.DEVNULL)
subprocess.run([package, "--no-build", "--version", newer, "--output", work + "/new"], check=True, stdout=subprocess.DEVNULL)

# A prefix that a failed run left behind is made again.
msi = prefix("msi")
if os.path.exists(msi + "/.package-test-running"):
    subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=dict(os.environ, WINEPREFIX=msi))
    shutil.rmtree(msi)
    prefix.cache_clear()
    msi = prefix("msi")
open(msi + "/.package-test-running", "w").close()
drive = msi + "/drive_c/"
for name in ("old", "new"):
    shutil.copy(os.path.join(work, name, "QuillanShellUI.msi"), drive + name + ".msi")
shutil.copy(CLIENT, drive + "package_client.exe")

# What regsvr32 writes for the x86_64 DLL in the same folder, in a prefix of its own.
plain = prefix("msi-regsvr32") + "/drive_c/Program Files (x86)/Orrin/shell64"
os.makedirs(plain, exist_ok=True)
shutil.copy(os.path.join(ROOT, "build/x86_64/bin/QuillanShellUI.dll"), plain)
wine("msi-regsvr32", "regsvr32", "/s", DLL[64])
regsvr64, regsvr32_view32 = registry("msi-regsvr32", 64), registry("msi-regsvr32", 32)
# Registered after it, the i686 DLL adds its own paths and library platform to the 32-bit view; the
# keys that both views share (those that came out alike from the 64-bit registration) get its
# library platform beside the 64-bit one, and keep the 64-bit values otherwise.
shared = {k for k, v in regsvr64.items() if regsvr32_view32.get(k) == v}
as32 = lambda k: k.replace("\\win64", "\\win32")
added = {as32(k): {n: d.replace(DLL[64], DLL[32]) for n, d in v.items()} for k, v in regsvr64.items()}
both = {as32(k): added[as32(k)] for k in shared if as32(k) != k}
expected64 = {**regsvr64, **both}
expected32 = {**{k: v for k, v in added.items() if k.replace("\\win32", "\\win64") not in shared},
              **{k: regsvr64[k] for k in shared}, **both}

# The Explorer host windows that the close helper must reach before files are replaced or removed.
report = drive + "host.txt"
for name in (report, report + ".stop"):
    if os.path.exists(name): os.remove(name)
host = wine("msi", "C:\\package_client.exe", "host", "C:\\host.txt", HOST_CLASS, background=True)
deadline = time.time() + 30
while not (os.path.exists(report) and "ready" in open(report).read()) and time.time() < deadline: time.sleep(0.2)

for step, source in (("install", "old"), ("upgrade", "new")):
    wine("msi", "msiexec", "/i", "C:\\%s.msi" % source, "/qn", "/l*v", "C:\\%s.log" % step)
    check(os.path.getsize(drive + step + ".log") > 0, step + ": no log")
    for view, build in ((64, "x86_64"), (32, "i686")):
        for name in ("QuillanShellUI.dll", "QuillanCloseExplorer.exe"):
            target = drive + DLL[view][3:].replace("\\", "/").replace("QuillanShellUI.dll", name)
            check(os.path.exists(target) and open(target, "rb").read() ==
                  open(os.path.join(ROOT, "build", build, "bin", name), "rb").read(), "%s: %s" % (step, target))
    check_registration(registry("msi", 64), 64, expected64)
    check_registration(registry("msi", 32), 32, expected32)
    check(installed_products("msi") == [(".".join(version) if step == "install" else newer)],
          "%s: installed programs %s" % (step, installed_products("msi")))
    created = wine("msi", "C:\\package_client.exe", "create", BAND, MENU).split("\n")
    check(created[:2] == ["%s 00000000 %s" % (c, DLL[64]) for c in (BAND, MENU)], "%s: COM gave %s" % (step, created))
    check(open(report).read().count("copydata 33774 0") == (1 if step == "upgrade" else 0),
          "%s: host window got %r" % (step, open(report).read()))

wine("msi", "msiexec", "/x", "C:\\new.msi", "/qn", "/l*v", "C:\\uninstall.log")
check(open(report).read().count("copydata 33774 0") == 2, "uninstall: host window got %r" % open(report).read())
check(not os.path.exists(drive + "Program Files (x86)/Orrin"), "uninstall left the folder")
# Both views, wherever: the 64-bit export holds the 32-bit view's Wow6432Node keys too.
left = [k for k in export("msi", "HKLM\\Software\\Classes", 64) if OURS.search(k)]
left += [k for k in export("msi", "HKLM\\" + BHO, 64) if OURS.search(k)]
check(left == [] and registry("msi", 32) == {}, "uninstall left keys %s %s" % (left, sorted(registry("msi", 32))))
check(installed_products("msi") == [], "uninstall left an installed program")

open(report + ".stop", "w").close()
host.wait(timeout=20)
shutil.rmtree(work)
if not failures:
    os.remove(msi + "/.package-test-running")
print("%d failures, %.1f s" % (len(failures), time.time() - started))
sys.exit(1 if failures else 0)
