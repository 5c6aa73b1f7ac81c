#!/usr/bin/env python3
"""Runs kalvorn.exe under Wine on a virtual display and a virtual sound board
(scripts/session), scenario by scenario, and checks what it did.

Each scenario gets its own session under --work: Xvfb display, sound server
(PulseAudio or PipeWire with a null sink and a null source, reached through a
tap that reads the streams its clients make), Wine prefix (hard links to one
booted per Wine) and home, and a runtime directory under /tmp. boxanswer.exe,
in the same Wine session, reads and answers every message box. The rig
compares the boxes, the exit code and TARVENIX.INI with the scenario, and
checks from the streams that the clip was played while the recording ran; on
a failure it keeps logs, the settings file, the streams and a screenshot.

Usage: rig.py --exe KALVORN --boxanswer BOXANSWER --work DIR SCENARIO
       rig.py ... --repeat N SCENARIO   (N runs, each checked; counts printed)
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "scripts"))
sys.path.insert(0, str(HERE))
import scenarios  # noqa: E402
from session import SessionError, wait_for  # noqa: E402
from session.prefix import Answered, Session, wine_loader  # noqa: E402
from session.tap import CLIP_STREAM, RECORDING_STREAM  # noqa: E402

CLIP_SAMPLES = HERE.parents[1].joinpath("resources", "threewav.wav").read_bytes()[58:]
PADDING = b"\x00\x80"  # what Wine writes where a stream runs dry, even mid-clip


# How a Wine may end the process itself once the checker, its report shown
# and its settings written, ends it at once with a thread of its own still
# in the sound driver on a server that hangs: Wine 8 dies of SIGSEGV in that
# thread as it exits (a core dump shows it in Wine's ntdll.so, the main
# thread in NtTerminateProcess); Wine 10, rarely, of glibc's assertion on a
# lock whose owning thread it ended. No Windows code reaches either.
WINE_OWN_ENDS = {
    "wine-8": lambda result: result.code == -11,
    "wine-10": lambda result: result.code == 1 and "Fatal glibc error" in result.output,
}


def log(message):
    print("rig: " + message, flush=True)


def sections_of(raw):
    """TARVENIX.INI as [(section, [(key, value)])] in file order, read here as Windows
    writes it (no launcher code): "[section]" and "key=value" lines."""
    sections = []
    for line in filter(None, raw.decode("latin-1").splitlines()):
        if line[0] == "[":
            sections.append((line[1:-1], []))
        else:
            sections[-1][1].append(tuple(line.split("=", 1)))
    return sections


def check_clip(sound, failures):
    """The clip went to the sound server on a stream of its own format,
    created after the recording stream and deleted before it. On a running
    board the stream carried the whole clip in order (padded by Wine, within
    too where it ran dry) and the sink's monitor heard a tone (the midpoint
    crossed 6 times in 10 ms) for 90% of the clip's length; on an idle sink,
    where Wine sends only its first write, the stream carried the first 25
    ms. Streams of other formats are Wine's own probes of a device."""
    failures += sound.tap_errors
    try:
        wait_for(lambda: all(s.deleted is not None for s in sound.streams), 10,
                 "every stream to be deleted")
    except SessionError as error:
        failures.append(str(error))
    streams = [s.brief() for s in sound.streams]
    recording = [s for s in sound.streams if s.of(RECORDING_STREAM)]
    playing = [s for s in sound.streams if s.of(CLIP_STREAM)]
    if len(recording) != 1 or len(playing) != 1:
        failures.append("expected one recording and one clip stream; clients "
                        "made %r" % streams)
        return
    if not recording[0].created < playing[0].created < playing[0].deleted < recording[0].deleted:
        failures.append("the clip's stream was not inside the recording's: "
                        "%r" % streams)
    wanted = CLIP_SAMPLES if sound.monitor else CLIP_SAMPLES[:275]  # 25 ms
    heard = sound.heard() if sound.monitor else b""
    tones = [[b > 128 for b in heard[i:i + 110] if abs(b - 128) > 8]
             for i in range(0, len(heard), 110)]
    heard = 110 * sum(sum(a != b for a, b in zip(t, t[1:])) >= 6 for t in tones)
    compared = wanted.translate(None, PADDING)
    log("the clip's stream: %d samples, of which %d of the %d wanted were compared (%d "
        "at 0x00 and %d at 0x80 passed over); the monitor heard a tone for %s" % (
            len(playing[0].samples), len(compared), len(wanted), wanted.count(0),
            wanted.count(0x80), "%d samples" % heard if sound.monitor else "none (an idle sink)"))
    if compared not in bytes(playing[0].samples).translate(None, PADDING):
        failures.append("the clip's stream did not carry %s in order" % (
            "the whole clip" if sound.monitor else "its first write (25 ms)"))
    if sound.monitor and heard < 0.9 * len(CLIP_SAMPLES):
        failures.append("the sink's monitor heard a tone for %d samples, less than "
                        "90%% of the clip's %d" % (heard, len(CLIP_SAMPLES)))




