#!/usr/bin/python3
"""Listens to the rendered sound of the sound_drive scenario (drive.wav in the
game folder given) and checks what a player hears:

- each station starts at its broadcast position: where the mix matches the
  station's file, found by cross-correlation, lies within 10 ms of the
  scenario's game clock plus the saved offset, modulo the file's length;
- the station fades in to the game's radio volume in the time the fade takes
  (0.1% of the volume per tick on odd clock values), not at once;
- nothing is heard while the player is out of the car, and the station is
  heard before;
- a jingle is heard while the second station opens;
- a playlist's first song runs straight into its second, with no gap or
  overlap, where the stream's start and the first song's place say.

Times come from the drive's timeline and the audio library's record, the
sound only from drive.wav and the source files."""
import os
import sys
from fractions import Fraction

import numpy as np
import soundfile
from scipy.signal import correlate, resample_poly

TOLERANCE_SECONDS = 0.010
MATCH_WINDOW_SECONDS = 1.0
MATCH_SETTLE_SECONDS = 0.1
LEAST_MATCH = 0.9  # normalised correlation of a sound that is really there
GAIN_WINDOW_SECONDS = 0.05
GAIN_LEAST_SOURCE_RMS = 0.02
FULL_SHARE = 0.97
HALF_SHARE = 0.5
LEAST_HALF_SECONDS = 0.4  # a fade, not a jump
FADE_SECONDS = (1.0, 6.0)  # 1000 odd-clock ticks of at least 1 ms, with a generous top
SILENCE_RMS = 1e-3
HEARD_RMS = 0.02
QUIET_MARGIN_SECONDS = 0.05
JINGLES = ["jingles/beep.wav", "jingles/sweep.wav", "jingles/chime.wav"]
TRACK_FLAGS = 0x220000  # a playlist track: read whole (prescanned), decoding only
CHANGE_HALF_SECONDS = 0.4
CHANGE_SEARCH_SECONDS = 0.6

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from importlib.machinery import SourceFileLoader  # noqa: E402

render = SourceFileLoader("render", os.path.join(sys.path[0], "render")).load_module()

failures = []


def check(condition, message):
    print(("ok    " if condition else "FAIL  ") + message)
    if not condition:
        failures.append(message)


def mono(path):
    data, rate = soundfile.read(path, dtype="float64", always_2d=True)
    return data.mean(axis=1), rate


def at_rate(sound, rate, wanted):
    ratio = Fraction(wanted, rate)
    return resample_poly(sound, ratio.numerator, ratio.denominator) if ratio != 1 else sound


def rms(sound):
    return float(np.sqrt(np.mean(sound ** 2))) if len(sound) else 0.0


def best_match(haystack, needle):
    """Where needle fits best in haystack, and how well (normalised correlation)."""
    raw = correlate(haystack, needle, mode="valid", method="fft")
    running = np.concatenate([[0.0], np.cumsum(haystack ** 2)])
    energy = running[len(needle):] - running[:-len(needle)]
    score = raw / np.sqrt(np.maximum(energy, 1e-12) * np.sum(needle ** 2))
    where = int(np.argmax(score))
    return where, float(score[where])


def circular_gap(a, b, period):
    gap = (a - b) % period
    return min(gap, period - gap)


def check_track_change(game, calls, piece):
    streams = [c["result"] for c in calls if c["fn"] == "BASS_StreamCreate" and c["result"]]
    tracks = [c for c in calls if c["fn"] == "BASS_StreamCreateFile" and c["result"] and
              c["args"][1] & TRACK_FLAGS == TRACK_FLAGS]
    check(len(streams) == 1 and len(tracks) >= 2, f"a playlist stream ({len(streams)}) of tracks ({len(tracks)})")
    if len(streams) != 1 or len(tracks) < 2:
        return
    play = next(c["time"] for c in calls if c["fn"] == "BASS_ChannelPlay" and c["handle"] == streams[0])
    start = next(c["q"][0] for c in calls if c["fn"] == "BASS_ChannelSetPosition" and c["handle"] == tracks[0]["result"])
    first, rate = mono(os.path.join(game, tracks[0]["text"].replace("\\", "/")))
    second, _ = mono(os.path.join(game, tracks[1]["text"].replace("\\", "/")))
    change = play + len(first) / rate - start / (rate * render.FLOAT_BYTES)
    half = int(CHANGE_HALF_SECONDS * rate)
    needle = np.concatenate([first[-half:], second[:half]])
    heard = at_rate(piece(change - CHANGE_SEARCH_SECONDS, change + CHANGE_SEARCH_SECONDS), render.RATE, rate)
    where, score = best_match(heard, needle)
    off = where / rate - (CHANGE_SEARCH_SECONDS - CHANGE_HALF_SECONDS)
    check(score >= LEAST_MATCH and abs(off) <= TOLERANCE_SECONDS,
          f"the playlist's first song runs into its second (match {score:.3f}, {off * 1000:.1f} ms from the "
          f"change expected {change - play:.3f} s after the stream's start)")


