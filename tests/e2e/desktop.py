#!/usr/bin/env python3
"""An operator's desktop: the package installed with Debian's own tools, a user who is not root,
with a display (X, or with KALVORN_DESKTOP=wayland a Wayland one alone), a PulseAudio of their
own and this root's Wine as wine, but no ~/.wine yet, runs kalvorn twice (boxanswer.exe presses OK as the operator) and then kalvorn --list-mixers.
What it printed is checked against what the test saw itself: the boxes as boxanswer read them,
the score in the report and its bits, the settings file as read here.
Usage: desktop.py WORK BOXANSWER PACKAGE"""
import os, pathlib, re, subprocess, sys, threading
ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
from session import display, prefix, sound, start, stop  # noqa: E402

# What Tarvenix does with each value written, in the operator's words.
MEANS = {("dvkechomic", "1"): "route the mic to the radios yourself",
         ("dvkechomic", "2"): "Tarvenix routes the mic", ("dvkstoploop", "1"): "keeps recording",
         ("dvkstoploop", "2"): "stops while you transmit", ("lineinprofile", "1"): "labelled AUX",
         ("lineinprofile", "2"): "labelled LINE"}


def run(env, work, boxanswer, *args):
    """run-kalvorn's output, and the boxes boxanswer answered, once the prefix is there."""
    os.makedirs(work)
    proc = subprocess.Popen(["kalvorn"] + list(args), env=dict(env, TMPDIR="/tmp"),  # as PAM sets it
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, start_new_session=True)
    answerer, out = None, []
    watchdog = threading.Timer(240, stop, [proc])  # a run that hangs ends the test
    watchdog.start()
    try:
        for line in proc.stdout:
            out.append(line)
            if "running Kalvorn" in line and not answerer:
                answerer = start(["wine", boxanswer, prefix.windows_path(work),
                                  prefix.REPORT_CAPTION, "120000"], subprocess.DEVNULL, env)
        proc.wait(timeout=30)
    finally:
        watchdog.cancel()
        stop(proc)
        stop(answerer)
    out.append("(exit %s)" % proc.returncode)
    return "".join(out), proc.returncode, prefix.read_boxes(work)


def expected(boxes, ini, again):
    """What the launcher must have printed, as patterns: each box, the score's bits, and each
    value written on its key's own line with its meaning. None where there is nothing to
    expect: no report, or no value written."""
    raw = pathlib.Path(ini).read_text("latin-1") if os.path.exists(ini) else ""
    found = re.findall(r"(?im)^(dvkechomic|dvkstoploop)=(\S+)", raw)
    if not boxes or len(found) != 2:
        return None
    lines = [re.escape("=== %s ===\n%s" % (caption, text.strip("\n"))) for caption, text in boxes]
    score = int(boxes[-1][1].split()[-1], 16)
    lines += [r"(?m)^  %02x %s " % (bit, "yes" if score & bit else "no ") for bit in
              (1, 2, 4, 8, 0x10, 0x20, 0x40)]
    before = re.escape(" (as before)") if again else ""
    lines += [r"(?m)^  \[PORTS\] %s=%s%s: [^\n]*%s" % (key, value, before, MEANS[key.lower(), value])
              for key, value in found]
    return lines


def main(work, boxanswer):
    env = prefix.base_environment(work)
    rig = dict(env)  # the test's own pactl, without shared memory
    del env["PULSE_SERVER"], env["PULSE_CLIENTCONFIG"]  # a desktop's own defaults
    home_wine, failures = env["HOME"] + "/.wine", []
    wayland = os.environ.get("KALVORN_DESKTOP") == "wayland"  # Wayland alone, no X server
    screen = (display.Compositor if wayland else display.Display)(work, env)
    env["WAYLAND_DISPLAY" if wayland else "DISPLAY"] = screen.name
    board = sound.SoundBoard(work, env, "pulseaudio")
    try:
        for n in (1, 2):
            out, code, boxes = run(env, "%s/run-%d" % (work, n), boxanswer)
            print(out)
            wanted = expected(boxes, home_wine + "/drive_c/windows/TARVENIX.INI", n == 2)
            kept = pathlib.Path(env["HOME"], ".local/state/kalvorn/last-run.txt")
            if wanted is None or code != 0 or boxes[-1][0] != prefix.REPORT_CAPTION:
                failures.append("run %d: exit %s, %d box(es), settings %s" % (
                    n, code, len(boxes), "read" if wanted else "missing"))
                continue
            if n == 1:
                wanted.append(re.escape("making your Wine prefix " + home_wine))
            failures += ["run %d: not printed: %r" % (n, w) for w in wanted
                         if not re.search(w, out)]
            if not kept.exists() or kept.read_text() not in out:
                failures.append("run %d: last-run.txt is not what was printed" % n)
        out, code, _ = run(env, work + "/list", boxanswer, "--list-mixers")
        print(out)
        pactl = "pactl list %s | sed -n 's/^.*Description: //p'"
        for kind, listed in (("playback", "sinks"), ("recording", "sources")):
            names = subprocess.run(pactl % listed, shell=True, env=dict(
                rig, PULSE_SERVER=board.server), stdout=subprocess.PIPE, text=True).stdout
            names = [name[:31] for name in names.splitlines() if name.startswith("Null")]
            if not names:
                failures.append("pactl named no null %s" % listed)
            failures += ["--list-mixers did not name %r as a %s device" % (name, kind)
                         for name in names if "%s (%s device)" % (name, kind) not in out]
        if code != 0:
            failures.append("--list-mixers: exit %s" % code)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, timeout=30, check=False)
        board.close()
        screen.close()
        subprocess.run(["rm", "-rf", home_wine], check=False)  # nothing to explain in it
    print("\n".join("FAILED: " + f for f in failures) if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) == 4:  # first, as the admin: the package, with apt
        subprocess.run(["rm", "-rf", sys.argv[1]], check=True)
        os.makedirs(sys.argv[1])
        if not os.path.exists(sys.argv[3]):
            sys.exit("no package %s: make it with cmake --build BUILD --target deb" % sys.argv[3])
        # Without root, apt runs as root in a user namespace of its own, where it cannot
        # hand its work to a user of its own.
        admin = [] if os.getuid() == 0 else ["unshare", "--map-root-user"]
        subprocess.run(admin + ["apt-get", "-o", "APT::Sandbox::User=root", "install", "-y",
                                "--reinstall", "--allow-downgrades", "-q",
                                os.path.abspath(sys.argv[3])],
                       check=True, timeout=300)
        del sys.argv[3]
    if os.getuid() == 0:  # the operator: nobody, without privileges in a namespace of its own
        os.execvp("unshare", ["unshare", "--user", "--map-user=65534", "--map-group=65534",
                              sys.executable] + sys.argv)
    sys.exit(main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])))
