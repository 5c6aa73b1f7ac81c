#!/usr/bin/env python3
"""An operator's desktop: a user who is not root, with a display, PulseAudio and ~/.wine
of their own and this root's Wine as wine, runs scripts/run-kalvorn and answers the boxes
(boxanswer.exe presses OK, then the score is typed in). Usage: desktop.py WORK BOXANSWER"""
import os, pathlib, subprocess, sys  # noqa: E401
ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
from session import display, prefix, settings, sound, start, stop, wait_for  # noqa: E402


def main(work, boxanswer):
    env = prefix.base_environment(work)
    del env["PULSE_SERVER"], env["PULSE_CLIENTCONFIG"]  # a desktop's own defaults
    env.update(WINEPREFIX=env["HOME"] + "/.wine", KALVORN_BUILD=work + "/build")
    screen, answerer, run = display.Display(work, env), None, None
    env["DISPLAY"], board = screen.name, sound.SoundBoard(work, env, "pulseaudio")
    try:
        prefix.boot("wine", env, work + "/wineboot.log", desktop=False)
        answerer = start(["wine", boxanswer, prefix.windows_path(work), prefix.REPORT_CAPTION,
                          "300000"], subprocess.DEVNULL, env)
        run = subprocess.Popen(ROOT / "scripts/run-kalvorn", env=env, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               start_new_session=True)
        wait_for(lambda: answerer.poll() is not None or run.poll() is not None, 360, "a report")
        report = ([b.read_text("latin-1") for b in sorted(pathlib.Path(work).glob("box-*.txt"))]
                  or ["no report box 0"])[-1]
        out = run.communicate(report.split()[-1] + "\n", timeout=60)[0]
    finally:
        subprocess.run(["wineserver", "-k"], env=env, timeout=30, check=False)
        stop(answerer), stop(run), board.close(), screen.close()
        ini = env["WINEPREFIX"] + "/drive_c/windows/TARVENIX.INI"
        written = settings.written(ini) if os.path.exists(ini) else ["(no %s)" % ini]
        subprocess.run(["rm", "-rf", env["WINEPREFIX"]], check=False)  # nothing to explain in it
    wanted = ["exited with 0", "under your Wine, prefix " + env["WINEPREFIX"], prefix.REPORT_CAPTION]
    wanted += written
    wanted += settings.explain_score(int(report.split()[-1], 16))
    failures = ["not printed: " + line for line in wanted if line not in out + report]
    failures += ["exit code %s" % run.returncode] * (run.returncode != 0) + [
        "a test program was built: " + p.name for p in pathlib.Path(work, "build").rglob("*")
        if p.name in ("kalvorn_tests", "boxanswer.exe", "baseline.exe")]
    print(out + "\n".join(["FAILED: " + f for f in failures] or ["passed"]))
    return 1 if failures else 0


if __name__ == "__main__":
    subprocess.run(["rm", "-rf", sys.argv[1]], check=True)
    os.makedirs(sys.argv[1])
    if os.getuid() == 0:  # the operator: nobody, without privileges in a namespace of its own
        os.execvp("unshare", ["unshare", "--user", "--map-user=65534", "--map-group=65534",
                              sys.executable] + sys.argv)
    sys.exit(main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])))
