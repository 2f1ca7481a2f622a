"""The picture of a drive for scripts/render: one time axis, from the top the
station tuned (its name in its colour, and below it the now-playing line while
it was drawn), a playlist station's programme (songs, idents and spots), the
game's own radio, the openings and jingles, the volumes, and what is heard."""
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

BACKGROUND = "#1d1f24"
LANE = "#2c2f36"
TEXT = "#d8dade"
STREAM_COLOUR = "#f5a623"
GAME_RADIO_COLOUR = "#8fd3ff"
GAME_RADIO_OFF = "#444851"
OPENING_COLOUR = "#777b85"
NOW_PLAYING_COLOUR = "#9aa0ff"
JINGLE_COLOURS = ["#ff6b9d", "#7ee081", "#c39bff", "#ffd166", "#66d9e8"]
PROGRAMME_COLOURS = {"song": "#b07a1f", "ident": "#66d9e8", "spot": "#ff6b9d"}
ENVELOPE_SECONDS = 0.02
SHORTEST_NAME_SECONDS = 1.5


def spans(timeline, key, origin, end):
    """(start, end, value) for each stretch a timeline key kept one value."""
    marks = [(t - origin, v) for t, k, v in timeline if k == key]
    return [(t, marks[i + 1][0] if i + 1 < len(marks) else end - origin, v) for i, (t, v) in enumerate(marks)]


def radio_states(timeline, origin, end):
    """(start, end, "on" | "silenced" | "off") for the game's own radio."""
    marks, audible, on = [], "0", "0"
    for time, key, value in timeline:
        if key not in ("audible", "game-radio"):
            continue
        audible, on = (value, on) if key == "audible" else (audible, value)
        state = "on" if on == "1" else "silenced" if audible == "1" else "off"
        if marks and marks[-1][0] == time - origin:
            marks.pop()
        if not marks or marks[-1][1] != state:
            marks.append((time - origin, state))
    return [(t, marks[i + 1][0] if i + 1 < len(marks) else end - origin, v) for i, (t, v) in enumerate(marks)]


def openings(calls, origin):
    """From the release that begins an opening to the new stream's play."""
    found, begun = [], None
    created = {}
    for call in calls:
        if call["fn"] == "BASS_StreamFree":
            begun = call["time"]
        elif call["fn"] in ("BASS_StreamCreateFile", "BASS_StreamCreateURL") and call["result"]:
            created[call["result"]] = begun if begun is not None else call["time"]
        elif call["fn"] == "BASS_ChannelPlay" and call["handle"] in created:
            found.append((created.pop(call["handle"]) - origin, call["time"] - origin))
    return found


