#!/usr/bin/env python3
"""Runs kalvorn.exe under Wine on a virtual display and a virtual sound board.

Each scenario gets its own Xvfb display, PulseAudio server (a null sink and a
null source, reached through a tap that keeps the audio sent to it), runtime
directories and Wine prefix (hard links to a prefix booted once per Wine and
shared by both architectures), all under --work. A helper of ours, boxanswer.exe, runs in the
same Wine session: it reads every message box the checker shows and presses
OK. The rig then compares the boxes, the exit code and TARVENIX.INI with the
scenario, and checks from the server's streams that the clip was sent while
the recording ran. On a failure what explains it is kept under --work: logs,
the settings file, the streams, a screenshot.

Usage: rig.py --exe KALVORN --boxanswer BOXANSWER --work DIR SCENARIO
       rig.py ... --repeat N SCENARIO   (N runs, each checked; counts printed)
       rig.py ... --show   (one run, nothing expected: prints what was shown)
"""
import argparse
import fcntl
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios  # noqa: E402


class RigError(Exception):
    pass


def log(message):
    print("rig: " + message, flush=True)


def pe_machine(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = int.from_bytes(data[0x3C:0x40], "little")
    if data[offset:offset + 4] != b"PE\0\0":
        raise RigError("%s is not a PE file" % path)
    return int.from_bytes(data[offset + 4:offset + 6], "little")


def wine_loader(exe):
    """The Wine loader that runs this exe's architecture."""
    if pe_machine(exe) == 0x8664:
        for candidate in ("/usr/lib/wine/wine64", shutil.which("wine64")):
            if candidate and os.access(candidate, os.X_OK):
                return candidate
        raise RigError("no 64-bit Wine loader found")
    loader = shutil.which("wine")
    if loader is None:
        raise RigError("wine not found")
    return loader


def wineserver(loader):
    server = os.path.join(os.path.dirname(loader), "wineserver")
    return server if os.access(server, os.X_OK) else "wineserver"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise RigError("timed out after %gs waiting for %s" % (timeout, what))


def stop(process, timeout=5):
    if process is None or process.poll() is not None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait(timeout)
    except (subprocess.TimeoutExpired, ProcessLookupError):
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait(timeout)


def start(command, logfile, env, **kwargs):
    return subprocess.Popen(command, stdout=logfile, stderr=subprocess.STDOUT,
                            stdin=subprocess.DEVNULL, env=env,
                            start_new_session=True, **kwargs)


class Display:
    """An Xvfb server on a free display number."""

    def __init__(self, work, env):
        self.log = open(os.path.join(work, "xvfb.log"), "wb")
        read_end, write_end = os.pipe()
        self.process = start(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                              "1024x768x24", "-nolisten", "tcp", "-noreset"],
                             self.log, env, pass_fds=(write_end,))
        os.close(write_end)
        ready, _, _ = select.select([read_end], [], [], 15)
        number = os.read(read_end, 64).decode().strip() if ready else ""
        # Kept open while the server runs: Xvfb writes its number here again
        # whenever it resets, and dies if nobody is there to read it.
        self.read_end = read_end
        if not number:
            stop(self.process)
            os.close(read_end)
            raise RigError("Xvfb did not start (see xvfb.log)")
        self.name = ":" + number

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.name, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=20, check=False)

    def close(self):
        stop(self.process)
        os.close(self.read_end)
        self.log.close()


