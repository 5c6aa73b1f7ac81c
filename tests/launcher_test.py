#!/usr/bin/env python3
"""The launcher's ways to stop, without Wine: a stand-in `wine` plays the reader (one playback
mixer; a run that never ends). Each row: the user, what is set, the arguments, the exit status
and the line to print; no run may leave a process, and each but a usage error keeps its output.
Usage: launcher_test.py LAUNCHER"""
import os, shutil, signal, subprocess, sys, tempfile, time  # noqa: E401

WINE = """#!/bin/bash
case "$*" in
  *--list-mixers) printf 'kalvorn-reader\\n0\\tSpeakers\\tplayback\\n' ;;
  *--watch*) echo kalvorn-reader; exec -a "$1" sleep 600 ;;
  *kalvorn.exe) exec -a "$1" sleep 600 ;;
esac
"""
ROWS = [("usage", 1000, {}, ["--mixer", "1", "--list-mixers"], 2, "not allowed with argument"),
        ("root", 0, {}, [], 1, "not as root"),
        ("no Wine", 1000, {"PATH": "/nowhere"}, [], 1, "no Wine here"),
        ("no display", 1000, {"DISPLAY": ""}, [], 1, "no X display"),
        ("bad mixer", 1000, {}, ["--mixer", "3"], 2, "no mixer 3: your Wine offers 0 (Speakers)"),
        ("interrupted", 1000, {}, [], 130, "interrupted; Kalvorn was ended")]


def main(launcher):
    failures = []
    with tempfile.TemporaryDirectory() as home:
        for folder in ("bin", "lib/x86_64", ".wine/drive_c/windows"):
            os.makedirs(os.path.join(home, folder))
        with open(home + "/bin/wine", "w") as f:
            f.write(WINE)
        open(home + "/lib/x86_64/reader.exe", "w").close()
        os.chmod(home + "/bin/wine", 0o755), os.chmod(home, 0o777)
        for name, user, env, args, status, line in ROWS:
            shutil.rmtree(home + "/.local", ignore_errors=True)
            env = dict({"HOME": home, "DISPLAY": ":99", "KALVORN_LIB": home + "/lib",
                        "PATH": home + "/bin:/usr/bin:/bin"}, **env)
            proc = subprocess.Popen([shutil.which("unshare"), "--user", "--map-user=%d" % user,
                                     "--map-group=%d" % user, sys.executable, launcher] + args,
                                    env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    text=True)
            while name == "interrupted" and "running Kalvorn" not in proc.stdout.readline():
                pass
            time.sleep(0.5 * (name == "interrupted"))
            proc.send_signal(signal.SIGINT) if name == "interrupted" else None
            out = proc.communicate(timeout=60)[0]
            left = subprocess.run(["pgrep", "-f", "exe 600"], capture_output=True).stdout
            kept = os.path.exists(home + "/.local/state/kalvorn/last-run.txt")
            print("%s: exit %s\n%s" % (name, proc.returncode, out))
            failures += ["%s: exit %s, not %s" % (name, proc.returncode, status)] * (
                proc.returncode != status) + ["%s: did not say %r" % (name, line)] * (
                line not in out) + ["%s: left %s running" % (name, left.split())] * bool(
                left) + ["%s: no last-run.txt" % name] * (status != 2 and not kept)
    print("\n".join(["FAILED: " + f for f in failures] or ["passed"]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
