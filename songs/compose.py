#!/usr/bin/env python3
"""Writes the example songs in Kellix's song text format, with the instrument code of
instruments/*.txt embedded. Run from the repository root: python3 songs/compose.py

Tones: 24 is C4 for instruments tuned at 261.63 Hz (C2 = 0, C3 = 12, C5 = 36).
A time step lasts Speed x 32 frames at 44100 frames per second; one play-list entry is Row steps.
"""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def instrument_code(name):
    """The instrument's code without its comment lines, lines joined by CR LF."""
    with open(os.path.join(ROOT, "instruments", name + ".txt"), "rb") as f:
        lines = f.read().decode("ascii").replace("\r\n", "\n").split("\n")
    code = [l.rstrip() for l in lines if l.strip() and not l.strip().startswith("//")]
    return "\r\n".join(code)


def u(v):
    return str(v & 0xFFFFFFFF)


def s(v):
    return str(v)


def header(name, typ, n):
    return name + ": array [0.." + u(n) + "] of " + typ + "=("


def counted_references(out, name, typ, lists, count_label, ref_label, ref_name):
    """An array of records that each hold a count and a reference to a numbered array or nil."""
    if lists:
        out.append("  " + header(name, typ, len(lists) - 1))
        for i, items in enumerate(lists):
            out.append("\r\n   ( " + count_label + ": " + u(len(items)) + "; " + ref_label + ": "
                       + (ref_name + u(i) + " )" if items else "nil )"))
            if i < len(lists) - 1:
                out.append(",")
    out.append(");\r\n\r\n")


def song_text(instruments, patterns, tracks, play_list, speed, row):
    """instruments: list of (code, sample_tone, (attack, cont, ende));
    patterns: list of event lists (time, tone, instrument, vol, pan);
    tracks: list of pattern-number lists; play_list: track numbers."""
    out = [" Const\r\n"]
    if instruments:
        out.append("  " + header("Instruments", "TInstrument", len(instruments) - 1))
        for i, (_, tone, (a, c, e)) in enumerate(instruments):
            out.append("\r\n   ( SampleTone: " + s(tone) + "; Name: nil; Sample: nil; Env: ( Attack: "
                       + u(a) + "; Cont: " + u(c) + "; Ende: " + u(e) + " ))")
            if i < len(instruments) - 1:
                out.append(",")
    out.append(");\r\n\r\n")
    for p, events in enumerate(patterns):
        if not events:
            continue
        out.append(header("  Point" + u(p), "TIdPoint", len(events) - 1))
        for k, (t, tone, inst, vol, pan) in enumerate(events):
            out.append("\r\n   ( Time: " + u(t) + "; Tone: " + s(tone) + "; Instrument: " + u(inst)
                       + "; Vol: " + u(vol) + "; Pan: " + u(pan) + ")")
            if k < len(events) - 1:
                out.append(",")
        out.append(");\r\n\r\n")
    counted_references(out, "Patterns", "TPattern", patterns, "PointsCount", "Points", "@Point")
    for t, pats in enumerate(tracks):
        if pats:
            out.append(header("  PatternIndex" + u(t), "longint", len(pats) - 1)
                       + ",".join(u(p) for p in pats) + ");\r\n\r\n")
    counted_references(out, "Tracks", "TTrackPattern", tracks, "PatternCount", "PatternIndex",
                       "@PatternIndex")
    if play_list:
        out.append("  " + header("TracksIndex", "Longint", len(play_list) - 1)
                   + ",".join(u(t) for t in play_list))
    out.append(");\r\n\r\n")
    out.append("  Track:TTrack=(\r\n   TrackIndexCount: " + u(len(play_list)) + ";\r\n")
    for label, value in (("TrackCount", len(tracks)), ("PatternCount", len(patterns)),
                         ("InstrumentCount", len(instruments)), ("Speed", speed), ("Row", row)):
        out.append("   " + label + ": " + u(value) + ";\r\n")
    out.append("   TracksIndex: @TracksIndex;\r\n   Tracks: @Tracks;\r\n   Patterns: @Patterns;\r\n"
               "   Instrument: @Instruments;\r\n  ");
    out.append(");\r\n\r\n")
    for k, (code, _, _) in enumerate(instruments):
        out.append("Function InitSample" + u(k) + ":pointer;\r\nbegin\r\n" + code + "\r\nend;\r\n\r\n")
    return "".join(out)


class Song:
    def __init__(self):
        self.instruments = []
        self.names = {}
        self.patterns = []
        self.tracks = []
        self.play_list = []

    def instrument(self, name, env, sample_tone=0):
        self.names[name] = len(self.instruments)
        self.instruments.append((instrument_code(name), sample_tone, env))
        return self.names[name]

    def pattern(self, events):
        self.patterns.append(sorted(events))
        return len(self.patterns) - 1

    def track(self, pats):
        self.tracks.append(list(pats))
        return len(self.tracks) - 1

    def write(self, path, speed, row):
        text = song_text(self.instruments, self.patterns, self.tracks, self.play_list, speed, row)
        with open(path, "wb") as f:
            f.write(text.encode("ascii"))


