"""What the checker must show and write on the virtual sound board.

Every expected text is put together here from the report's passages, each
stated once below, by the rules the checker follows. What Wine's mixers offer
(as the scenarios' reports bear out) is:

  mixer 0  the default playback endpoint: one speakers destination with a
           volume and a mute control, and one wave-output source with a mute
  mixer 1  the null sink, the same shape as mixer 0
  mixer 2  the default recording endpoint: one wave-input destination with
           volume and mute controls (no multiplexer, no mixer control), and
           one microphone source with a mute; no line or auxiliary source
  mixer 3  the null source, and mixer 4 the null sink's monitor: as mixer 2
"""
from session.prefix import REPORT_CAPTION

NO_MIXER = ("\nOops. There appears to be no mixer on your machine. No automatic "
            "L/R switching will be possible.\n")
NO_FADER = ("\nTarvenix failed to locate the main L/R fader. Automatic routing "
            "of two radio audio will NOT be possible.\n")
NO_WAVE_MUTE = ("\nTarvenix failed to find a wave mute switch on the output "
                "mixer. It will not be possible to automatically route your mic "
                "through your sound board to two radios on the L/R sound board "
                "outputs.\n")
NO_MIC_MUTE = ("\nTarvenix failed to find a mic mute switch on the output mixer. "
               "It will not be possible to automatically route your mic through "
               "your sound board.\n")
NO_SWITCHING = ("\nKalvorn could not find a MUX or MUTE switches for MIC and LINE "
                "on your board's waveform input. Tarvenix will be unable to "
                "automatically switch in the mic for the SHIFT+F keys and back to "
                "the line input for tape loop recording.\n")
NO_RECORDING = ("\nOops. Failed to even start a recording session on the sound "
                "board. No sound operations are possible.\n")
PLAYS_WHILE_RECORDING = ("\nYour sound board does support simultaneous play and "
                         "record. It will support Dravoly on two radios\n")
NO_PLAY_WHILE_RECORDING = ("\nYour sound board does NOT support simultaneous play "
                           "and record. It will NOT support Dravoly on two radios "
                           "simultaneously\n")
NOT_FULL_SUPPORT = "\n\nYOUR SOUND BOARD DOES NOT SUPPORT FULL TWO-RADIO OPERATION\n"


def no_answer(parts):
    return ("\nYour sound system stopped answering during %s. What it did not answer "
            "is unknown, not absent: the passages above about it may not hold for your "
            "sound board, the score counts none of it, and the settings that depend on "
            "it were left as they were (any other was written as usual). Run Kalvorn "
            "again once your sound system works.\n" % parts)


SCORE_LEAD = "\n\nYour board's score is: "

LINE_INPUT_CAPTION = "Tarvenix Sound"
LINE_INPUT_TEXT = ("Kalvorn failed to find a LINE input. Some sound board drivers "
                   "label it AUX instead. Kalvorn is adjusting your TARVENIX.INI to "
                   "look for the other kind of label the next time you run it")

LINE_INPUT_BOX = (LINE_INPUT_CAPTION, LINE_INPUT_TEXT)


def report(passages, score):
    return (REPORT_CAPTION, "".join(passages) + SCORE_LEAD + "%x\n" % score)


# Mixer 0, playback endpoint: fader (0x02) and wave mute (0x04) found, no
# microphone source on the output (NO_MIC_MUTE), no wave-input destination, so
# no input switching (NO_SWITCHING) and no line-input box; the recording starts (0x20) and the
# clip plays (0x40); with the mixer (0x01): 0x67.
PLAYBACK_MIXER_REPORT = report(
    [NO_MIC_MUTE, NO_SWITCHING, PLAYS_WHILE_RECORDING, NOT_FULL_SUPPORT], 0x67)

# Mixer 2, recording endpoint: no speakers destination (NO_FADER, NO_WAVE_MUTE,
# NO_MIC_MUTE); the wave input has a microphone with a mute but no line source
# of either profile's type and no selector, so no switching (NO_SWITCHING) and
# the line-input box first;
# mixer, recording and playback: 0x61.
RECORDING_MIXER_REPORT = report(
    [NO_FADER, NO_WAVE_MUTE, NO_MIC_MUTE, NO_SWITCHING, PLAYS_WHILE_RECORDING,
     NOT_FULL_SUPPORT], 0x61)

# No mixer under the index: NO_MIXER to NO_MIC_MUTE, and NO_SWITCHING;
# recording and playback: 0x60.
NO_MIXER_REPORT = report(
    [NO_MIXER, NO_FADER, NO_WAVE_MUTE, NO_MIC_MUTE, NO_SWITCHING,
     PLAYS_WHILE_RECORDING, NOT_FULL_SUPPORT], 0x60)

