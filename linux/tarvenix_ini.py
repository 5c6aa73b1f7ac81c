"""TARVENIX.INI, read and set as Tarvenix and the checker read and write it,
and what its values and the report's score mean to an operator. Installed
beside the launcher (kalvorn); the virtual board reads it too."""
import os
import pathlib


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


# The report's score: the sum of these capabilities, in hexadecimal.
SCORE_BITS = [
    (0x01, "a mixer exists"),
    (0x02, "the output mixer has a main L/R fader"),
    (0x04, "the output mixer has a wave mute switch"),
    (0x08, "the output mixer has a mic mute switch"),
    (0x10, "the recording input switches between mic and line by itself"),
    (0x20, "a recording can start"),
    (0x40, "the board plays while it records"),
]

# What each value the checker writes means for Tarvenix.
MEANINGS = {
    ("PORTS", "dvkechomic", "1"): "you route the mic to the radios yourself "
    "(the output mixer cannot mute both wave and mic)",
    ("PORTS", "dvkechomic", "2"): "Tarvenix routes the mic through the board",
    ("PORTS", "dvkstoploop", "1"): "the tape loop keeps recording while you "
    "transmit (the board plays while it records)",
    ("PORTS", "dvkstoploop", "2"): "the tape loop stops while you transmit "
    "(the board did not play while it recorded)",
    ("TvSound", "LineInProfile", "1"): "the next run looks for the line input "
    "labelled AUX; run the checker again",
    ("TvSound", "LineInProfile", "2"): "the next run looks for the line input "
    "labelled LINE again; run the checker again",
}


def explain_score(score):
    """Lines telling what a score is made of and what it lacks."""
    found = [(bit, what) for bit, what in SCORE_BITS if score & bit]
    lines = ["score %x = %s" % (score, " + ".join("%x" % b for b, _ in reversed(found))
                                 or "0")]
    for bit, what in SCORE_BITS:
        lines.append("  %02x %s %s" % (bit, "yes" if score & bit else "no ", what))
    return lines


def values(path):
    """{(section, key): value} of an INI file, names in lower case; {} when
    there is no such file."""
    if not path or not os.path.exists(path):
        return {}
    return {(s.lower(), k.lower()): v for s, keys in read_ini(path)[0] for k, v in keys}


# Written only when the run did not find the line input; otherwise the
# value stays as it was, whatever it is, and is not the run's to explain.
ONLY_WHEN_WRITTEN = {("tvsound", "lineinprofile")}


def written(path, old=None):
    """Lines naming each value the checker writes as it stands in path, with
    what it means, and whether this run changed it (given the values of
    before, as values() reads them)."""
    now, old = values(path), old or {}
    lines = []
    for section, key in dict.fromkeys((s, k) for s, k, _ in MEANINGS):
        name = (section.lower(), key.lower())
        value, same = now.get(name), old.get(name) == now.get(name)
        if value is None or (same and name in ONLY_WHEN_WRITTEN):
            continue
        lines.append("[%s] %s=%s%s: %s" % (
            section, key, value, " (as before)" if same else "",
            MEANINGS.get((section, key, value), "a value Tarvenix does not know")))
    return lines
