"""Runs the checker once on the virtual board, in a Wine prefix kept under
--work (so that its TARVENIX.INI carries over to the next run), answers its
boxes, and prints what the operator would have seen, what it wrote and what
the score means. This checks a virtual board, not the operator's hardware.

Usage: python3 -m session.virtual --exe KALVORN --boxanswer BOXANSWER
           --work DIR --templates DIR [--server S] [--mixer N]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

from . import SessionError
from .prefix import REPORT_CAPTION, Answered, Session, wine_loader
from .settings import explain_score, set_ini_value, values, written


def show(args):
    rundir = os.path.join(args.work, "last-run")
    shutil.rmtree(rundir, ignore_errors=True)
    with Session(wine_loader(args.exe), args.templates, args.work,
                 os.path.join(args.work, "prefix"), args.server) as session:
        ini = session.ini
        before = values(ini)
        if args.mixer is not None:
            set_ini_value(ini, "TvSound", "MixerIndex", str(args.mixer))
            print("=== %s (the virtual board's own, not the one your Tarvenix "
                  "reads): [TvSound] MixerIndex=%d ===\n" % (ini, args.mixer))
        result = Answered(session, args.exe, args.boxanswer, rundir)
    for n, (caption, text) in enumerate(result.boxes, 1):
        print("=== message box %d, caption \"%s\" ===" % (n, caption))
        print(text.rstrip("\n"))
        print("=== picture: %s\n" % os.path.join(rundir, "box-%d.png" % n))
    report = [text for caption, text in result.boxes if caption == REPORT_CAPTION]
    score = re.search(r"score is: ([0-9a-f]+)\s*$", report[-1]) if report else None
    if score:
        print("=== what the score means ===")
        print("\n".join(explain_score(int(score.group(1), 16))) + "\n")
    if os.path.exists(ini):
        print("=== settings written to %s ===" % ini)
        print("\n".join(written(ini, before)))
    print("\nkalvorn.exe exited with %s" % result.code)
    for failure in result.failures:
        print("problem: " + failure)
    return 0 if result.code == 0 and report and not result.failures else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("exe", "boxanswer", "work", "templates"):
        parser.add_argument("--" + name, required=True, type=os.path.abspath)
    parser.add_argument("--server", choices=("pulseaudio", "pipewire"),
                        default="pipewire", help="the virtual board's sound server")
    parser.add_argument("--mixer", type=int, help="set MixerIndex before the run")
    try:
        return show(parser.parse_args())
    except (SessionError, subprocess.SubprocessError, OSError) as error:
        print("the virtual board failed: %s" % error, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
