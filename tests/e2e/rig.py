#!/usr/bin/env python3
"""Runs kalvorn.exe under Wine on a virtual display and a virtual sound board.

Each scenario gets its own Xvfb display, sound server (PulseAudio or PipeWire
with a null sink and a null source, reached through a tap that reads the
streams its clients make), Wine prefix (hard links to one booted per Wine)
and home under --work, and runtime directory under /tmp. boxanswer.exe, in
the same Wine session, reads and answers every message box. The rig compares
the boxes, the exit code and TARVENIX.INI with the scenario, and checks from
the streams that the clip was played while the recording ran; on a failure
it keeps logs, the settings file, the streams and a screenshot.

Usage: rig.py --exe KALVORN --boxanswer BOXANSWER --work DIR SCENARIO
       rig.py ... --repeat N SCENARIO   (N runs, each checked; counts printed)
       rig.py ... --show   (one run, nothing expected: prints what was shown)
"""
import argparse
import contextlib
import fcntl
import itertools
import os
import pathlib
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenarios  # noqa: E402


class RigError(Exception):
    pass


def log(message):
    print("rig: " + message, flush=True)


def wine_loader(exe):
    """Debian's Wine loader for this exe's architecture (wineserver beside it)."""
    with open(exe, "rb") as f:
        data = f.read(4096)
    header = int.from_bytes(data[0x3C:0x40], "little")
    return "/usr/lib/wine/wine" + (
        "64" if data[header:header + 6] == b"PE\0\0\x64\x86" else "")


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
    """Ends a process of the rig's and its group: asked first, then made."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if process is None or process.poll() is not None:
            return
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, sig)
            os.killpg(process.pid, signal.SIGCONT)  # a frozen one too
        with contextlib.suppress(subprocess.TimeoutExpired):
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
    """A sound server of the rig's own with a null sink and a null source:
    PulseAudio, or PipeWire with WirePlumber and its PulseAudio server on a
    session bus of its own. Clients reach it through a tap that reads their
    conversation with it (see Connection). Unless idle, the sink runs as a
    card in use does: a client of the board's own records its monitor at a
    card-like latency, a second witness of what was played."""

    def __init__(self, work, env, server, idle=False):
        self.log = open(os.path.join(work, server + ".log"), "wb")
        self.processes, self.tap, self.streams, self.ticks = [], None, [], itertools.count()
        self.accepting, self.connections, self.tap_errors = None, 0, []
        self.monitor = None if idle else os.path.join(work, "monitor.raw")
        self.restart = lambda: self._open(dict(env), env["XDG_RUNTIME_DIR"], server)
        self.fault, self.injected, self.thaw = None, None, None
        try:
            self.restart()
            self.tap = socket.socket(socket.AF_UNIX)
            self.tap.bind(os.path.join(env["XDG_RUNTIME_DIR"], "pulse-tap"))
            self.tap.listen(16)
            self.server = "unix:" + self.tap.getsockname()
            self.accepting = threading.Thread(target=self._accept, daemon=True)
            self.accepting.start()
        except Exception:
            self.close()
            raise

    def _open(self, env, runtime, server):
        """Starts the server (anew, once the one before has been killed)."""
        for process in reversed(self.processes):
            stop(process)
        self.processes, self.real = [], os.path.join(runtime, "pulse", "native")
        real = self.real
        for stale in ("bus", "pipewire-0", real):  # what a killed server leaves
            with contextlib.suppress(FileNotFoundError):
                os.remove(os.path.join(runtime, stale))
        if server == "pipewire":
            source = ["module-null-sink", "media.class=Audio/Source/Virtual",
                      "sink_name=kalvorn_in"]
            env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(runtime, "bus")
            self._start(["dbus-daemon", "--session", "--nofork", "--address="
                         + env["DBUS_SESSION_BUS_ADDRESS"]], env, runtime + "/bus")
            # WirePlumber gives up at once when PipeWire is not there yet.
            self._start(["pipewire"], env, os.path.join(runtime, "pipewire-0"))
            self._start(["wireplumber"], env)
            self._start(["pipewire-pulse"], env, real)
        else:
            source = ["module-null-source", "source_name=kalvorn_in"]
            os.makedirs(os.path.dirname(real), mode=0o700, exist_ok=True)
            self._start(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                         "--use-pid-file=no", "--log-target=stderr", "-L",
                         "module-native-protocol-unix socket=%s auth-anonymous=1"
                         % real], env, real)
        env["PULSE_SERVER"] = "unix:" + real
        def pactl(*command, check=True):
            result = subprocess.run(("pactl",) + command, env=env, stdout=subprocess.PIPE,
                                    stderr=self.log, timeout=15, check=check)
            return result.stdout if check else result.returncode == 0
        # A socket that exists may not be served yet, and PipeWire makes the
        # null devices and takes a new default some time after it answers the
        # command: each step waits until the server shows it done.
        wait_for(lambda: pactl("info", check=False), 15, "the sound server to answer")
        pactl("load-module", "module-null-sink", "sink_name=kalvorn_out")
        pactl("load-module", *source)
        def listed(kind, name):
            return name.encode() in pactl("list", "short", kind).split()
        wait_for(lambda: listed("sinks", "kalvorn_out") and listed("sources", "kalvorn_in"),
                 15, "the null sink and source")
        for kind, name in (("sink", "kalvorn_out"), ("source", "kalvorn_in")):
            pactl("set-default-" + kind, name)
            wait_for(lambda: pactl("get-default-" + kind).strip() == name.encode(), 15,
                     "%s to be the default %s" % (name, kind))
        if self.monitor:
            self._start(["parec", "--raw", "--latency-msec=20", "--format=u8",
                         "--channels=1", "--rate=11025", "-d", "kalvorn_out.monitor",
                         self.monitor], env)
            # PulseAudio's null sink ends the block of up to 2 s it began while
            # idle first; suspended and resumed, it runs at the monitor's latency.
            wait_for(lambda: pactl("list", "short", "source-outputs"), 15, "parec")
            for suspended in "10":
                pactl("suspend-sink", "kalvorn_out", suspended)

    def _start(self, command, env, ready=None):
        """Starts command; with ready, waits until that path exists."""
        self.processes.append(start(command, self.log, env))
        def answers():
            for process in self.processes:
                if process.poll() is not None:
                    raise RigError("%s exited (see %s)" % (process.args[0], self.log.name))
            return os.path.exists(ready)
        if ready:
            wait_for(answers, 15, ready)

    def _accept(self):
        while True:
            try:
                client = self.tap.accept()[0]
            except OSError:
                return
            upstream = socket.socket(socket.AF_UNIX)
            try:
                upstream.connect(self.real)
            except OSError as error:
                self.tap_errors.append("a client's connection could not reach the "
                                       "sound server: %s" % error)
                client.close()
                upstream.close()
                continue
            self.connections += 1
            connection = Connection(self)
            for pair in ((client, upstream, True), (upstream, client, False)):
                threading.Thread(target=pump, args=pair + (connection,),
                                 daemon=True).start()

    def inject(self):
        """Does the armed fault, the clip's stream having just appeared: the
        server's own processes (not the bus, nor the monitor's recorder)
        killed, or stopped and let go on after the seconds given."""
        kind, seconds = self.fault
        self.fault, self.injected = None, True
        server = [p for p in self.processes if p.args[0] not in ("dbus-daemon", "parec")]
        for process in server:
            os.kill(process.pid, signal.SIGKILL if kind == "kill" else signal.SIGSTOP)
        if kind == "freeze":
            self.thaw = threading.Timer(seconds, lambda: [
                os.kill(p.pid, signal.SIGCONT) for p in server])
            self.thaw.start()

    def seen(self):
        """One line of what the tap saw in this run."""
        return "the tap saw %d connection(s), streams %s%s" % (
            self.connections, [s[:4] for s in self.streams],
            "".join("; " + e for e in self.tap_errors))

    def begin_run(self):
        if self.monitor:
            wait_for(lambda: os.path.getsize(self.monitor), 15, "the monitor's samples")
            self.heard_from = os.path.getsize(self.monitor)
        self.streams, self.connections, self.tap_errors, self.injected = [], 0, [], None

    def heard(self):  # what the monitor recorded since the run began, u8 mono 11025
        time.sleep(0.2)  # its latency, and then some
        return pathlib.Path(self.monitor).read_bytes()[self.heard_from:]

    def save_run(self, rundir):
        with open(os.path.join(rundir, "streams.txt"), "w") as f:
            f.write("".join("%r\n" % s[:4] for s in self.streams))
        for n, stream in enumerate(self.streams, 1):
            pathlib.Path(rundir, "stream-%d.raw" % n).write_bytes(stream[4])
        if self.monitor:
            pathlib.Path(rundir, "monitor.raw").write_bytes(self.heard())

    def close(self):
        if self.tap is not None:
            # A shutdown wakes the accept; only once that thread is gone may
            # the descriptor close, or a socket opened next (the next
            # session's tap) could take its number and be accepted from here.
            with contextlib.suppress(OSError):
                self.tap.shutdown(socket.SHUT_RDWR)
            if self.accepting is not None:
                self.accepting.join(10)
            self.tap.close()
        for process in reversed(self.processes):
            stop(process)
        self.log.close()


# Commands of the PulseAudio native protocol that the tap reads: the reply,
# and a playback or record stream's creation and deletion.
REPLY = 2
CREATE = {3: "playback", 5: "record"}
DELETE = {4: "playback", 6: "record"}


class Connection:
    """One client's conversation with the sound server, read as it passes.
    A frame is a 20-byte descriptor (length, channel, offset, flags;
    big-endian) and its payload. Channel 0xffffffff carries a command: a
    tagged structure that opens with the command ('L' and 4 bytes), its
    sequence tag (the same) and the arguments, of which the tap reads the
    first: the sample format ('a', format, channels, rate) of a stream's
    creation, the channel ('L') of the reply to it and of a deletion. Other
    channels carry the samples of the playback stream on them. A stream is
    [kind, sample format, when created, when deleted, samples sent]."""

    def __init__(self, board):
        self.board, self.pending, self.streams = board, {}, {}

    def read(self, buffer, client):
        while len(buffer) >= 20 and len(buffer) >= 20 + struct.unpack_from(">I", buffer)[0]:
            length, channel = struct.unpack_from(">II", buffer)
            frame = bytes(buffer[20:20 + length])
            del buffer[:20 + length]
            if channel != 0xFFFFFFFF:
                if client and ("playback", channel) in self.streams:
                    self.streams["playback", channel][4] += frame
                continue
            if len(frame) < 15 or frame[0] != ord("L") or frame[5] != ord("L"):
                continue
            command, tag, first, number = struct.unpack_from(">xIxIcI", frame)
            if client and command in CREATE and first == b"a":
                self.pending[tag] = [CREATE[command], struct.unpack_from(">BBI", frame, 11),
                                     next(self.board.ticks), None, bytearray()]
            elif client and command in DELETE and first == b"L":
                self.delete(self.streams.get((DELETE[command], number)))
            elif not client and command == REPLY and tag in self.pending and first == b"L":
                stream = self.pending.pop(tag)
                self.streams[stream[0], number] = stream
                self.board.streams.append(stream)
                if stream[:2] == CLIP_STREAM and self.board.fault:
                    self.board.inject()

    def delete(self, stream):
        if stream is not None and stream[3] is None:
            stream[3] = next(self.board.ticks)


def pump(source, sink, client, connection):
    """Passes one direction of a connection on, each frame read before it
    passes (a reply before the client sees it); its end ends the streams."""
    buffer = bytearray()
    with source, sink:
        with contextlib.suppress(OSError):
            for data in iter(lambda: source.recv(65536), b""):
                buffer += data
                connection.read(buffer, client)
                sink.sendall(data)
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
    for stream in list(connection.streams.values()):
        connection.delete(stream)


def base_environment(work):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "PULSE", "DISPLAY", "XDG_", "DBUS_"))}
    # Every socket lives in the runtime directory, whose path must be short.
    runtime = tempfile.mkdtemp(prefix="kalvorn-")
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    env.update({
        "XDG_RUNTIME_DIR": runtime,
        "HOME": home,
        "WINEDEBUG": os.environ.get("KALVORN_RIG_WINEDEBUG", "-all"),
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # Where no sound server is wanted, this names one that is not there.
        "PULSE_SERVER": "unix:" + os.path.join(runtime, "no-sound-server"),
        "PULSE_CLIENTCONFIG": os.path.join(runtime, "client.conf"),
    })
    # No memory shared with the server: the tap passes bytes, not the file
    # descriptors that sharing needs, and all samples go through the socket.
    with open(env["PULSE_CLIENTCONFIG"], "w") as f:
        f.write("enable-shm = no\nenable-memfd = no\nautospawn = no\n")
    return env


def make_template(loader, templates):
    """The path of a Wine prefix booted once per Wine version under templates,
    which both architectures' runs share through link_prefix."""
    os.makedirs(templates, exist_ok=True)
    version = subprocess.run([loader, "--version"], capture_output=True,
                             timeout=60, check=True).stdout
    template = os.path.join(templates, "prefix-" + version.split()[0].decode())
    ready = os.path.join(template, ".ready")
    with open(template + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(ready) and pathlib.Path(ready).read_bytes() == version:
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
                subprocess.run([os.path.dirname(loader) + "/wineserver", "-w"],
                               env=env, timeout=120, check=False)
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
            shutil.rmtree(env["XDG_RUNTIME_DIR"], ignore_errors=True)
        pathlib.Path(ready).write_bytes(version)
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
    """A Wine prefix (linked to the template when new) with a display and a
    sound board of the server named (or none) of its own, ended on closing."""

    def __init__(self, loader, templates, work, prefix, server="pulseaudio", idle=False):
        template = make_template(loader, templates)
        self.wine = os.path.basename(template)[len("prefix-"):]  # e.g. wine-8.0
        os.makedirs(work, exist_ok=True)
        self.loader = loader
        if not os.path.exists(prefix):
            link_prefix(template, prefix)
        self.env = base_environment(work)
        self.env["WINEPREFIX"] = prefix
        self.ini = os.path.join(prefix, "drive_c", "windows", "TARVENIX.INI")
        self.display, self.sound = None, None
        try:
            self.display = Display(work, self.env)
            self.env["DISPLAY"] = self.display.name
            if server:
                self.sound = SoundBoard(work, self.env, server, idle)
                self.env["PULSE_SERVER"] = self.sound.server
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def close(self):
        """Ends Wine, then the sound server and the display, then removes the
        runtime directory, each whatever became of the one before."""
        if self.display is not None:
            with contextlib.suppress(OSError, subprocess.SubprocessError):
                subprocess.run([os.path.dirname(self.loader) + "/wineserver", "-k"],
                               env=self.env, timeout=30, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, check=False)
        if self.sound is not None:
            self.sound.close()
        if self.display is not None:
            self.display.close()
        shutil.rmtree(self.env["XDG_RUNTIME_DIR"], ignore_errors=True)


def read_ini(path):
    """[(section, [(key, value)])] in file order, and the raw bytes."""
    raw = pathlib.Path(path).read_bytes()
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
# 8-bit mono at the same rate, so Wine passes its samples on unchanged. A
# sample format: PulseAudio's (0 u8, 3 s16le), channels, rate.
RECORDING_STREAM = ["record", (3, 1, 11025)]
CLIP_STREAM = ["playback", (0, 1, 11025)]
CLIP_SAMPLES = pathlib.Path(__file__).resolve().parents[2].joinpath(
    "resources", "threewav.wav").read_bytes()[58:]
PADDING = b"\x00\x80"  # what Wine writes where a stream runs dry, even mid-clip


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
        wait_for(lambda: all(s[3] is not None for s in sound.streams), 10,
                 "every stream to be deleted")
    except RigError as error:
        failures.append(str(error))
    streams = [s[:4] for s in sound.streams]
    recording = [s for s in sound.streams if s[:2] == RECORDING_STREAM]
    playing = [s for s in sound.streams if s[:2] == CLIP_STREAM]
    if len(recording) != 1 or len(playing) != 1:
        failures.append("expected one recording and one clip stream; clients "
                        "made %r" % streams)
        return
    if not recording[0][2] < playing[0][2] < playing[0][3] < recording[0][3]:
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
            len(playing[0][4]), len(compared), len(wanted), wanted.count(0),
            wanted.count(0x80), "%d samples" % heard if sound.monitor else "none (an idle sink)"))
    if compared not in bytes(playing[0][4]).translate(None, PADDING):
        failures.append("the clip's stream did not carry %s in order" % (
            "the whole clip" if sound.monitor else "its first write (25 ms)"))
    if sound.monitor and heard < 0.9 * len(CLIP_SAMPLES):
        failures.append("the sink's monitor heard a tone for %d samples, less than "
                        "90%% of the clip's %d" % (heard, len(CLIP_SAMPLES)))


