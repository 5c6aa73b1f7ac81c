"""The virtual sound board: a sound server of the session's own."""
import contextlib
import itertools
import os
import pathlib
import signal
import socket
import subprocess
import threading
import time

from . import SessionError, start, stop, wait_for
from .tap import CLIP_STREAM, RECORDING_STREAM, Connection, pump

# The moments a fault can be done at, other than the program's start: as the
# stream of the recording, or of the clip, has just been made.
MOMENTS = {"recording": RECORDING_STREAM, "clip": CLIP_STREAM}


class SoundBoard:
    """A sound server of the session's own with a null sink and a null source:
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
        # A fault: (kind, moment, seconds); see inject and MOMENTS.
        self.fault, self.injected, self.thaw, self.frozen = None, None, None, []
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
                    raise SessionError("%s exited (see %s)" % (process.args[0], self.log.name))
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

    def stream_made(self, stream):
        """Does the armed fault when its moment's stream has just been made."""
        if self.fault and self.fault[1] in MOMENTS and stream.of(MOMENTS[self.fault[1]]):
            self.inject()

    def inject(self):
        """Does the armed fault: the server's own processes (not the bus, nor
        the monitor's recorder) killed, or stopped until resumed, after the
        seconds given or, where none are, when the run is over."""
        kind, _, seconds = self.fault
        self.fault, self.injected = None, True
        server = [p for p in self.processes if p.args[0] not in ("dbus-daemon", "parec")]
        self.frozen = server if kind == "freeze" else []
        for process in server:
            os.kill(process.pid, signal.SIGKILL if kind == "kill" else signal.SIGSTOP)
        if kind == "freeze" and seconds is not None:
            self.thaw = threading.Timer(seconds, self.resume)
            self.thaw.start()

    def resume(self):
        """Lets a frozen server go on."""
        for process in self.frozen:
            with contextlib.suppress(ProcessLookupError):
                os.kill(process.pid, signal.SIGCONT)
        self.frozen = []

    def seen(self):
        """One line of what the tap saw in this run."""
        return "the tap saw %d connection(s), streams %s%s" % (
            self.connections, [s.brief() for s in self.streams],
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
            f.write("".join("%r\n" % s.brief() for s in self.streams))
        for n, stream in enumerate(self.streams, 1):
            pathlib.Path(rundir, "stream-%d.raw" % n).write_bytes(stream.samples)
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