class SoundBoard:
    """A PulseAudio server with a null sink and a null source. Its clients
    reach it through a tap of ours that keeps the audio they send; without
    shared memory every sample travels through the socket."""

    def __init__(self, work, env):
        self.log_path = os.path.join(work, "pulseaudio.log")
        real = os.path.join(env["XDG_RUNTIME_DIR"], "pulse-server")
        config = os.path.join(work, "pulse.pa")
        with open(config, "w") as f:
            f.write("load-module module-native-protocol-unix socket=%s "
                    "auth-anonymous=1\n" % real)
            f.write("load-module module-null-sink sink_name=kalvorn_out\n")
            f.write("load-module module-null-source source_name=kalvorn_in\n")
            f.write("set-default-sink kalvorn_out\nset-default-source kalvorn_in\n")
        self.log = open(self.log_path, "wb")
        self.process = start(["pulseaudio", "-n", "-F", config, "--daemonize=no",
                              "--exit-idle-time=-1", "--use-pid-file=no",
                              "--disable-shm=yes", "--log-target=stderr", "-v"],
                             self.log, env)

        def answers():
            if self.process.poll() is not None:
                raise RigError("pulseaudio exited (see pulseaudio.log)")
            return os.path.exists(real)
        wait_for(answers, 15, "pulseaudio")
        self.tap = socket.socket(socket.AF_UNIX)
        self.tap.bind(os.path.join(env["XDG_RUNTIME_DIR"], "pulse-native"))
        self.tap.listen(16)
        self.server = "unix:" + self.tap.getsockname()
        self.sent = []  # what each client connection sent, in this run
        threading.Thread(target=self._accept, args=(real,), daemon=True).start()
        self.begin_run()

    def _accept(self, real):
        while True:
            try:
                client = self.tap.accept()[0]
            except OSError:
                return
            upstream = socket.socket(socket.AF_UNIX)
            upstream.connect(real)
            self.sent.append(bytearray())
            for pair in ((client, upstream, self.sent[-1]), (upstream, client, None)):
                threading.Thread(target=pump, args=pair, daemon=True).start()

    def begin_run(self):
        self.log.flush()
        self.log_start = os.path.getsize(self.log_path)
        self.sent = []

    def audio(self):
        """The samples each stream was sent in this run. A frame of the
        native protocol is a 20-byte descriptor (length, channel, offset,
        flags; big-endian) and its payload: channel 0xffffffff carries a
        command, any other the samples of that stream."""
        streams = []
        for data in list(self.sent):
            channels = {}
            at = 0
            while at + 20 <= len(data):
                length, channel = struct.unpack_from(">II", data, at)
                if channel != 0xFFFFFFFF:
                    channels.setdefault(channel, b"")
                    channels[channel] += data[at + 20:at + 20 + length]
                at += 20 + length
            streams += channels.values()
        return streams

    def streams(self):
        """The server's streams in this run, as its log tells: [[sink or
        source, sample format, when created, when freed]], in log events."""
        self.log.flush()
        with open(self.log_path, "rb") as f:
            f.seek(self.log_start)
            text = f.read().decode("latin-1")
        streams = {}
        for n, (event, kind, index, rest) in enumerate(re.findall(
                r"(Created|Freeing) (input|output) (\d+) (.*)", text)):
            match = re.search(r" on (\S+) with sample \w+ (\S+ \d+ch \d+Hz)", rest)
            if event == "Created" and match:
                streams[kind, index] = [match.group(1), match.group(2), n, None]
            elif event == "Freeing" and (kind, index) in streams:
                streams[kind, index][3] = n
        return list(streams.values())

    def save_run(self, rundir):
        with open(os.path.join(rundir, "streams.txt"), "w") as f:
            f.write("".join("%r\n" % s for s in self.streams()))
        for n, audio in enumerate(self.audio(), 1):
            with open(os.path.join(rundir, "stream-%d.raw" % n), "wb") as f:
                f.write(audio)

    def close(self):
        self.tap.close()
        stop(self.process)
        self.log.close()


def pump(source, sink, keep):
    """Passes one direction of a connection on, keeping what passed."""
    with source, sink:
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                if keep is not None:
                    keep += data
                sink.sendall(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def base_environment(work):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "PULSE", "DISPLAY", "XDG_"))}
    runtime = os.path.join(work, "runtime")
    home = os.path.join(work, "home")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    os.makedirs(home, exist_ok=True)
    env.update({
        "XDG_RUNTIME_DIR": runtime,
        "HOME": home,
        "WINEDEBUG": os.environ.get("KALVORN_RIG_WINEDEBUG", "-all"),
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # Where no sound server is wanted, this names one that is not there.
        "PULSE_SERVER": "unix:" + os.path.join(runtime, "no-sound-server"),
    })
    return env


