"""TARVENIX.INI on the virtual board: the launcher's reading of it
(linux/tarvenix_ini.py), and a command line to it.

Usage: python3 -m session.settings set INI SECTION KEY VALUE
       python3 -m session.settings written INI [BEFORE]
           (what the checker wrote into INI, BEFORE being a copy from
           before the run, and what each value means)
       python3 -m session.settings score [HEX]   (the score, bit by bit)
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "linux"))
from tarvenix_ini import (  # noqa: E402
    SCORE_BITS, explain_score, set_ini_value, values, written)


def main(args):
    if args[:1] == ["set"] and len(args) == 5:
        set_ini_value(*args[1:])
    elif args[:1] == ["written"] and len(args) in (2, 3):
        print("\n".join(written(args[1], values(args[2]) if len(args) == 3 else None)))
    elif args[:1] == ["score"] and len(args) == 2:
        print("\n".join(explain_score(int(args[1], 16))))
    elif args == ["score"]:
        print("\n".join("  %02x %s" % bit for bit in SCORE_BITS))
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