def draw(path, calls, timeline, channels, buses, blocks, origin, end, rate, dpi):
    plt.rcParams.update({"text.color": TEXT, "axes.labelcolor": TEXT, "xtick.color": TEXT, "ytick.color": TEXT,
                         "axes.edgecolor": "#555", "font.size": 9})
    figure, (tuned, aired, game, events, volumes, heard) = plt.subplots(
        6, 1, sharex=True, figsize=(14, 9.2), gridspec_kw={"height_ratios": [0.7, 0.45, 0.45, 0.8, 2.2, 1.6]})
    figure.patch.set_facecolor(BACKGROUND)
    duration = end - origin
    for axes in (tuned, aired, game, events, volumes, heard):
        axes.set_facecolor(LANE)
        axes.set_xlim(0, duration)

    # The station tuned and the name the game shows, in its colour.
    names = spans(timeline, "name", origin, end)
    colours = [(t - origin, v) for t, k, v in timeline if k == "colour"]
    for start, stop, name in names:
        if stop - start < SHORTEST_NAME_SECONDS:
            continue
        colour = next((f"#{v}" for t, v in reversed(colours) if t <= start + 0.05), TEXT)
        tuned.axvspan(start, stop, color="#000", alpha=0.35)
        tuned.text(start + 0.1, 0.5, name or "(no name)", color=colour if name else "#888", va="center",
                   fontsize=12, fontweight="bold", clip_on=True)
    # The now-playing line below the banner, while it was drawn.
    for start, stop, line in spans(timeline, "nowplaying", origin, end):
        if not line:
            continue
        tuned.axvspan(start, stop, ymin=0.02, ymax=0.3, color=NOW_PLAYING_COLOUR, alpha=0.35)
        tuned.text(start + 0.1, 0.16, line, color=TEXT, va="center", fontsize=7, clip_on=True)
    for start, _, station in spans(timeline, "station", origin, end):
        tuned.axvline(start, color=TEXT, lw=0.8, ls=":")
        tuned.text(start + 0.05, 0.9, f"station {station}", va="top", fontsize=7, color="#aaa")
    tuned.set_yticks([])
    tuned.set_ylabel("on screen", rotation=0, ha="right", va="center")

    # A playlist station's programme: each song, ident and spot where it was heard.
    for start, stop, kind, name in blocks:
        aired.broken_barh([(start - origin, stop - start)], (0.1, 0.8), color=PROGRAMME_COLOURS[kind],
                          edgecolor=LANE, lw=1)
        label = kind if kind != "song" else os.path.splitext(name)[0]
        aired.text(start - origin + 0.1, 0.5, label, va="center", fontsize=7, clip_on=True,
                   color="#000" if kind != "song" else TEXT)
    aired.set_ylim(0, 1)
    aired.set_yticks([])
    aired.set_ylabel("programme", rotation=0, ha="right", va="center")

    # The game's own radio: heard, silenced by zorve, or not heard anywhere (player on foot).
    for start, stop, state in radio_states(timeline, origin, end):
        label, colour = {"on": ("game radio on", GAME_RADIO_COLOUR), "silenced": ("silenced by zorve", GAME_RADIO_OFF),
                         "off": ("radio not audible", LANE)}[state]
        game.axvspan(start, stop, color=colour)
        if stop - start > 1.5:
            game.text((start + stop) / 2, 0.5, label, ha="center", va="center",
                      color="#000" if state == "on" else TEXT, fontsize=8, clip_on=True)
    game.set_yticks([])
    game.set_ylabel("game's radio", rotation=0, ha="right", va="center")

    # Openings and jingles.
    for start, stop in openings(calls, origin):
        events.broken_barh([(start, stop - start)], (0.55, 0.35), color=OPENING_COLOUR)
        events.text(start, 0.95, "opening", fontsize=7, va="bottom", color="#bbb", clip_on=True)
    jingle_names = sorted({c.name for c in channels if c.kind == "jingle"})
    for channel in channels:
        if channel.kind != "jingle":
            continue
        colour = JINGLE_COLOURS[jingle_names.index(channel.name) % len(JINGLE_COLOURS)]
        for start, stop, position in channel.spans:
            stop = channel.heard_until(start, stop, position)
            events.broken_barh([(start - origin, stop - start)], (0.1, 0.35), color=colour, edgecolor=LANE, lw=1)
    for index, name in enumerate(jingle_names):
        events.plot([], [], color=JINGLE_COLOURS[index % len(JINGLE_COLOURS)], lw=6,
                    label=os.path.splitext(os.path.basename(name))[0])
    events.set_ylim(0, 1.3)
    events.set_yticks([0.27, 0.72], ["jingles", "openings"])
    if jingle_names:
        events.legend(loc="upper right", ncol=len(jingle_names), fontsize=7, facecolor=LANE, edgecolor="#555",
                      labelcolor=TEXT)

    # Volumes: the stream's against the game's radio volume; the cap and the player on foot shaded.
    for start, stop, on in spans(timeline, "cap", origin, end):
        if on == "1":
            volumes.axvspan(start, stop, color="#ff5555", alpha=0.18)
            volumes.text(start + 0.05, 1.02, "cap", color="#ff8888", fontsize=8, va="top")
    for start, stop, inside in spans(timeline, "in-car", origin, end):
        if inside == "0":
            volumes.axvspan(start, stop, color="#ffffff", alpha=0.07)
            volumes.text(start + 0.05, 1.02, "on foot", color="#ccc", fontsize=8, va="top")
    radio = spans(timeline, "radio-volume", origin, end)
    volumes.step([s for s, _, _ in radio] + [duration], [float(v) for _, _, v in radio] + [float(radio[-1][2])],
                 where="post", color=GAME_RADIO_COLOUR, lw=2.5, alpha=0.6, label="game's radio volume")
    labelled = False
    for channel in channels:
        if channel.kind != "stream" or not channel.volumes[0]:
            continue
        times = np.asarray(channel.volumes[0]) - origin
        volumes.step(times, channel.volumes[1], where="post", color=STREAM_COLOUR, lw=1.5,
                     label=None if labelled else "zorve stream volume")
        labelled = True
    volumes.set_ylim(-0.03, 1.05)
    volumes.set_ylabel("volume")
    volumes.legend(loc="upper right", fontsize=8, facecolor=LANE, edgecolor="#555", labelcolor=TEXT)

    # What is heard: the loudness of each part of the mix.
    block = int(rate * ENVELOPE_SECONDS)
    for name, colour in (("stream", STREAM_COLOUR), ("jingle", JINGLE_COLOURS[0]), ("game radio", GAME_RADIO_COLOUR)):
        sound = np.abs(buses[name]).max(axis=1)
        count = len(sound) // block
        envelope = sound[:count * block].reshape(count, block).max(axis=1)
        heard.fill_between(np.arange(count) * ENVELOPE_SECONDS, envelope, color=colour, alpha=0.7, lw=0,
                           label=name)
    heard.set_ylabel("heard (peak)")
    heard.set_xlabel("seconds since the drive began")
    heard.legend(loc="upper right", fontsize=8, facecolor=LANE, edgecolor="#555", labelcolor=TEXT)

    # Scene numbers across the top, their titles below the picture.
    scenes = [(t - origin, v) for t, k, v in timeline if k == "scene"]
    for number, (start, _) in enumerate(scenes, 1):
        for axes in (tuned, aired, game, events, volumes, heard):
            axes.axvline(start, color="#fff", lw=0.5, alpha=0.25)
        tuned.text(start, 1.08, str(number), transform=tuned.get_xaxis_transform(), ha="center", fontsize=8,
                   color=TEXT)
    legend = "   ".join(f"{n}. {title}" for n, (_, title) in enumerate(scenes, 1))
    figure.text(0.01, 0.005, legend, fontsize=7, wrap=True, va="bottom")
    figure.suptitle("zorve demo drive: what the player sees and hears", color=TEXT, fontsize=12)
    figure.tight_layout(rect=(0, 0.06, 1, 0.97))
    figure.savefig(path, dpi=dpi, facecolor=BACKGROUND)
    plt.close(figure)
