#!/usr/bin/env python3
"""Checks the Debian package (its release made in BUILD-DIR first where missing): no lintian
tag, a valid desktop entry; the zip's kalvorn.exe, both builds, the launcher and the icon; it
depends on Python and on Debian's or WineHQ's Wine alone; its changelog's top entry is this
version's; a build elsewhere, under another umask and time zone, gives the same bytes.
Usage: deb_check.py SOURCE-DIR BUILD-DIR WORK-DIR VERSION"""
import os, shutil, subprocess, sys, zipfile

WANTED = ["./usr/bin/kalvorn", "./usr/share/kalvorn/tarvenix_ini.py",
          "./usr/share/icons/hicolor/scalable/apps/kalvorn.svg",
          "./usr/share/man/man1/kalvorn.1.gz", "./usr/share/applications/kalvorn.desktop",
          "./usr/share/doc/kalvorn/copyright", "./usr/share/doc/kalvorn/changelog.gz"] + [
    "./usr/lib/kalvorn/%s/%s.exe" % (a, p) for a in ("i686", "x86_64") for p in ("kalvorn", "reader")]


def build(source, tree, version):
    """The package of a tree of its own, configured and built here; with no source, the one
    the build tree given holds (its release target made it: nothing is built there, while
    other tests run its programs)."""
    if source:  # elsewhere, under another umask and time zone
        elsewhere = dict(os.environ, TZ="Asia/Kathmandu")
        for step in (["-S", source, "-B", tree, "-DKALVORN_E2E=OFF",
                      "-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON"], ["--build", tree, "--target", "deb"]):
            subprocess.run(["cmake"] + step, check=True, stdout=subprocess.DEVNULL,
                           env=elsewhere, preexec_fn=lambda: os.umask(0o002))
    with open(os.path.join(tree, "deb", "kalvorn_%s_all.deb" % version), "rb") as f:
        return f.name, f.read()


def main(source, tree, work, version):
    if not os.path.exists(os.path.join(tree, "release", "SHA256SUMS")):
        subprocess.run(["cmake", "--build", tree, "--target", "release"], check=True,
                       stdout=subprocess.DEVNULL)
    deb, data = build(None, tree, version)
    failures = []
    with open(os.path.join(source, "linux", "changelog")) as f:
        changelog = f.read()
    if not changelog.startswith("kalvorn (%s) " % version) or "@" in changelog.split("<")[0]:
        failures.append("the changelog's top entry is not kalvorn (%s), or it is a template"
                        % version)
    if not shutil.which("lintian"):
        failures.append("no lintian here: run scripts/setup-machine")
    else:
        said = subprocess.run(["lintian", "-I", "--fail-on", "error,warning,info", deb],
                              capture_output=True, text=True)
        print(said.stdout, end="")
        if said.returncode != 0:
            failures.append("lintian: " + said.stdout.strip())
    listed = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True).stdout
    failures += ["not in the package: " + p for p in WANTED if p not in listed.split()]
    depends = subprocess.run(["dpkg-deb", "-f", deb, "Depends", "Architecture"],
                             capture_output=True, text=True).stdout.split("\n")
    if depends[:2] != ["Depends: python3, wine | winehq-stable | winehq-staging | winehq-devel",
                       "Architecture: all"]:
        failures.append("control: %r" % depends)
    os.makedirs(work, exist_ok=True)
    entry = subprocess.run("dpkg-deb --fsys-tarfile %s | tar -xO ./usr/share/applications/"
                           "kalvorn.desktop > %s/kalvorn.desktop && desktop-file-validate "
                           "%s/kalvorn.desktop" % (deb, work, work), shell=True,
                           capture_output=True, text=True)
    if entry.returncode != 0 or entry.stdout.strip() != "":
        failures.append("desktop-file-validate: " + (entry.stdout + entry.stderr).strip())
    shipped = subprocess.run("dpkg-deb --fsys-tarfile %s | tar -xO ./usr/lib/kalvorn/i686/"
                             "kalvorn.exe" % deb, shell=True, capture_output=True).stdout
    zipped = zipfile.ZipFile(os.path.join(tree, "release", "kalvorn-%s-win32.zip" % version))
    if shipped != zipped.read("kalvorn.exe"):
        failures.append("the package's kalvorn.exe is not the zip's")
    shutil.rmtree(work, ignore_errors=True)
    copy = os.path.join(work, "elsewhere", "source")
    shutil.copytree(source, copy, ignore=lambda folder, names: [
        n for n in names if n.startswith("build") and os.path.samefile(folder, source)])
    if build(copy, os.path.join(work, "elsewhere", "build"), version)[1] != data:
        failures.append("a second build gave other bytes")
    shutil.rmtree(work, ignore_errors=True)
    print("\n".join("FAILED: " + f for f in failures) if failures else deb + ": as wanted")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
