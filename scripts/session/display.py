"""The virtual display."""
import os
import select
import subprocess

from . import SessionError, start, stop, wait_for


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
            raise SessionError("Xvfb did not start (see xvfb.log)")
        self.name = ":" + number

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.name, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=20, check=False)

    def close(self):
        stop(self.process)
        os.close(self.read_end)
        self.log.close()



class Compositor:
    """A headless Weston: a Wayland display, and no X server at all."""

    def __init__(self, work, env):
        self.log = open(os.path.join(work, "weston.log"), "wb")
        self.name = "kalvorn-wayland"
        self.process = start(["weston", "--backend=headless", "--socket=" + self.name,
                              "--idle-time=0"], self.log, env)
        socket = os.path.join(env["XDG_RUNTIME_DIR"], self.name)
        try:
            wait_for(lambda: os.path.exists(socket) or self.process.poll() is not None, 15,
                     "Weston's socket")
        except SessionError:
            pass
        if not os.path.exists(socket):
            self.close()
            raise SessionError("Weston did not start (see weston.log)")

    def screenshot(self, path):
        """Nothing: a headless Weston keeps no picture to take."""

    def close(self):
        stop(self.process)
        self.log.close()