def main(game):
    timeline = render.read_timeline(os.path.join(game, render.TIMELINE_NAME))
    calls = render.read_calls(os.path.join(game, render.LOG_NAME))
    mix, rate = mono(os.path.join(game, "drive.wav"))
    origin = next(t for t, key, _ in timeline if key == "start")
    volume = float(next(v for _, key, v in timeline if key == "radio-volume"))

    def piece(start, end):
        return mix[max(0, int((start - origin) * rate)):max(0, int((end - origin) * rate))]

    opens = [c for c in calls if c["fn"] == "BASS_StreamCreateFile" and c["result"] and
             not c["args"][1] & render.DECODE_FLAG]
    broadcasts = [v.rsplit(" ", 1) for _, key, v in timeline if key == "broadcast"]
    check(len(opens) == len(broadcasts) == 2, f"two stations opened ({len(opens)}) and announced ({len(broadcasts)})")
    plays = {}
    for number, (source, seconds) in enumerate(broadcasts):
        if number >= len(opens):
            break
        stream = opens[number]["result"]
        play = next(c["time"] for c in calls if c["fn"] == "BASS_ChannelPlay" and c["handle"] == stream)
        full = next(c["time"] for c in calls if c["fn"] == "BASS_ChannelSetAttribute" and c["handle"] == stream and
                    c["value"] >= volume)
        plays[source] = play
        file, file_rate = mono(os.path.join(game, source))
        length = len(file) / file_rate
        heard = at_rate(piece(full + MATCH_SETTLE_SECONDS, full + MATCH_SETTLE_SECONDS + MATCH_WINDOW_SECONDS),
                        rate, file_rate)
        looped = np.concatenate([file, file[:len(heard)]])
        where, score = best_match(looped, heard)
        found = (where / file_rate - (full + MATCH_SETTLE_SECONDS - play)) % length
        expected = float(seconds) % length
        gap = circular_gap(found, expected, length)
        check(score >= LEAST_MATCH, f"{source} is what is heard (match {score:.3f})")
        check(gap <= TOLERANCE_SECONDS,
              f"{source} starts {found:.4f} s in, the broadcast position is {expected:.4f} s (off by "
              f"{gap * 1000:.1f} ms)")

        # The fade: how loud the station is in the mix, window by window, from its start.
        window = int(GAIN_WINDOW_SECONDS * file_rate)
        heard_from_play = at_rate(piece(play, play + FADE_SECONDS[1] + 1), rate, file_rate)
        first = int(round(expected * file_rate))
        reached, half = None, None
        for index in range(0, len(heard_from_play) - window, window):
            own = looped.take(np.arange(first + index, first + index + window), mode="wrap")
            if rms(own) < GAIN_LEAST_SOURCE_RMS:
                continue
            gain = float(np.dot(heard_from_play[index:index + window], own) / np.dot(own, own))
            if half is None and gain >= HALF_SHARE * volume:
                half = index / file_rate
            if gain >= FULL_SHARE * volume:
                reached = index / file_rate
                break
        if number == 0:
            check(half is not None and half >= LEAST_HALF_SECONDS,
                  f"{source} fades in: half the game's radio volume after {half} s")
            check(reached is not None and FADE_SECONDS[0] <= reached <= FADE_SECONDS[1],
                  f"{source} reaches the game's radio volume {volume} after {reached} s, expected "
                  f"{FADE_SECONDS[0]}-{FADE_SECONDS[1]} s")

    # On foot: nothing heard; before: the station.
    in_car = [(t, v) for t, key, v in timeline if key == "in-car"]
    left = next((t for t, v in in_car if v == "0" and t > origin + 0.5), None)
    back = next((t for t, v in in_car if v == "1" and left and t > left), None)
    check(left is not None and back is not None, "the player left the car and came back")
    if left and back:
        check(rms(piece(left - 1.0, left)) >= HEARD_RMS, f"the station heard before leaving (rms "
              f"{rms(piece(left - 1.0, left)):.4f})")
        quiet = rms(piece(left + QUIET_MARGIN_SECONDS, back))
        check(quiet <= SILENCE_RMS, f"nothing heard on foot (rms {quiet:.5f})")

    # A jingle while the second station opens.
    tuned = [t for t, key, v in timeline if key == "station"]
    if len(tuned) >= 2 and len(plays) == 2:
        opening = piece(tuned[1], list(plays.values())[1])
        scores = {}
        for name in JINGLES:
            jingle, jingle_rate = mono(os.path.join(game, "audio/streams", name))
            sound = at_rate(opening, rate, jingle_rate)
            scores[name] = best_match(sound, jingle)[1] if len(sound) > len(jingle) else 0.0
        best = max(scores, key=scores.get)
        check(scores[best] >= LEAST_MATCH, f"a jingle heard while the station opens ({best}: {scores[best]:.3f})")

    check_track_change(game, calls, piece)

    if failures:
        print(f"{len(failures)} failed checks on the sound")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