def make_template(loader, templates):
    """The path of a Wine prefix booted once per Wine under templates, which
    every run shares through link_prefix. One prefix runs both architectures'
    programs; it is made anew when the Wine is another."""
    os.makedirs(templates, exist_ok=True)
    version = subprocess.run([loader, "--version"], capture_output=True,
                             timeout=60, check=True).stdout
    template = os.path.join(templates, "prefix-" + version.split()[0].decode())
    ready = os.path.join(template, ".ready")
    with open(template + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(ready):
            with open(ready, "rb") as f:
                if f.read() == version:
                    return template
        shutil.rmtree(template, ignore_errors=True)
        work = template + ".boot"
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        env = base_environment(work)
        env["WINEPREFIX"] = template
        display = Display(work, env)
        env["DISPLAY"] = display.name
        try:
            with open(os.path.join(work, "wineboot.log"), "wb") as out:
                def wine(*args, timeout=240):
                    subprocess.run([loader] + list(args), stdout=out,
                                   stderr=subprocess.STDOUT, env=env,
                                   timeout=timeout, check=True)
                wine("wineboot", "-i")
                # A crash ends the process at once: no debugger, no dialog.
                wine("reg", "delete",
                     r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug",
                     "/v", "Debugger", "/f")
                wine("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v",
                     "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f")
                # A virtual desktop, so that Wine draws title bars itself on a
                # display without a window manager.
                wine("reg", "add", r"HKCU\Software\Wine\Explorer", "/v",
                     "Desktop", "/d", "Default", "/f")
                wine("reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v",
                     "Default", "/d", "800x600", "/f")
                subprocess.run([wineserver(loader), "-w"], env=env, timeout=120,
                               check=False)
            # Wine's own fonts (Tahoma, and Marlett for the title bar's
            # buttons) are not found from the 64-bit loader's data directory
            # here; in the prefix's Fonts folder every Wine finds them.
            fonts = os.path.join(template, "drive_c", "windows", "Fonts")
            for name in ("marlett.ttf", "tahoma.ttf", "tahomabd.ttf"):
                source = os.path.join("/usr/share/wine/fonts", name)
                if os.path.exists(source) and os.path.isdir(fonts):
                    shutil.copy(source, fonts)
        finally:
            display.close()
        with open(ready, "wb") as f:
            f.write(version)
        shutil.rmtree(work, ignore_errors=True)
    return template


def link_prefix(template, prefix):
    """A prefix of its own that shares the template's files by hard links.
    Wine writes no file of a booted prefix in place: it adds files, and
    replaces its registry files whole (those are copied all the same)."""
    def link(source, target):
        try:
            if not source.endswith(".reg"):
                return os.link(source, target)
        except OSError:  # another file system: a copy will do
            pass
        shutil.copy2(source, target)
    shutil.copytree(template, prefix, symlinks=True, copy_function=link)


class Session:
    """A Wine prefix (linked to the template when new) with a display of its
    own and, when wanted, a sound board; closing it ends all of them."""

    def __init__(self, loader, templates, work, prefix, sound=True):
        template = make_template(loader, templates)
        os.makedirs(work, exist_ok=True)
        self.loader = loader
        self.env = base_environment(work)
        self.env["WINEPREFIX"] = prefix
        if not os.path.exists(prefix):
            link_prefix(template, prefix)
        self.ini = os.path.join(prefix, "drive_c", "windows", "TARVENIX.INI")
        self.display = Display(work, self.env)
        self.env["DISPLAY"] = self.display.name
        self.sound = None
        if sound:
            try:
                self.sound = SoundBoard(work, self.env)
            except Exception:
                self.display.close()
                raise
            self.env["PULSE_SERVER"] = self.sound.server

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        subprocess.run([wineserver(self.loader), "-k"], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=False)
        if self.sound is not None:
            self.sound.close()
        self.display.close()


def read_ini(path):
    """[(section, [(key, value)])] in file order, and the raw bytes."""
    with open(path, "rb") as f:
        raw = f.read()
    sections = []
    for line in raw.decode("latin-1").splitlines():
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            sections.append((line[1:-1], []))
        elif "=" in line and sections:
            key, value = line.split("=", 1)
            sections[-1][1].append((key.strip(), value.strip()))
    return sections, raw


# The checker records 16-bit mono at 11025 samples per second; the clip is
# 8-bit mono at the same rate, so Wine passes its samples on unchanged.
RECORDING_STREAM = ["kalvorn_in", "s16le 1ch 11025Hz"]
CLIP_STREAM = ["kalvorn_out", "u8 1ch 11025Hz"]
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                       "resources", "threewav.wav"), "rb") as _clip:
    CLIP_SAMPLES = _clip.read()[58:]
SILENCE = b"\x80"
PIECE = 110  # samples: 10 ms, far less than one write of Wine's to a stream


