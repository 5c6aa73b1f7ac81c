"""A Wine session of Kalvorn's own on a virtual display and a virtual sound
board, shared by scripts/run-kalvorn (--virtual), the benchmark and the
end-to-end tests:

  display   an Xvfb server on a free display number
  sound     a sound server (PulseAudio or PipeWire) with a null sink and a
            null source, reached through the tap
  tap       reads the conversation of each client with the sound server
  prefix    Wine prefixes booted once and linked, the session that ties a
            prefix to a display and a sound board, and one program run
            under it with its message boxes answered
  settings  reads and sets TARVENIX.INI, and tells what its values and the
            report's score mean
  virtual   one run on the virtual board, shown as the operator would see it

Processes started here are ended here, by their own id; everything that
waits has a bound.
"""
import contextlib
import os
import signal
import subprocess
import time


class SessionError(Exception):
    pass


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.05)
    raise SessionError("timed out after %gs waiting for %s" % (timeout, what))


def stop(process, timeout=5):
    """Ends a process of the session's and its group: asked first, then made."""
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