# No sound server: Wine offers no mixer and cannot play the clip
# (NO_PLAY_WHILE_RECORDING). Its
# wave-audio MCI driver opens a new recording, takes the format and accepts
# the record command without a device (the record only fails later, in the
# driver's own thread), so the recording counts as started: 0x20.
NO_SOUND_SERVER_REPORT = report(
    [NO_MIXER, NO_FADER, NO_WAVE_MUTE, NO_MIC_MUTE, NO_SWITCHING,
     NO_PLAY_WHILE_RECORDING, NOT_FULL_SUPPORT], 0x20)

PORTS_PLAYED = [("dvkechomic", "1"), ("dvkstoploop", "1")]
PORTS_NOT_PLAYED = [("dvkechomic", "1"), ("dvkstoploop", "2")]

# A run whose sound server fails must show its report within 25 s of the
# start (the checker's bound) and end within 40 s; a freeze lasts until then,
# so that a wait the checker does not bound is red.
REPORT_WITHIN = 25
RUN_LIMIT = 40

# A fault run starts from settings a failed run would not write, so that a
# value written from no answer shows; what did not answer keeps them.
FAULT_INI = b"[PORTS]\r\ndvkechomic=2\r\ndvkstoploop=1\r\n"
PORTS_KEPT = [("dvkechomic", "2"), ("dvkstoploop", "1")]
PORTS_CLIP_KEPT = [("dvkechomic", "1"), ("dvkstoploop", "1")]

# The sound server frozen as the program starts: the mixer, the recording and
# the clip never answer. (Killed then, it is as if there were none at all:
# no-sound-server.)
NOTHING_ANSWERS = report(
    [NO_MIXER, NO_FADER, NO_WAVE_MUTE, NO_MIC_MUTE, NO_SWITCHING, NO_RECORDING,
     NO_PLAY_WHILE_RECORDING,
     no_answer("the mixer check, the start of the recording and the test clip"),
     NOT_FULL_SUPPORT], 0x00)
# Frozen as the recording starts: the mixer was read, and the record command
# and the clip never answer.
RECORDING_FAILS = report(
    [NO_MIC_MUTE, NO_SWITCHING, NO_RECORDING, NO_PLAY_WHILE_RECORDING,
     no_answer("the start of the recording and the test clip"), NOT_FULL_SUPPORT], 0x07)
# Killed as the clip or the recording starts: the clip fails (the record is
# accepted and fails in the driver's own thread, as with no server at all).
PLAYBACK_MIXER_NOT_PLAYED = report(
    [NO_MIC_MUTE, NO_SWITCHING, NO_PLAY_WHILE_RECORDING, NOT_FULL_SUPPORT], 0x27)
# Frozen or killed as the clip starts: the clip never ends.
CLIP_UNANSWERED = report(
    [NO_MIC_MUTE, NO_SWITCHING, NO_PLAY_WHILE_RECORDING, no_answer("the test clip"),
     NOT_FULL_SUPPORT], 0x27)


def _server_fault(description, fault, outcomes, pairs=None):
    """The fault done (kind, moment, seconds) on FAULT_INI, and the report and
    [PORTS] it leaves: the first of outcomes, or another on any pair; pairs
    maps a (Wine, server) pair, as ("wine-8", "pipewire"), to more it may
    show. Then the next run, on the server resumed or anew."""
    def run(box, ports):
        return Run([box], [("PORTS", ports)])
    first = run(*outcomes[0])
    first.fault = fault
    first.pairs = {pair: [run(*o) for o in more] for pair, more in (pairs or {}).items()}
    first.pairs[None] = [run(*o) for o in outcomes[1:]]
    return Scenario(description, [first, run(PLAYBACK_MIXER_REPORT, PORTS_PLAYED)],
                    ini=FAULT_INI)


class Run:
    """One run of the checker and what must hold after it."""

    def __init__(self, boxes, settings, fault=None):
        self.boxes = boxes          # [(caption, text)] in order
        self.settings = settings    # [(section, [(key, value)])], whole file
        # ("kill" | "freeze", "start" | "recording" | "clip", seconds or None)
        # done to the server at that moment (see session.sound)
        self.fault = fault
        self.pairs = {}             # (Wine, server), or None for any: [other Runs that will do]


class Scenario:
    def __init__(self, description, runs, ini=None, sound=True, idle_sink=False):
        self.description = description
        self.runs = runs
        self.ini = ini        # bytes of TARVENIX.INI before the first run
        self.sound = sound    # start the virtual sound board (and check the clip)
        self.idle_sink = idle_sink  # no client of the rig's keeps the sink running


def _profile_runs(stored_and_written):
    runs = []
    for written in stored_and_written:
        runs.append(Run([LINE_INPUT_BOX, RECORDING_MIXER_REPORT],
                        [("TvSound", [("MixerIndex", "2"), ("LineInProfile", written)]),
                         ("PORTS", PORTS_PLAYED)]))
    return runs


def _stored_profile(stored):
    # A stored value other than 0 or 1 reads as 0 (line type); the recording
    # mixer has no line source, so the next profile, "1", is written.
    return Scenario(
        "LineInProfile holding %s reads as 0" % stored,
        [Run([LINE_INPUT_BOX, RECORDING_MIXER_REPORT],
             [("TvSound", [("MixerIndex", "2"), ("LineInProfile", "1")]),
              ("PORTS", PORTS_PLAYED)])],
        ini=("[TvSound]\r\nMixerIndex=2\r\nLineInProfile=%s\r\n" % stored).encode())


