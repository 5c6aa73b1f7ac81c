"""Wine prefixes, the session that ties one to a display and a sound
board, and one program run under it with its message boxes answered."""
import contextlib
import fcntl
import filecmp
import glob
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

from . import SessionError, start, stop, wait_for
from .display import Display
from .sound import SoundBoard


def report_caption():
    """The caption of the checker's report, the last box of a run, as the
    build (KALVORN_BUILD, else build/) gives it."""
    build = os.environ.get("KALVORN_BUILD") or os.path.join(
        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "build")
    with open(os.path.join(build, "report-caption.txt"), encoding="utf-8") as f:
        return f.read().rstrip("\n")


REPORT_CAPTION = report_caption()


def wine_loader(exe):
    """Debian's Wine loader for this exe's architecture (wineserver beside it)."""
    with open(exe, "rb") as f:
        data = f.read(4096)
    header = int.from_bytes(data[0x3C:0x40], "little")
    return "/usr/lib/wine/wine" + (
        "64" if data[header:header + 6] == b"PE\0\0\x64\x86" else "")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def base_environment(work):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "PULSE", "DISPLAY", "WAYLAND_", "XDG_", "DBUS_"))}
    # Every socket lives in the runtime directory, whose path must be short.
    runtime = tempfile.mkdtemp(prefix="kalvorn-")
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    env.update({
        "XDG_RUNTIME_DIR": runtime,
        "HOME": home,
        # Wine's own error lines (but not its notes on what it lacks) go
        # into each run's log, so that a failed run's folder holds them.
        "WINEDEBUG": os.environ.get("KALVORN_RIG_WINEDEBUG", "-all,err+all"),
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


def boot(loader, env, log_path, desktop=True):
    """Makes the prefix env names, with no crash dialog and, unless told
    otherwise, a virtual desktop, and waits until Wine has written it."""
    with open(log_path, "wb") as out:
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
        if desktop:
            # A virtual desktop, so that Wine draws title bars itself on a
            # display without a window manager.
            wine("reg", "add", r"HKCU\Software\Wine\Explorer", "/v",
                 "Desktop", "/d", "Default", "/f")
            wine("reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v",
                 "Default", "/d", "800x600", "/f")
        subprocess.run([os.path.join(os.path.dirname(loader), "wineserver"), "-w"],
                       env=env, timeout=120, check=False)


def share_wine_files(prefix):
    """Replaces each file of the prefix's Windows folder that is, byte for
    byte, one of the Wine's own Windows programs and libraries by a symbolic
    link to it: wineboot copies them all into the prefix (about 0.8 GB a
    Wine and architecture), and Wine loads its own from where it is
    installed all the same, finding them in the prefix only as a name to
    open and a header that marks them as Wine's."""
    installed = {}
    for folder in glob.glob("/usr/lib/*/wine/*-windows"):
        for name in os.listdir(folder):
            installed.setdefault(name.lower(), []).append(os.path.join(folder, name))
    for folder, _, names in os.walk(os.path.join(prefix, "drive_c", "windows")):
        for name in names:
            path = os.path.join(folder, name)
            for original in installed.get(name.lower(), []):
                if not os.path.islink(path) and filecmp.cmp(original, path, shallow=False):
                    os.remove(path)
                    os.symlink(original, path)


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
            boot(loader, env, os.path.join(work, "wineboot.log"))
            # Wine's own fonts (Tahoma, and Marlett for the title bar's
            # buttons) are not found from the 64-bit loader's data directory
            # here; in the prefix's Fonts folder every Wine finds them.
            fonts = os.path.join(template, "drive_c", "windows", "Fonts")
            for name in ("marlett.ttf", "tahoma.ttf", "tahomabd.ttf"):
                source = os.path.join("/usr/share/wine/fonts", name)
                if os.path.exists(source) and os.path.isdir(fonts):
                    shutil.copy(source, fonts)
            share_wine_files(template)
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


def backtraces(loader, env, path):
    """Where each thread of the session's Windows processes stands, as Wine's
    debugger tells it: what a program that did not end was waiting on."""
    with open(path, "wb") as out:
        with contextlib.suppress(subprocess.SubprocessError, OSError):
            subprocess.run([loader, "winedbg", "--command", "bt all"], stdout=out,
                           stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                           env=env, timeout=60, check=False)


def start_answerer(session, boxanswer, rundir, last_caption, log):
    """boxanswer.exe, once it has made a window of its own. Wine 8's desktop
    process, explorer.exe, now and then dies as it starts ("failed to map the
    shared user data"), and then no program of that Wine session can show a
    window at all; the session's Wine is then ended, for the next program to
    start it anew, three times at most."""
    ready = os.path.join(rundir, "ready")
    for _ in range(3):
        answerer = start([session.loader, boxanswer, windows_path(rundir), last_caption,
                          "90000"], log, session.env)
        wait_for(lambda: os.path.exists(ready) or answerer.poll() is not None, 60,
                 "boxanswer.exe to make its window")
        if os.path.exists(ready):
            return answerer
        said = "Wine's desktop did not start; its session is started anew"
        print("rig: " + said, flush=True)
        log.write(("rig: %s\n" % said).encode())
        log.flush()
        subprocess.run([os.path.dirname(session.loader) + "/wineserver", "-k"],
                       env=session.env, timeout=30, check=False)
    raise SessionError("Wine's desktop did not start three times (see boxanswer.log)")


class Answered:
    """One program run under Wine with its message boxes answered."""

    def __init__(self, session, exe, boxanswer, rundir,
                 last_caption=REPORT_CAPTION, timeout=90, on_start=None, command=None):
        """command, where given, starts exe (as the launcher does) in place of Wine."""
        loader, env, display = session.loader, session.env, session.display
        os.makedirs(rundir, exist_ok=True)
        self.failures = []
        log_path = os.path.join(rundir, os.path.basename(exe)[:-4] + ".log")
        with open(os.path.join(rundir, "boxanswer.log"), "wb") as answer_log, \
             open(log_path, "wb") as program_log:
            answerer = start_answerer(session, boxanswer, rundir, last_caption, answer_log)
            if on_start:
                on_start()
            started_wall = time.time()
            started = time.monotonic()
            program = start(command or [loader, exe], program_log, env)
            try:
                self.code = program.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                display.screenshot(os.path.join(rundir, "screen.png"))
                backtraces(loader, env, os.path.join(rundir, "backtraces.txt"))
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