# Note names to tones (C4 = 24).
NOTES = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "F": 5, "F#": 6, "Gb": 6,
         "G": 7, "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11}


def tone(note):
    name, octave = note[:-1], int(note[-1])
    return NOTES[name] + 12 * (octave - 2)


def neon_steps(path):
    """House at 120 BPM: four-on-the-floor, offbeat hats, a minor progression, pluck arpeggios
    and a lead in the second half. 40 bars of 2 seconds."""
    g = Song()
    kick = g.instrument("kick", (0, 6000, 12000))
    snare = g.instrument("snare", (0, 4000, 8000))
    hat = g.instrument("hihat_closed", (0, 1500, 3000))
    ohat = g.instrument("hihat_open", (0, 6000, 8000))
    bass = g.instrument("bass", (100, 4500, 3000))
    pluck = g.instrument("pluck", (0, 5000, 9000))
    pad = g.instrument("pad", (20000, 60000, 30000))
    lead = g.instrument("lead", (300, 9000, 6000))

    p_kick = g.pattern([(t, 24, kick, 250, 128) for t in range(0, 16, 4)])
    p_hats = g.pattern([(t, 24, hat, 120 if t % 4 == 2 else 70, 150) for t in range(0, 16, 2)]
                       + [(14, 24, ohat, 90, 110)])
    p_snare = g.pattern([(4, 24, snare, 200, 120), (12, 24, snare, 200, 136), (15, 24, snare, 70, 128)])
    chords = [("A", ["A3", "C4", "E4"]), ("F", ["F3", "A3", "C4"]), ("C", ["C4", "E4", "G4"]),
              ("G", ["G3", "B3", "D4"])]
    bass_roots = {"A": "A1", "F": "F1", "C": "C2", "G": "G1"}
    bass_p, pad_p, arp_p, lead_p = {}, {}, {}, {}
    melodies = {"A": [(0, "E5"), (3, "C5"), (6, "A4"), (10, "B4"), (12, "C5")],
                "F": [(0, "A4"), (3, "C5"), (6, "F5"), (10, "E5"), (12, "C5")],
                "C": [(0, "G4"), (3, "E5"), (6, "D5"), (8, "C5"), (12, "E5")],
                "G": [(0, "D5"), (3, "B4"), (6, "G4"), (10, "A4"), (14, "B4")]}
    for name, notes in chords:
        root = tone(bass_roots[name])
        bass_p[name] = g.pattern([(t, root + (12 if t in (3, 11) else 0), bass, 210 if t % 4 == 0 else 160, 128)
                                  for t in (0, 2, 3, 6, 8, 10, 11, 14)])
        pad_p[name] = g.pattern([(0, tone(n), pad, 110, 60 + 60 * i) for i, n in enumerate(notes)])
        arp = [tone(n) + 12 for n in notes]
        arp_p[name] = g.pattern([(t, arp[(t // 2) % 3], pluck, 120 + (t % 4) * 10, 40 if t % 4 == 0 else 210)
                                 for t in range(0, 16, 2)])
        lead_p[name] = g.pattern([(t, tone(n), lead, 170, 140) for t, n in melodies[name]])
    order = ["A", "F", "C", "G"]
    intro = {c: g.track([pad_p[c], p_hats]) for c in order}
    build = {c: g.track([pad_p[c], p_hats, bass_p[c], p_kick]) for c in order}
    main = {c: g.track([pad_p[c], p_hats, bass_p[c], p_kick, p_snare, arp_p[c]]) for c in order}
    solo = {c: g.track([pad_p[c], p_hats, bass_p[c], p_kick, p_snare, lead_p[c]]) for c in order}
    brk = {c: g.track([pad_p[c], arp_p[c]]) for c in order}
    outro = {c: g.track([pad_p[c], p_kick]) for c in order}
    for section, bars in ((intro, 4), (build, 4), (main, 8), (solo, 8), (brk, 4), (main, 8), (outro, 4)):
        g.play_list += [section[order[i % 4]] for i in range(bars)]
    g.write(path, 172, 16)


def glass_harbour(path):
    """Ambient: slow bells over pads, wind and a chaos drone. 20 bars of about 2.8 seconds."""
    g = Song()
    bell = g.instrument("fm_bell", (0, 30000, 60000))
    pad = g.instrument("pad", (30000, 70000, 40000))
    wind = g.instrument("wind", (30000, 60000, 40000))
    drone = g.instrument("chaos_drone", (25000, 60000, 40000))
    organ = g.instrument("organ", (6000, 30000, 20000))

    chords = [["D3", "F3", "A3", "C4"], ["Bb2", "D3", "F3", "A3"], ["G2", "Bb2", "D3", "F3"],
              ["A2", "C#3", "E3", "G3"]]
    pads = [g.pattern([(0, tone(n), pad, 150, 30 + 65 * i) for i, n in enumerate(c)]) for c in chords]
    bells_a = [[(0, "A4"), (4, "D5"), (6, "C5"), (10, "F4")],
               [(0, "D5"), (3, "F5"), (8, "A4"), (12, "D5")],
               [(2, "F4"), (6, "G4"), (8, "Bb4"), (13, "D5")],
               [(0, "E5"), (4, "C#5"), (8, "A4"), (12, "G4")]]
    bells = [g.pattern([(t, tone(n), bell, 220 - 8 * k, 60 + 40 * (k % 4)) for k, (t, n) in enumerate(m)])
             for m in bells_a]
    echo_bells = [g.pattern([(t + 1, tone(n) + 12, bell, 110, 200 - 30 * k) for k, (t, n) in enumerate(m)])
                  for m in bells_a]
    p_wind = g.pattern([(0, 24, wind, 200, 90), (8, 26, wind, 170, 170)])
    p_drone = g.pattern([(0, 14, drone, 180, 128)])
    organs = [g.pattern([(0, tone(n) + 12, organ, 100, 128) for n in c[1:3]]) for c in chords]
    t_intro = [g.track([p_wind]), g.track([p_wind, p_drone])]
    t_pads = [g.track([pads[i], p_wind]) for i in range(4)]
    t_bells = [g.track([pads[i], bells[i]]) for i in range(4)]
    t_full = [g.track([pads[i], bells[i], echo_bells[i], organs[i], p_drone if i % 2 == 0 else p_wind])
              for i in range(4)]
    g.play_list = (t_intro + t_pads + t_bells + t_full + t_bells[:2] + t_pads[2:] + [t_intro[1], t_intro[0]])
    g.write(path, 240, 16)


def pixel_rush(path):
    """Fast chip-flavoured breakbeat: organ stabs, a lead line, laser fills. 32 bars of about
    1.5 seconds."""
    g = Song()
    kick = g.instrument("kick", (0, 5000, 9000))
    snare = g.instrument("snare", (0, 3500, 7000))
    hat = g.instrument("hihat_closed", (0, 1200, 2500))
    bass = g.instrument("bass", (60, 2500, 2000), sample_tone=0)
    organ = g.instrument("organ", (200, 3000, 3000))
    lead = g.instrument("lead", (200, 6000, 4000))
    laser = g.instrument("laser", (0, 5000, 5000))

    p_beat = g.pattern([(0, 24, kick, 240, 128), (6, 24, kick, 200, 128), (10, 24, kick, 230, 128),
                        (4, 24, snare, 210, 118), (12, 24, snare, 210, 138), (14, 24, snare, 90, 128)]
                       + [(t, 24, hat, 100 if t % 2 == 0 else 60, 170 if t % 4 == 1 else 90) for t in range(16)])
    p_beat2 = g.pattern([(0, 24, kick, 240, 128), (3, 24, kick, 180, 128), (10, 24, kick, 230, 128),
                         (4, 24, snare, 210, 118), (12, 24, snare, 210, 138), (13, 24, snare, 120, 128),
                         (15, 24, snare, 150, 128)]
                        + [(t, 24, hat, 90, 100 + 10 * (t % 5)) for t in range(0, 16, 2)])
    roots = ["E1", "C2", "D2", "B1"]
    chords = [["E3", "G3", "B3"], ["C3", "E3", "G3"], ["D3", "F#3", "A3"], ["B2", "D#3", "F#3"]]
    basses = [g.pattern([(t, tone(r) + (12 if t % 8 == 6 else 0), bass, 200, 128)
                         for t in (0, 3, 6, 8, 11, 14)]) for r in roots]
    stabs = [g.pattern([(t, tone(n) + 12, organ, 90, 70 + 50 * i) for t in (2, 7, 10) for i, n in enumerate(c)])
             for c in chords]
    line = [["B4", "G4", "E4", "G4", "B4", "D5", "B4", "G4"], ["C5", "G4", "E4", "G4", "C5", "E5", "C5", "G4"],
            ["D5", "A4", "F#4", "A4", "D5", "F#5", "D5", "A4"], ["D#5", "B4", "F#4", "B4", "D#5", "F#5", "B4", "A4"]]
    leads = [g.pattern([(2 * k, tone(n), lead, 140, 150) for k, n in enumerate(m)]) for m in line]
    p_laser = g.pattern([(12, 30, laser, 150, 60), (14, 26, laser, 150, 200)])
    t_drums = [g.track([p_beat, basses[i]]) for i in range(4)]
    t_stab = [g.track([p_beat, basses[i], stabs[i]]) for i in range(4)]
    t_lead = [g.track([p_beat2 if i % 2 else p_beat, basses[i], stabs[i], leads[i]]) for i in range(4)]
    t_fill = g.track([p_beat2, basses[3], p_laser])
    t_break = [g.track([stabs[i], leads[i]]) for i in range(4)]
    g.play_list = (t_drums + t_stab + t_lead + t_lead[:3] + [t_fill] + t_break + t_stab + t_lead
                   + t_lead[:3] + [t_fill])
    g.write(path, 128, 16)


def main():
    out = os.path.join(ROOT, "songs")
    neon_steps(os.path.join(out, "neon-steps.txt"))
    glass_harbour(os.path.join(out, "glass-harbour.txt"))
    pixel_rush(os.path.join(out, "pixel-rush.txt"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