def read_boxes(directory):
    boxes = []
    for n in range(1, 100):
        path = os.path.join(directory, "box-%d.txt" % n)
        if not os.path.exists(path):
            break
        caption, _, text = pathlib.Path(path).read_bytes().decode("latin-1").partition("\n")
        boxes.append((caption, text))
        bmp = os.path.join(directory, "box-%d.bmp" % n)
        if os.path.exists(bmp):
            subprocess.run(["convert", bmp, os.path.join(directory, "box-%d.png" % n)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=30, check=False)
    return boxes


class Answered:
    """One program run under Wine with its message boxes answered."""

    def __init__(self, session, exe, boxanswer, rundir,
                 last_caption=scenarios.REPORT_CAPTION, timeout=90):
        loader, env, display = session.loader, session.env, session.display
        os.makedirs(rundir, exist_ok=True)
        self.failures = []
        log_path = os.path.join(rundir, os.path.basename(exe)[:-4] + ".log")
        with open(os.path.join(rundir, "boxanswer.log"), "wb") as answer_log, \
             open(log_path, "wb") as program_log:
            answerer = start([loader, boxanswer, windows_path(rundir),
                              last_caption, "90000"], answer_log, env)
            time.sleep(0.5)
            started_wall = time.time()
            started = time.monotonic()
            program = start([loader, exe], program_log, env)
            try:
                self.code = program.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                display.screenshot(os.path.join(rundir, "screen.png"))
                stop(program)
                self.code = None
                self.failures.append("%s did not end within %gs"
                                     % (os.path.basename(exe), timeout))
            self.elapsed = time.monotonic() - started
            with contextlib.suppress(subprocess.TimeoutExpired):
                answerer.wait(timeout=15)
            stop(answerer)
        self.output = pathlib.Path(log_path).read_bytes().decode("latin-1")
        self.boxes = read_boxes(rundir)
        # Seconds from the start of the program to each box being shown.
        shown = [os.path.join(rundir, "box-%d.shown" % n)
                 for n in range(1, len(self.boxes) + 1)]
        self.shown = [os.stat(p).st_mtime - started_wall for p in shown if os.path.exists(p)]


def run_once(args, scenario, run, session, rundir):
    os.makedirs(rundir)
    sound, display = session.sound, session.display
    if sound:
        sound.begin_run()
        sound.fault = run.fault
    result = Answered(session, args.exe, args.boxanswer, rundir, timeout=run.within or 90)
    failures = result.failures
    if run.wine_may_crash and (result.code == -11 or result.code == 1 and
                               "Fatal glibc error" in result.output):
        log("%s itself ended the program with %s, after its report" % (
            session.wine, "SIGSEGV" if result.code == -11 else "glibc's assertion"))
    elif result.code is not None and result.code != 0:
        said = result.output.strip().splitlines()
        failures.append("exit code %d, expected 0%s" % (
            result.code, " (Wine said: %s)" % said[-1] if said else ""))
    for marker in ("Unhandled", "page fault", "starting debugger"):
        if marker in result.output:
            failures.append("Wine reported a fault: %r" % marker)
            break

    boxes = result.boxes
    expected = next((r for r in [run] + list(run.others) if r.boxes == boxes), run)
    if boxes != expected.boxes:
        failures.append("message boxes differ:\n  got:      %r\n  expected: %r"
                        % (boxes, expected.boxes))
    if not os.path.exists(session.ini):
        failures.append("no TARVENIX.INI in the Windows directory")
    else:
        shutil.copy(session.ini, os.path.join(rundir, "TARVENIX.INI"))
        settings, raw = read_ini(session.ini)
        if settings != expected.settings:
            failures.append("TARVENIX.INI differs:\n  got:      %r\n  expected: %r"
                            % (settings, expected.settings))
        if scenario.ini is not None and b"\r\n" in scenario.ini and \
                raw.replace(b"\r\n", b"").count(b"\n") != 0:
            failures.append("line ends of TARVENIX.INI changed")
    if sound and run.fault:  # then the next run, on the server resumed or anew
        if sound.injected is None:
            failures.append("the clip's stream never appeared, so no fault was made")
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
    log("%s: exit %s, %d box(es), %.1fs" % (os.path.basename(rundir), result.code,
                                             len(boxes), result.elapsed))
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


def set_ini_value(path, section, key, value):
    """Sets one key of an INI file, leaving every other line as it is."""
    lines = []
    if os.path.exists(path):
        lines = pathlib.Path(path).read_bytes().decode("latin-1").splitlines()
    entry, current, at = "%s=%s" % (key, value), None, None
    for n, line in enumerate(lines):
        name = line.strip().lower()
        if name.startswith("[") and name.endswith("]"):
            current = name[1:-1]
            at = n + 1 if current == section.lower() else at
        elif current == section.lower() and name.split("=")[0].strip() == key.lower():
            lines[n] = entry
            break
    else:
        if at is None:
            lines += ["[%s]" % section, entry]
        else:
            lines.insert(at, entry)
    pathlib.Path(path).write_bytes(("\r\n".join(lines) + "\r\n").encode("latin-1"))


def show(args):
    """Runs the checker once on the virtual board, in a Wine prefix kept under
    --work (so that its TARVENIX.INI carries over to the next run), and prints
    what the operator would have seen."""
    rundir = os.path.join(args.work, "last-run")
    shutil.rmtree(rundir, ignore_errors=True)
    with Session(wine_loader(args.exe), args.templates, args.work,
                 os.path.join(args.work, "prefix"), args.server) as session:
        ini = session.ini
        if args.mixer is not None:
            set_ini_value(ini, "TvSound", "MixerIndex", str(args.mixer))
            print("=== %s: [TvSound] MixerIndex=%d ===\n" % (ini, args.mixer))
        result = Answered(session, args.exe, args.boxanswer, rundir)
    for n, (caption, text) in enumerate(result.boxes, 1):
        print("=== message box %d, caption \"%s\" ===" % (n, caption))
        print(text.rstrip("\n"))
        print("=== picture: %s\n" % os.path.join(rundir, "box-%d.png" % n))
    if os.path.exists(ini):
        print("=== settings written to %s ===" % ini)
        text = pathlib.Path(ini).read_bytes().decode("latin-1")
        print(text.replace("\r\n", "\n").rstrip("\n"))
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
    parser.add_argument("--templates", required=True,
                        help="where the booted Wine prefixes live")
    parser.add_argument("--server", choices=("pulseaudio", "pipewire"),
                        default="pulseaudio", help="the virtual board's sound server")
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--show", action="store_true",
                        help="run once on the virtual board and print the boxes")
    parser.add_argument("--mixer", type=int,
                        help="with --show: set MixerIndex before the run")
    parser.add_argument("scenario", nargs="?", choices=sorted(scenarios.SCENARIOS))
    args = parser.parse_args()
    for name in ("exe", "boxanswer", "work", "templates"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    if args.show:
        try:
            return show(args)
        except (RigError, subprocess.SubprocessError, OSError) as error:
            log(str(error))
            return 1
    if args.scenario is None:
        parser.error("name a scenario, or give --show")
    log("%s: %s, with %s on %s" % (args.scenario, scenarios.SCENARIOS[
        args.scenario].description, args.exe, args.server))
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
    print("%d passed, %d failed" % (passed, args.repeat - passed))
    return 0 if passed == args.repeat else 1


if __name__ == "__main__":
    sys.exit(main())
