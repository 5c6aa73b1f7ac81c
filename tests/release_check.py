#!/usr/bin/env python3
"""Checks that the release is reproducible: builds the shipped program and the
release zip again, from a copy of the source tree in another folder, and
compares both with those of the build tree given; then checks the zip's
members and their sums.

Usage: release_check.py SOURCE-DIR BUILD-DIR WORK-DIR VERSION
  BUILD-DIR is a configured i686 release build tree.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import zipfile

MEMBERS = ["kalvorn.exe", "README.txt", "LICENSE", "SHA256SUMS"]


def build_release(source, build, zip_name):
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=MinSizeRel",
                        "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/toolchain-i686-w64-mingw32.cmake"
                        % source], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "zip"], check=True,
                   stdout=subprocess.DEVNULL)
    with open(os.path.join(build, "kalvorn.exe"), "rb") as exe, \
            open(os.path.join(build, zip_name), "rb") as archive:
        return exe.read(), archive.read()


def copies_held(source, readme):
    """What the read-me copies from the code: the score's bits, in the
    launcher's words, and the time bounds."""
    code = "".join(open(os.path.join(source, "src", header)).read() for header in (
        "check/Report.h", "check/CheckRun.h", "probes/MixerProbe.h", "probes/PlayWhileRecord.h"))
    seconds = {name: int(ms) // 1000 for name, ms in re.findall(r"(\w+BoundMs) = (\d+);", code)}
    bits = [int(value, 16) for value in re.findall(r"Score\w+ = 0x(\w+);", code)]
    sys.path.insert(0, os.path.join(source, "linux"))
    from tarvenix_ini import SCORE_BITS
    wanted = ["%02x %s" % bit for bit in SCORE_BITS] + [
        "within %(RunBoundMs)d seconds of its start" % seconds, "(%(MixerBoundMs)d seconds for "
        "the mixer, %(RecordingStartBoundMs)d for the recording to start, %(PlaybackBoundMs)d "
        "for the" % seconds]
    words = " ".join(readme.split())
    failures = ["README.txt lacks %r" % line for line in wanted if line not in words]
    if [bit for bit, _ in SCORE_BITS] != bits:
        failures.append("linux/tarvenix_ini.py's score bits are not Report.h's %s" % bits)
    return failures


def main(source, build, work, version):
    zip_name = "kalvorn-%s-win32.zip" % version
    shutil.rmtree(work, ignore_errors=True)
    copy = os.path.join(work, "elsewhere", "source")
    # The copy keeps .git, whose last commit gives the members' time.
    # Build folders are left out at the top only (scripts/build-and-test is
    # a source file).
    shutil.copytree(source, copy, ignore=lambda folder, names: [
        n for n in names if n.startswith("build") and os.path.samefile(folder, source)])
    exe, archive = build_release(source, build, zip_name)
    exe_again, archive_again = build_release(copy, os.path.join(work, "other-build"), zip_name)
    failures = []
    for what, first, second in (("kalvorn.exe", exe, exe_again),
                                (zip_name, archive, archive_again)):
        print("%s: %s" % (what, hashlib.sha256(first).hexdigest()))
        if first != second:
            at = next(i for i in range(min(len(first), len(second)) + 1)
                      if i == min(len(first), len(second)) or first[i] != second[i])
            failures.append("%s differs between the two builds from byte %d on" % (what, at))

    with zipfile.ZipFile(os.path.join(build, zip_name)) as release:
        names = release.namelist()
        print("%s: %s" % (zip_name, ", ".join("%s %s" % (i.filename, i.date_time)
                                         for i in release.infolist())))
        if sorted(names) != sorted(MEMBERS):
            failures.append("the zip holds %s, not %s" % (names, MEMBERS))
        else:
            if release.read("kalvorn.exe") != exe:
                failures.append("the zip's kalvorn.exe is not the one built")
            expected = "".join("%s  %s\n" % (hashlib.sha256(release.read(n)).hexdigest(), n)
                               for n in MEMBERS[:3])
            if release.read("SHA256SUMS").decode() != expected:
                failures.append("SHA256SUMS is not the members' sums:\n%s" %
                                release.read("SHA256SUMS").decode())
            readme = release.read("README.txt")
            if b"\r\n" not in readme or version.encode() not in readme:
                failures.append("README.txt is not the Windows read-me of %s" % version)
            failures += copies_held(source, readme.decode("ascii"))
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