def check_clip(sound, failures):
    """The clip went to the sound server on a stream of its own format that
    opened after the recording stream and closed before it, and that stream
    carried the clip's own samples. How much of the clip Wine sends varies
    from run to run (under Wine 8 often only its first write; where a stream
    stalls it goes on from a later point of the clip), so what is asked is a
    stretch of the clip, byte for byte, at least 10 ms long: a program that
    plays nothing, or silence, or another sound, fails it."""
    def closed():
        return all(s[3] is not None for s in sound.streams())
    try:
        wait_for(closed, 10, "the sound server to close every stream")
    except RigError as error:
        failures.append(str(error))
    streams = sound.streams()
    recording = [s for s in streams if s[:2] == RECORDING_STREAM]
    playing = [s for s in streams if s[:2] == CLIP_STREAM]
    if len(recording) != 1 or len(playing) != 1:
        failures.append("expected one recording and one clip stream; the "
                        "server had %r" % streams)
    elif not recording[0][2] < playing[0][2] < playing[0][3] < recording[0][3]:
        failures.append("the clip's stream was not inside the recording's: "
                        "%r" % streams)
    # Wine writes silence of its own where a stream runs dry. Any stretch of
    # the clip 1.5 pieces long holds one of these pieces whole.
    clip = CLIP_SAMPLES.replace(SILENCE, b"")
    pieces = [clip[i:i + PIECE] for i in range(0, len(clip) - PIECE + 1, PIECE // 2)]
    sent = [a.replace(SILENCE, b"") for a in sound.audio()]
    log("sound samples sent to the server: %s" % ", ".join(str(len(a)) for a in sent))
    if not any(p in a for p in pieces for a in sent):
        failures.append("no stream carried %d samples of the clip in a row" % PIECE)


def read_boxes(directory):
    boxes = []
    for n in range(1, 100):
        path = os.path.join(directory, "box-%d.txt" % n)
        if not os.path.exists(path):
            break
        with open(path, "rb") as f:
            caption, _, text = f.read().decode("latin-1").partition("\n")
        boxes.append((caption, text))
        bmp = os.path.join(directory, "box-%d.bmp" % n)
        if os.path.exists(bmp):
            subprocess.run(["convert", bmp, os.path.join(directory, "box-%d.png" % n)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=30, check=False)
    return boxes


class Answered:
    """One program run under Wine with its message boxes answered."""

    def __init__(self, session, exe, boxanswer, rundir, last_caption=None,
                 log_name="program.log"):
        loader, env, display = session.loader, session.env, session.display
        os.makedirs(rundir, exist_ok=True)
        self.failures = []
        last_caption = last_caption or scenarios.REPORT_CAPTION
        with open(os.path.join(rundir, "boxanswer.log"), "wb") as answer_log, \
             open(os.path.join(rundir, log_name), "wb") as program_log:
            answerer = start([loader, boxanswer, windows_path(rundir),
                              last_caption, "90000"], answer_log, env)
            time.sleep(0.5)
            started_wall = time.time()
            started = time.monotonic()
            program = start([loader, exe], program_log, env)
            try:
                self.code = program.wait(timeout=90)
            except subprocess.TimeoutExpired:
                display.screenshot(os.path.join(rundir, "screen.png"))
                stop(program)
                self.code = None
                self.failures.append("%s did not end within 90s"
                                     % os.path.basename(exe))
            self.elapsed = time.monotonic() - started
            try:
                answerer.wait(timeout=15)
            except subprocess.TimeoutExpired:
                stop(answerer)
        with open(os.path.join(rundir, log_name), "rb") as f:
            self.output = f.read().decode("latin-1")
        self.boxes = read_boxes(rundir)
        # Seconds from the start of the program to each box being shown.
        self.shown = []
        for n in range(1, len(self.boxes) + 1):
            path = os.path.join(rundir, "box-%d.shown" % n)
            if os.path.exists(path):
                self.shown.append(os.stat(path).st_mtime - started_wall)


def run_once(args, scenario, run, session, rundir):
    os.makedirs(rundir)
    env, sound, display = session.env, session.sound, session.display
    if sound:
        sound.begin_run()
    result = Answered(session, args.exe, args.boxanswer, rundir,
                      log_name="kalvorn.log")
    failures = result.failures
    code, elapsed, output = result.code, result.elapsed, result.output
    if code is not None and code != 0:
        failures.append("exit code %d, expected 0" % code)
    for marker in ("Unhandled", "page fault", "starting debugger"):
        if marker in output:
            failures.append("Wine reported a fault: %r" % marker)
            break

    boxes = result.boxes
    if boxes != run.boxes:
        failures.append("message boxes differ:\n  got:      %r\n  expected: %r"
                        % (boxes, run.boxes))
    ini_path = os.path.join(env["WINEPREFIX"], "drive_c", "windows", "TARVENIX.INI")
    if not os.path.exists(ini_path):
        failures.append("no TARVENIX.INI in the Windows directory")
    else:
        shutil.copy(ini_path, os.path.join(rundir, "TARVENIX.INI"))
        settings, raw = read_ini(ini_path)
        if settings != run.settings:
            failures.append("TARVENIX.INI differs:\n  got:      %r\n  expected: %r"
                            % (settings, run.settings))
        if scenario.ini is not None and b"\r\n" in scenario.ini and \
                raw.replace(b"\r\n", b"").count(b"\n") != 0:
            failures.append("line ends of TARVENIX.INI changed")
    if sound:
        check_clip(sound, failures)
    if failures:
        display.screenshot(os.path.join(rundir, "screen.png"))
        if sound:
            sound.save_run(rundir)
    log("%s: exit %s, %d box(es), %.1fs" % (os.path.basename(rundir), code,
                                             len(boxes), elapsed))
    return failures


def run_scenario(args, name, work):
    scenario = scenarios.SCENARIOS[name]
    failures = []
    with Session(wine_loader(args.exe), args.templates, work,
                 os.path.join(work, "prefix"), sound=scenario.sound) as session:
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


def set_ini_value(path, section, key, value):
    """Sets one key of an INI file, leaving every other line as it is."""
    lines = []
    if os.path.exists(path):
        with open(path, "rb") as f:
            lines = f.read().decode("latin-1").splitlines()
    current = None
    placed = False
    out = []
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            if current == section.lower() and not placed:
                out.append("%s=%s" % (key, value))
                placed = True
            current = stripped[1:-1].lower()
        elif current == section.lower() and \
                stripped.split("=", 1)[0].strip().lower() == key.lower():
            if not placed:
                out.append("%s=%s" % (key, value))
                placed = True
            continue
        out.append(line)
    if not placed:
        if current != section.lower():
            out.append("[%s]" % section)
        out.append("%s=%s" % (key, value))
    with open(path, "wb") as f:
        f.write(("\r\n".join(out) + "\r\n").encode("latin-1"))


def show(args):
    """Runs the checker once on the virtual board, in a Wine prefix kept under
    --work (so that its TARVENIX.INI carries over to the next run), and prints
    what the operator would have seen."""
    rundir = os.path.join(args.work, "last-run")
    shutil.rmtree(rundir, ignore_errors=True)
    with Session(wine_loader(args.exe), args.templates, args.work,
                 os.path.join(args.work, "prefix")) as session:
        ini = session.ini
        if args.mixer is not None:
            set_ini_value(ini, "TvSound", "MixerIndex", str(args.mixer))
            print("=== %s: [TvSound] MixerIndex=%d ===\n" % (ini, args.mixer))
        result = Answered(session, args.exe, args.boxanswer, rundir,
                          log_name="kalvorn.log")
    for n, (caption, text) in enumerate(result.boxes, 1):
        print("=== message box %d, caption \"%s\" ===" % (n, caption))
        print(text.rstrip("\n"))
        print("=== picture: %s\n" % os.path.join(rundir, "box-%d.png" % n))
    if os.path.exists(ini):
        print("=== settings written to %s ===" % ini)
        with open(ini, "rb") as f:
            print(f.read().decode("latin-1").replace("\r\n", "\n").rstrip("\n"))
    print("\nkalvorn.exe exited with %s" % result.code)
    for failure in result.failures:
        print("problem: " + failure)
    shown_report = any(c == scenarios.REPORT_CAPTION for c, _ in result.boxes)
    return 0 if result.code == 0 and shown_report and not result.failures else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--boxanswer", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--templates", help="where Wine prefix templates live "
                        "(default: beside --work)")
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--show", action="store_true",
                        help="run once on the virtual board and print the boxes")
    parser.add_argument("--mixer", type=int,
                        help="with --show: set MixerIndex before the run")
    parser.add_argument("scenario", nargs="?", choices=sorted(scenarios.SCENARIOS))
    args = parser.parse_args()
    args.exe = os.path.abspath(args.exe)
    args.boxanswer = os.path.abspath(args.boxanswer)
    args.work = os.path.abspath(args.work)
    args.templates = os.path.abspath(args.templates or
                                     os.path.dirname(os.path.abspath(args.work)))
    if args.show:
        try:
            return show(args)
        except (RigError, subprocess.SubprocessError, OSError) as error:
            print("rig: %s" % error)
            return 1
    if args.scenario is None:
        parser.error("name a scenario, or give --show")
    log("%s: %s, with %s" % (args.scenario,
                             scenarios.SCENARIOS[args.scenario].description,
                             args.exe))
    shutil.rmtree(args.work, ignore_errors=True)  # whatever an earlier run left
    passed = 0
    for attempt in range(1, args.repeat + 1):
        work = args.work if args.repeat == 1 else \
            os.path.join(args.work, "repeat-%d" % attempt)
        try:
            failures = run_scenario(args, args.scenario, work)
        except (RigError, subprocess.SubprocessError, OSError) as error:
            failures = ["rig: %s" % error]
        if failures:
            log("FAILED (kept %s):\n  %s" % (work, "\n  ".join(failures)))
        else:
            passed += 1
            if args.repeat > 1:
                shutil.rmtree(work, ignore_errors=True)
    failed = args.repeat - passed
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