CRLF_INI = (b"[Radios]\r\nLeft=IC-7300\r\nRight=FT-991\r\n\r\n"
            b"[PORTS]\r\ncom1=9600\r\ndvkechomic=2\r\nptt=RTS\r\n\r\n"
            b"[TvSound]\r\nVolume=80\r\nMixerIndex=0\r\nLineInProfile=1\r\n")

SCENARIOS = {
    "playback-mixer": Scenario(
        "no settings file; mixer 0 is the playback endpoint",
        [Run([PLAYBACK_MIXER_REPORT], [("PORTS", PORTS_PLAYED)])]),
    "playback-mixer-idle-sink": Scenario(
        "no settings file; mixer 0, on a board whose sink is idle",
        [Run([PLAYBACK_MIXER_REPORT], [("PORTS", PORTS_PLAYED)])], idle_sink=True),
    "recording-mixer": Scenario(
        "MixerIndex names the recording endpoint's mixer",
        [Run([LINE_INPUT_BOX, RECORDING_MIXER_REPORT],
             [("TvSound", [("MixerIndex", "2"), ("LineInProfile", "1")]),
              ("PORTS", PORTS_PLAYED)])],
        ini=b"[TvSound]\r\nMixerIndex=2\r\n"),
    "no-mixer": Scenario(
        "MixerIndex names no mixer",
        [Run([NO_MIXER_REPORT],
             [("TvSound", [("MixerIndex", "9")]), ("PORTS", PORTS_PLAYED)])],
        ini=b"[TvSound]\r\nMixerIndex=9\r\n"),
    "no-sound-server": Scenario(
        "no sound server at all",
        [Run([NO_SOUND_SERVER_REPORT],
             [("PORTS", [("dvkechomic", "1"), ("dvkstoploop", "2")])])],
        sound=False),
    "other-settings-kept": Scenario(
        "a CRLF settings file with other sections and keys",
        [Run([PLAYBACK_MIXER_REPORT],
             [("Radios", [("Left", "IC-7300"), ("Right", "FT-991")]),
              ("PORTS", [("com1", "9600"), ("dvkechomic", "1"), ("ptt", "RTS"),
                         ("dvkstoploop", "1")]),
              ("TvSound", [("Volume", "80"), ("MixerIndex", "0"),
                           ("LineInProfile", "1")])])],
        ini=CRLF_INI),
    # Profile 0 finds no line source: "1"; profile 1 finds no auxiliary
    # source: "2"; 2 reads as 0 again: "1".
    "profile-alternates": Scenario(
        "LineInProfile over three runs on the recording mixer",
        _profile_runs(["1", "2", "1"]),
        ini=b"[TvSound]\r\nMixerIndex=2\r\n"),
    "profile-2": _stored_profile("2"),
    "profile-7": _stored_profile("7"),
    "profile-minus-1": _stored_profile("-1"),
    "server-frozen-at-start": _server_fault(
        "the sound server frozen as the program starts",
        ("freeze", "start", None), [(NOTHING_ANSWERS, PORTS_KEPT)]),
    "server-frozen-at-recording": _server_fault(
        "the sound server frozen as the recording starts",
        ("freeze", "recording", None), [(RECORDING_FAILS, PORTS_CLIP_KEPT)]),
    "server-frozen-at-clip": _server_fault(
        "the sound server frozen as the clip starts",
        ("freeze", "clip", None), [(CLIP_UNANSWERED, PORTS_CLIP_KEPT)]),
    "server-frozen-3s": _server_fault(
        "the sound server frozen for 3 s as the clip starts",
        ("freeze", "clip", 3), [(PLAYBACK_MIXER_REPORT, PORTS_PLAYED)]),
    # Killed, the server may leave the clip failed or never ended, each
    # reported and written as it was.
    "server-killed-at-recording": _server_fault(
        "the sound server killed as the recording starts",
        ("kill", "recording", None), [(PLAYBACK_MIXER_NOT_PLAYED, PORTS_NOT_PLAYED),
                                      (CLIP_UNANSWERED, PORTS_CLIP_KEPT)]),
    # The clip's stream made, the server is killed as the clip goes to it:
    # whether its samples got there first is a race, so any Wine may also
    # say the clip played (Wine 8 often does; Wine 10 on PipeWire did once
    # with four other rigs running).
    "server-killed-at-clip": _server_fault(
        "the sound server killed as the clip starts",
        ("kill", "clip", None), [(PLAYBACK_MIXER_NOT_PLAYED, PORTS_NOT_PLAYED),
                                 (CLIP_UNANSWERED, PORTS_CLIP_KEPT),
                                 (PLAYBACK_MIXER_REPORT, PORTS_PLAYED)]),
}
