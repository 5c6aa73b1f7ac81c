#!/usr/bin/env python3
"""The launcher's ways to stop, without Wine: a stand-in `wine` plays the reader (one playback
mixer) and a checker that never ends, named kalvorn.exe at once or, in the early rows, not yet.
Each row: what is set, the arguments, the signal sent once the checker runs, the exit status and
the line to print. No row may leave its processes running; each but a usage error keeps last-run.txt.
Usage: launcher_test.py LAUNCHER"""
import os, shutil, signal, subprocess, sys, tempfile, time

WINE = """#!/bin/bash
case "$*" in
  *--list-mixers) printf 'kalvorn-reader\\n0\\tSpeakers\\tplayback\\n' ;;
  *--watch*) echo kalvorn-reader; exec -a "$1" sleep 600 ;;
  *kalvorn.exe) if [ -n "$EARLY" ]; then sleep 600; fi; exec -a "$1" sleep 600 ;;
esac
"""
INI = "/.wine/drive_c/windows/TARVENIX.INI"
ROWS = [("usage", {}, ["--mixer", "1", "--list-mixers"], None, 2, "not allowed with argument"),
        ("root", {"USER_ID": "0"}, [], None, 1, "not as root"),
        ("no Wine", {"PATH": "/nowhere"}, [], None, 1, "no Wine here"),
        ("no display", {"DISPLAY": ""}, [], None, 1, "no display (neither DISPLAY nor"),
        ("list without display", {"DISPLAY": ""}, ["--list-mixers"], None, 0, "0  Speakers"),
        ("bad mixer", {}, ["--mixer", "3"], None, 2, "no mixer 3: your Wine offers 0 (Speakers)"),
        ("read-only INI", {"READ_ONLY": "1"}, ["--mixer", "0"], None, 1,
         "could not set [TvSound] MixerIndex=0"),
        ("interrupted", {}, [], signal.SIGINT, 130, "interrupted; Kalvorn was ended"),
        ("interrupted early", {"EARLY": "1"}, [], signal.SIGINT, 130, "Kalvorn was ended"),
        ("terminated", {}, [], signal.SIGTERM, 143, "ended by SIGTERM; Kalvorn was ended"),
        ("hung up early", {"EARLY": "1"}, [], signal.SIGHUP, 129, "ended by SIGHUP")]


def checker_runs(row_id, early):
    """Whether the row's stand-in checker runs: named kalvorn.exe, or (early) still wine."""
    names = [words[1:] if early else words[:1] for words in ours(row_id).values()]
    return any(name.endswith(b"kalvorn.exe") for words in names for name in words)


def ours(row_id):
    """{pid: command line} of the processes that carry this row's mark: those it started."""
    found = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if ("KALVORN_TEST_ROW=" + row_id).encode() in f.read().split(b"\0"):
                    with open("/proc/%s/cmdline" % pid, "rb") as f:
                        found[pid] = f.read().split(b"\0")
        except OSError:
            continue
    return found


def run_row(home, launcher, row):
    name, settings, args, ending, status, line = row
    row_id = os.urandom(8).hex()
    env = {"HOME": home, "DISPLAY": ":99", "KALVORN_LIB": home + "/lib",
           "KALVORN_TEST_ROW": row_id, "PATH": home + "/bin:/usr/bin:/bin"}
    env.update(settings)
    os.chmod(home + INI, 0o444 if "READ_ONLY" in settings else 0o644)
    user = env.pop("USER_ID", "1000")
    command = [shutil.which("unshare"), "--user", "--map-user=" + user, "--map-group=" + user,
               sys.executable, launcher] + args
    proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True)
    ran = True
    if ending:
        deadline = time.monotonic() + 30
        ran = False
        while not ran and time.monotonic() < deadline:
            time.sleep(0.05)
            ran = checker_runs(row_id, "EARLY" in settings)
        proc.send_signal(ending)
    out = proc.communicate(timeout=60)[0]
    print("%s: exit %s\n%s" % (name, proc.returncode, out))
    kept = os.path.exists(home + "/.local/state/kalvorn/last-run.txt")
    failures = []
    if not ran:
        failures.append("the checker never ran")
    if proc.returncode != status:
        failures.append("exit %s, not %s" % (proc.returncode, status))
    if line not in out:
        failures.append("did not say %r" % line)
    if ours(row_id):
        failures.append("left %s running" % list(ours(row_id)))
    if "Traceback" in out:
        failures.append("printed a traceback")
    if status != 2 and not kept:
        failures.append("no last-run.txt")
    return ["%s: %s" % (name, failure) for failure in failures]


def main(launcher):
    failures = []
    with tempfile.TemporaryDirectory() as home:
        for folder in ("bin", "lib/x86_64", ".wine/drive_c/windows"):
            os.makedirs(os.path.join(home, folder))
        with open(home + "/bin/wine", "w") as f:
            f.write(WINE)
        open(home + "/lib/x86_64/reader.exe", "w").close()
        open(home + INI, "w").close()
        os.chmod(home + "/bin/wine", 0o755)
        os.chmod(home, 0o777)
        for row in ROWS:
            shutil.rmtree(home + "/.local", ignore_errors=True)
            failures += run_row(home, launcher, row)
    print("\n".join("FAILED: " + f for f in failures) if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