def run_once(args, scenario, run, session, rundir):
    os.makedirs(rundir)
    sound, display = session.sound, session.display
    if sound:
        sound.begin_run()
        sound.fault = run.fault
    at_start = sound and run.fault and run.fault[1] == "start"
    result = Answered(session, args.exe, args.boxanswer, rundir,
                      timeout=scenarios.RUN_LIMIT if run.fault else 90,
                      on_start=sound.inject if at_start else None)
    failures = result.failures
    if sound and sound.frozen:  # a freeze lasts as long as the run
        sound.resume()
    if run.fault and not (result.shown and result.shown[-1] <= scenarios.REPORT_WITHIN):
        failures.append("the report was not shown within %ds of the start (boxes shown "
                        "after %s s)" % (scenarios.REPORT_WITHIN,
                                         ["%.1f" % t for t in result.shown]))
    pair = (session.wine.split(".")[0], args.server)
    expected = next((r for r in [run] + run.pairs.get(None, []) + run.pairs.get(pair, [])
                     if r.boxes == result.boxes), run)
    wine_ended = WINE_OWN_ENDS.get(pair[0])
    if run.fault and result.boxes == expected.boxes and wine_ended and wine_ended(result):
        log("%s itself ended the process after the report, as it may with a thread of "
            "the checker's left in its sound driver (exit %d)" % (session.wine, result.code))
    elif result.code is not None and result.code != 0:
        said = result.output.strip().splitlines()
        failures.append("exit code %d, expected 0%s" % (
            result.code, " (Wine said: %s)" % said[-1] if said else ""))
    for marker in ("Unhandled", "page fault", "starting debugger"):
        if marker in result.output:
            failures.append("Wine reported a fault: %r" % marker)
            break

    boxes = result.boxes
    if boxes != expected.boxes:
        failures.append("message boxes differ:\n  got:      %r\n  expected: %r"
                        % (boxes, expected.boxes))
    if not os.path.exists(session.ini):
        failures.append("no TARVENIX.INI in the Windows directory")
    else:
        shutil.copy(session.ini, os.path.join(rundir, "TARVENIX.INI"))
        raw = pathlib.Path(session.ini).read_bytes()
        settings = sections_of(raw)
        if settings != expected.settings:
            failures.append("TARVENIX.INI differs:\n  got:      %r\n  expected: %r"
                            % (settings, expected.settings))
        if scenario.ini is not None and b"\r\n" in scenario.ini and \
                raw.replace(b"\r\n", b"").count(b"\n") != 0:
            failures.append("line ends of TARVENIX.INI changed")
    if sound and run.fault:  # then the next run, on the server resumed or anew
        if sound.injected is None:
            failures.append("the fault was never made (at the %s)" % run.fault[1])
        elif sound.thaw:
            sound.thaw.join()
        else:
            sound.restart()
    elif sound:
        check_clip(sound, failures)
    if failures:
        display.screenshot(os.path.join(rundir, "screen.png"))
        if sound:
            sound.save_run(rundir)
            failures.append(sound.seen())
    log("%s: exit %s, %d box(es), the report after %s s, the end after %.1f s" % (
        os.path.basename(rundir), result.code, len(boxes),
        "%.1f" % result.shown[-1] if result.shown else "-", result.elapsed))
    return failures


def run_scenario(args, name, work):
    scenario = scenarios.SCENARIOS[name]
    failures = []
    with Session(wine_loader(args.exe), args.templates, work,
                 os.path.join(work, "prefix"), idle=scenario.idle_sink,
                 server=args.server if scenario.sound else None) as session:
        if scenario.ini is not None:
            with open(session.ini, "wb") as f:
                f.write(scenario.ini)
        for index, run in enumerate(scenario.runs, 1):
            failures += ["run %d: %s" % (index, f) for f in
                         run_once(args, scenario, run, session,
                                  os.path.join(work, "run-%d" % index))]
    # What explains a failure is kept under each run's folder; the prefix
    # explains nothing of its own.
    shutil.rmtree(os.path.join(work, "prefix"), ignore_errors=True)
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--boxanswer", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--templates", required=True,
                        help="where the booted Wine prefixes live")
    parser.add_argument("--server", choices=("pulseaudio", "pipewire"),
                        default="pulseaudio", help="the virtual board's sound server")
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("scenario", choices=sorted(scenarios.SCENARIOS))
    args = parser.parse_args()
    for name in ("exe", "boxanswer", "work", "templates"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    log("%s: %s, with %s on %s" % (args.scenario, scenarios.SCENARIOS[
        args.scenario].description, args.exe, args.server))
    shutil.rmtree(args.work, ignore_errors=True)  # whatever an earlier run left
    passed = 0
    for attempt in range(1, args.repeat + 1):
        work = args.work if args.repeat == 1 else \
            os.path.join(args.work, "repeat-%d" % attempt)
        try:
            failures = run_scenario(args, args.scenario, work)
        except (SessionError, subprocess.SubprocessError, OSError) as error:
            failures = ["rig: %s" % error]
        if failures:
            log("FAILED (kept %s):\n  %s" % (work, "\n  ".join(failures)))
        else:
            passed += 1
            if args.repeat > 1:
                shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (passed, args.repeat - passed))
    return 0 if passed == args.repeat else 1


if __name__ == "__main__":
    sys.exit(main())
