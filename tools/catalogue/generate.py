#!/usr/bin/env python3
"""Generate the Kestra Editor effect catalogue (resource store).

The real catalogue is supplied data; this script produces a stand-in with the
same formats and the awkward cases the editor has to cope with, so the editor
can be built and tested without it.  See README.md next to this file.

    python3 tools/catalogue/generate.py --out resources
    python3 tools/catalogue/generate.py --small --out tests/data/small-catalogue

Python 3 standard library only.  Output is byte-identical across runs and
Python versions: all "random" data comes from SHA-256 in counter mode rather
than the random module, keyed per resource so that editing one effect does not
reshuffle the bytes of every other one.
"""

import argparse
import hashlib
import html
import os
import re
import struct
import sys

SEED = b"kestra-catalogue-1"


class Stream:
    """Deterministic pseudo-random source for one purpose (the key)."""

    def __init__(self, *key):
        self._key = SEED + b"|" + "|".join(str(k) for k in key).encode("ascii")
        self._counter = 0
        self._buf = b""

    def bytes(self, n):
        while len(self._buf) < n:
            block = self._key + self._counter.to_bytes(8, "big")
            self._buf += hashlib.sha256(block).digest()
            self._counter += 1
        out, self._buf = self._buf[:n], self._buf[n:]
        return out

    def below(self, n):
        # 64 bits modulo a small n: bias is far below anything that matters here.
        return int.from_bytes(self.bytes(8), "big") % n

    def between(self, lo, hi):
        return lo + self.below(hi - lo + 1)

    def shuffled(self, items):
        items = list(items)
        for i in range(len(items) - 1, 0, -1):
            j = self.below(i + 1)
            items[i], items[j] = items[j], items[i]
        return items


# ---------------------------------------------------------------------------
# Effects
# ---------------------------------------------------------------------------

CATEGORIES = ["GAIN", "MODULATION", "SYNTHESIS", "FILTER", "DYNAMIC",
              "IMPULSE_RESPONSE", "OTHER"]
CATEGORY_SIZES = {"GAIN": 16, "MODULATION": 15, "SYNTHESIS": 6, "FILTER": 4,
                  "DYNAMIC": 2, "IMPULSE_RESPONSE": 4, "OTHER": 7}
NONE = None  # category of effects the pedal can report but no list offers


class Effect:
    def __init__(self, name, category, pots, sw=(), sel=(), rb=(), blurb="",
                 four_digit=False, broken=False):
        self.name = name
        self.category = category
        self.pots = [p for p in pots.split(",")] if isinstance(pots, str) else list(pots)
        self.switches = list(sw)
        self.selectors = list(sel)
        self.readbacks = list(rb)
        self.blurb = blurb
        self.four_digit = four_digit  # 4-digit header even without readbacks
        self.broken = broken          # declares a readback but has no line for it

    @property
    def param_count(self):
        return len(self.pots) + len(self.switches) + len(self.selectors)


def E(*args, **kwargs):
    return Effect(*args, **kwargs)


TAP = "Tap:TAP:TAP@"
KEY12 = "Key;C;C#;D;D#;E;F;F#;G;G#;A;A#;B"

# Definition order is also the order inside each category list.
EFFECTS = [
    # --- Gain -------------------------------------------------------------
    E("Grizzle Drive", "GAIN", "Drive,Tone,Level", ["Bright:OFF:ON"],
      blurb="A warm, mid-forward overdrive that cleans up with the guitar volume."),
    E("Amberlith Boost", "GAIN", "Boost",
      blurb="A single-knob clean boost for solos and for pushing other drives."),
    E("Scorchwire", "GAIN", "Gain,Bass,Mid,Treble,Level",
      sel=["Clip;Silicon;Germanium;LED;Open"],
      blurb="A distortion with a three-band tone stack and selectable clipping."),
    E("Fuzzmoth", "GAIN", "Fuzz,Tone,Volume,Bias", ["Gate:OFF:ON"],
      blurb="A sputtery fuzz; lower the bias for gated, broken-up tones."),
    E("Brickdust Fuzz", "GAIN", "Sustain,Tone,Volume",
      blurb="A thick, sustaining fuzz with a scooped tone control."),
    E("Griddle OD", "GAIN", "Drive,Tone,Level,Low End", ["Mids:FLAT:PUSH"],
      blurb="A transparent overdrive with a switchable mid push."),
    E("Cinderveil Grit", "GAIN", "Grit,Body,Level",
      sel=["Voicing;Smooth;Crisp;Raw;Wide;Dark"],
      blurb="A gritty low-gain drive with five voicings."),
    E("Rustbucket Dist", "GAIN", "Dist,Filter,Level",
      blurb="A hard-clipping distortion with a sweepable filter."),
    E("Klunkbox Crunch", "GAIN", "Gain,Bass,Mid,Treble,Presence,Master",
      ["Channel:CLEAN:CRUNCH", "Bright:OFF:ON"],
      blurb="A two-channel crunch amplifier in a box."),
    E("Sizzle + Stack", "GAIN", "Drive,Boost,Tone,Level", ["Order:DRV>BST:BST>DRV"],
      blurb="An overdrive and a boost in one, in either order."),
    E("Gravel X2", "GAIN", "Gain,Tone,Level,Tight", sel=["Stage;1;2;3;4;5;6"],
      rb=["Clip"], blurb="A cascaded high-gain distortion with up to six stages."),
    E("Molten-Core Fuzz", "GAIN", "Fuzz,Tone,Volume,Gate,Octave", ["Octave Up:OFF:ON"],
      blurb="A fuzz with an octave-up circuit for ringing lead lines."),
    E("Tindersnap", "GAIN", "Gain,Level",
      blurb="A bright, snappy treble booster."),
    E("Hexgrinder", "GAIN", "Gain,Low,Mid,High,Level,Gate",
      sel=["Mid Freq;250;500;800;1k;1k6;2k5;4k;6k3"],
      blurb="A modern high-gain distortion with a sweepable mid band."),
    E("Snarlhound", "GAIN", "Snarl,Tone,Level", four_digit=True,
      blurb="An aggressive, raspy distortion."),
    E("Emberstack 9", "GAIN", "Gain,Bass,Mid,Treble,Level,Sag,Bias",
      ["Rectifier:DIODE:VALVE"],
      blurb="A stacked amplifier model with power-supply sag."),
    # --- Modulation ---------------------------------------------------------
    E("Glimmerwave Chorus", "MODULATION", "Rate,Depth,Mix,Tone", rb=["LFO"],
      blurb="A lush stereo chorus."),
    E("Quiverphase", "MODULATION", "Rate,Depth,Feedback", [TAP],
      sel=["Stages;2;4;6;8;10;12"], rb=["LFO"],
      blurb="A phaser with two to twelve stages and tap tempo."),
    E("Swirlpool", "MODULATION", "Rate,Depth,Level",
      blurb="A simple, deep phaser swirl."),
    E("Tidewash Flange", "MODULATION", "Rate,Depth,Manual,Regen,Mix",
      ["Through Zero:OFF:ON"],
      blurb="A flanger with regeneration and a through-zero mode."),
    E("Wobblecat Trem", "MODULATION", "Rate,Depth,Level", [TAP],
      sel=["Shape;Sine;Triangle;Square;Ramp"], rb=["LFO"],
      blurb="A tremolo with four wave shapes and tap tempo."),
    E("Orbiton Vibe", "MODULATION", "Speed,Intensity,Volume", ["Mode:CHORUS:VIBRATO"],
      blurb="A pulsing, throbbing vibe in chorus or vibrato mode."),
    E("Spinphase X4", "MODULATION", "Rate,Depth,Feedback,Mix", ["Sync:-:-@"],
      blurb="Four phasers in series; Sync restarts the LFO."),
    E("Flux Swirl", "MODULATION", "Rate,Depth,Tone,Mix,Level",
      blurb="A dual chorus and phaser blend."),
    E("Ripplecourt", "MODULATION", "Rate,Depth,Delay,Mix", rb=["LFO", "Env"],
      blurb="A modulated short delay that reacts to picking dynamics."),
    E("Driftglass Chorus", "MODULATION", "Rate,Depth,Tone,Mix,Spread",
      sel=["Voices;1;2;3;4"],
      blurb="A multi-voice chorus with stereo spread."),
    E("Lunar-Tide Trem", "MODULATION", "Rate,Depth,Level,Swing",
      [TAP, "Stereo:MONO:PAN"],
      blurb="A swinging tremolo that can pan across the stereo field."),
    E("Corkspin Rotary", "MODULATION", "Speed,Drive,Balance,Level",
      ["Speed:SLOW:FAST", "Brake:OFF:ON"], rb=["Rotor"],
      blurb="A rotating speaker simulation with horn and drum balance."),
    E("Wavelet Vibrato", "MODULATION", "Rate,Depth",
      blurb="A pure pitch vibrato."),
    E("Tiltwarble", "MODULATION", "Rate,Depth,Tone,Level", [TAP],
      sel=["Subdivision;1/1;1/2;1/4;1/4T;1/8;1/8T;1/16;1/16T;1/32;1/32T;1/64;1/64T"],
      blurb="A tape-style warble locked to the tapped tempo."),
    E("Shiver + Sway", "MODULATION", "Rate,Depth,Trem,Chorus,Mix",
      blurb="A tremolo and a chorus sharing one LFO."),
    # --- Synthesis ----------------------------------------------------------
    E("Octovolt Synth", "SYNTHESIS",
      "Attack,Decay,Sustain,Release,Cutoff,Reso,Env Amt,Glide,Sub,Square,Level",
      ["Octave:0:-1", "Retrig:OFF:ON"],
      ["Wave;Saw;Square;Triangle;Pulse;Noise", "Filter Type;LP;BP;HP;Notch", KEY12],
      rb=["Env"], blurb="A monophonic guitar synthesizer with a full envelope."),
    E("Subgrowler", "SYNTHESIS", "Sub 1,Sub 2,Dry,Tone",
      blurb="Two sub-octave voices under the dry signal."),
    E("Glasswave Pad", "SYNTHESIS", "Attack,Swell,Tone,Mix,Level",
      sel=["Pad voicing (harmonic series above the note);"
           "Unison;Octave;Fifth;Octave+Fifth;Major;Minor"],
      blurb="Slow-attack pads built from the notes you play."),
    E("Ringmangle", "SYNTHESIS", "Freq,Mix,Level,Track", ["Carrier:SINE:SQUARE"],
      rb=["Pitch"], blurb="A ring modulator whose carrier can track the input pitch."),
    E("Pitchfold", "SYNTHESIS", "Mix,Level,Detune",
      sel=["Interval;-24;-12;-7;-5;-4;-3;+3;+4;+5;+7;+9;+12;+19;+24;+36;Det",
           "Scale;Major;Minor;Dorian;Mixolydian"],
      blurb="A harmonizer with sixteen intervals and scale-aware voicing."),
    E("Squarechoir", "SYNTHESIS", "Voices,Spread,Tone,Level", ["Sync:-:-@"],
      blurb="A square-wave choir of detuned voices."),
    # --- Filter -------------------------------------------------------------
    E("Quackmire Wah", "FILTER", "Position,Q,Range,Level", rb=["Pedal"],
      blurb="An expression-controlled wah."),
    E("Autoyawn", "FILTER", "Sens,Range,Q,Attack,Decay", ["Direction:UP:DOWN"],
      rb=["Env"], blurb="An envelope filter that follows your picking."),
    E("Vowelbox", "FILTER", "Vowel,Morph,Q,Mix",
      sel=["From;A;E;I;O;U", "To;A;E;I;O;U"],
      blurb="A formant filter morphing between two vowels."),
    E("Sweepkeeper", "FILTER",
      "Freq,Q,Depth,Rate,Attack,Release,Mix,Low,High,Level", ["Invert"],
      four_digit=True, blurb="A sweeping filter with LFO and envelope control."),
    # --- Dynamic ------------------------------------------------------------
    E("Squashmallow Comp", "DYNAMIC", "Sustain,Attack,Release,Blend,Level",
      ["Ratio:4:1:8:1"], rb=["Gain Red", "Output"],
      blurb="A soft compressor with parallel blend."),
    E("Mutewall Gate", "DYNAMIC", "Threshold,Decay", rb=["Gate"],
      blurb="A noise gate."),
    # --- Impulse response (rules: see IR_RULES) -----------------------------
    E("Cabprint 4x12", "IMPULSE_RESPONSE", "Level,Low Cut,High Cut",
      sel=["Mic;Dynamic;Ribbon;Condenser;Room"],
      blurb="A closed-back four-speaker cabinet impulse response."),
    E("Cabprint 2x12", "IMPULSE_RESPONSE", "Level,Low Cut,High Cut,Mic Pos",
      blurb="An open-back two-speaker cabinet impulse response."),
    E("Cabprint 1x10", "IMPULSE_RESPONSE", "Level,Low Cut,High Cut",
      blurb="A small single-speaker cabinet impulse response."),
    E("Roomprint Air", "IMPULSE_RESPONSE", "Level,Mix,Pre Delay,Size",
      blurb="A room impulse response that adds air around the cabinet."),
    # --- Other --------------------------------------------------------------
    E("Tapecrawl Echo", "OTHER", "Time,Feedback,Mix,Wow,Flutter,Age", [TAP],
      sel=["Subdiv;1/4;1/8.;1/8;1/4T"],
      blurb="A worn tape echo."),
    E("Cathedrome Verb", "OTHER", "Decay,Pre Delay,Tone,Mix,Mod,Low Cut,High Cut",
      ["Freeze:HOLD:HOLD@"],
      blurb="A huge hall reverb with an infinite freeze."),
    E("Boingtank Spring", "OTHER", "Dwell,Tone,Mix", ["Springs:2:3"],
      blurb="A spring reverb tank."),
    E("Loop Ledger", "OTHER", "Loop Level,Dry Level",
      ["Rec:REC:REC@", "Play:PLAY:PLAY@", "Undo:UNDO:UNDO@", "Reverse:FWD:REV"],
      rb=["Position", "Length"], blurb="A phrase looper with undo and reverse."),
    E("Stillframe Hold", "OTHER", "Decay,Mix,Level", ["Hold:HOLD:HOLD@"],
      blurb="Holds a note or chord indefinitely."),
    E("Rewindle Delay", "OTHER", "Time,Feedback,Mix,Tone",
      blurb="A reverse delay."),
    E("Dub Echo X3", "OTHER", "Time,Feedback,Mix,Tone,Mod,Level,Drive",
      [TAP, "Heads:1:3"], sel=["Pattern;1;2;3;1+2;1+3;2+3;1+2+3;Swing"],
      rb=["Tempo"], blurb="A three-head echo for dub feedback games."),
    # --- In no category list ------------------------------------------------
    E("Pitchguard Tuner", NONE, "Reference,Level", ["Mute:OFF:ON"],
      rb=["Note", "Cents"], blurb="The chromatic tuner."),
    E("Silent Bypass", NONE, "Level",
      blurb="Passes the signal through unchanged."),
    E("Signal Probe", NONE, [f"Probe {i}" for i in range(1, 16)],
      [f"Trig {i}:OFF:ON" for i in range(1, 10)], rb=["Scope"], broken=True,
      blurb="A factory diagnostic effect."),
    E("Test Tone 1k", NONE, "Level,Freq",
      blurb="Generates a steady test tone."),
    E("Trim + Pad", NONE, "Trim", ["Pad:0dB:-10dB"],
      blurb="Input trim with a switchable pad."),
    E("Polarity Flip", NONE, "Level", ["Polarity:NORMAL:INVERT"],
      blurb="Inverts the signal polarity."),
    E("Expr-Mapper", NONE, "Heel,Toe,Curve,Smooth",
      sel=["Target;Volume;Wah;Pitch;Mix;Rate;Depth"], rb=["Pedal"],
      blurb="Maps the expression pedal onto a parameter."),
]

# Image sizes the tests rely on; everything else gets a pseudo-random size.
MIN_IMAGE, MAX_IMAGE, BANK_LIMIT = 1216, 9472, 5440
FIXED_SIZES = {
    "Amberlith Boost": MIN_IMAGE,
    "Cathedrome Verb": MAX_IMAGE,
    "Corkspin Rotary": BANK_LIMIT,       # exactly fits an FX bank
    "Glasswave Pad": BANK_LIMIT + 1,     # one byte too many for an FX bank
    "Octovolt Synth": 8192,
    "Dub Echo X3": 7040,
}
# Image whose length field lies: it claims 2176 bytes but holds 2048.
BAD_LENGTH = ("Fuzzmoth", 2048, 2176)

# Impulse-response rule table: name -> (coefficient words, byte offset, image size).
IR_RULES = {
    "Cabprint 4x12": (882, 230, 4096),
    "Cabprint 2x12": (703, 362, 3584),
    "Cabprint 1x10": (703, 370, 3328),
    "Roomprint Air": (912, 230, 4352),
}

# Members without an _INFO page (the editor must cope with missing help).
NO_INFO = {"Swirlpool", "Rustbucket Dist", "Silent Bypass", "Test Tone 1k"}

FIRMWARE_SIZES = (41252, 41396, 41420)

# The small test catalogue: a subset, renumbered, with one member per list at
# least, holding every effect the editor's tests name so that the whole suite
# runs with either catalogue.
SMALL_EFFECTS = ["Grizzle Drive", "Amberlith Boost", "Wobblecat Trem", "Pitchfold",
                 "Quackmire Wah", "Squashmallow Comp", "Cabprint 4x12",
                 "Tapecrawl Echo", "Pitchguard Tuner", "Fuzzmoth", "Scorchwire",
                 "Snarlhound", "Gravel X2", "Corkspin Rotary", "Glasswave Pad",
                 "Octovolt Synth", "Dub Echo X3", "Signal Probe", "Mutewall Gate"]
SMALL_NO_INFO = {"Pitchguard Tuner"}
SMALL_FIRMWARE_SIZES = (600, 768, 1030)


def resource_name(display):
    """The editor's display-name -> resource-name rule (order matters)."""
    return (display.replace(" ", "_").replace("-", "_")
            .replace("+", "plus").replace("X", "mult"))


# ---------------------------------------------------------------------------
# Builders
# ---------------------------------------------------------------------------

def header(e):
    h = f"{len(e.pots):X}{len(e.switches):X}{len(e.selectors):X}"
    if e.readbacks or e.four_digit:
        h += f"{len(e.readbacks):X}"
    return h


def descriptor(e, row):
    lines = [header(e)] + e.pots + e.switches + e.selectors
    if not e.broken:
        lines += e.readbacks
    # Vary line ends by row so the catalogue holds LF and CR LF files, each
    # without a final line end, with one, and with an extra empty line.
    eol = "\r\n" if row % 2 else "\n"
    text = eol.join(lines)
    if not e.broken:  # the broken one stops right after its last line
        text += ["", eol, eol + eol][row % 3]
    return text


def addresses(e):
    """16 big-endian address slots: distinct non-zero ones for the parameters."""
    s = Stream("addresses", e.name)
    chosen = []
    while len(chosen) < min(e.param_count, 16):
        a = s.between(0x0080, 0x3FFF) * 2  # even addresses in 0x0100..0x7FFE
        if a not in chosen:
            chosen.append(a)
    return chosen + [0] * (16 - len(chosen))


def version(e):
    return 1 + Stream("version", e.name).below(9)


def image_size(e):
    """(bytes held, value of the length field)."""
    if e.name == BAD_LENGTH[0]:
        return BAD_LENGTH[1], BAD_LENGTH[2]
    if e.name in IR_RULES:
        size = IR_RULES[e.name][2]
    elif e.name in FIXED_SIZES:
        size = FIXED_SIZES[e.name]
    else:
        # Multiples of 16 strictly inside the range; skip the sizes that mark
        # the special fixtures so each stays unique.
        s = Stream("size", e.name)
        reserved = {BANK_LIMIT, BAD_LENGTH[1], BAD_LENGTH[2]}
        while True:
            size = 16 * s.between(MIN_IMAGE // 16 + 1, MAX_IMAGE // 16 - 1)
            if size not in reserved:
                break
    return size, size


def image(e, number):
    held, claimed = image_size(e)
    head = bytes([0x00]) + struct.pack(">H", claimed)
    head += b"".join(struct.pack(">H", a) for a in addresses(e))
    head += struct.pack(">HB", number, version(e))
    assert len(head) == 38
    data = bytearray(head + Stream("image", e.name).bytes(held - len(head)))
    if e.name in IR_RULES:
        words, offset, _ = IR_RULES[e.name]
        # A unit impulse, so a test can see where the loader's block sits.
        block = bytes.fromhex("007FFFFF") + bytes(4 * (words - 1))
        assert offset >= len(head) and offset + len(block) < held
        data[offset:offset + len(block)] = block
    return bytes(data).hex().upper()


def control_items(e):
    """(label, kind, detail) for the help page, as the descriptor reads."""
    items = [(p, "potentiometer", "") for p in e.pots]
    for line in e.switches:
        label, _, states = line.partition(":")
        kind = "button" if "@" in line else "switch"
        states = states.replace("@", "")
        parts = states.split(":")
        detail = " / ".join(parts) if len(parts) == 2 else states
        items.append((label, kind, detail))
    for line in e.selectors:
        label, *positions = line.split(";")
        items.append((label, f"selector, {len(positions)} positions", ", ".join(positions)))
    if not e.broken:
        items += [(r, "readback", "") for r in e.readbacks]
    return items


def info_page(e):
    esc = html.escape
    where = (f"It is listed under {e.category.replace('_', ' ').title()}."
             if e.category else
             "It is in no category list; the pedal can still report it.")
    rows = []
    for label, kind, detail in control_items(e):
        text = f"<b>{esc(label)}</b> &ndash; {esc(kind)}"
        if detail:
            text += f": {esc(detail)}"
        rows.append(f"<li>{text}</li>")
    page = "\n".join([
        "<!DOCTYPE html>",
        "<html>",
        "<head>",
        '<meta charset="us-ascii">',
        f"<title>{esc(e.name)}</title>",
        "</head>",
        "<body>",
        f"<h1>{esc(e.name)}</h1>",
        f"<p>{esc(e.blurb)}</p>",
        f"<p>{where}</p>",
        "<h2>Controls</h2>",
        "<ul>",
        *rows,
        "</ul>",
        "</body>",
        "</html>",
        "",
    ])
    return page


def layout_tables(effects):
    """PTSW, SPNR_CTRLS and RESOURCE_24: 44 lines, "No layout" + layout1..43.

    Layouts start with the control sets the catalogue actually uses, so every
    (valid) descriptor has a layout, then pseudo-random filler.
    """
    s = Stream("layouts")
    combos = {}  # (pots, switches, selectors) -> readbacks; one layout each
    for e in sorted(effects, key=header):
        if e.param_count <= 16:
            key = (len(e.pots), len(e.switches), len(e.selectors))
            combos.setdefault(key, len(e.readbacks))
    combos = [k + (r,) for k, r in sorted(combos.items())][:43]
    while len(combos) < 43:
        p = s.between(1, 12)
        sw = s.between(0, 16 - p) if s.below(2) else 0
        sel = s.between(0, min(4, 16 - p - sw))
        c = (p, sw, sel, s.between(0, 2))
        if all(c[:3] != k[:3] for k in combos):
            combos.append(c)
    names = ["No layout"] + [f"layout{i}" for i in range(1, 44)]
    ptsw = ["000"] + ["%X%X%X" % c[:3] for c in combos]
    spnr = ["0000"] + ["%X%X%X%X" % c for c in combos]
    r24 = ["0"] + [str(s.below(2)) for _ in combos]
    join = lambda codes: "\r\n".join(f"{c} {n}" for c, n in zip(codes, names))
    return {"PTSW": join(ptsw), "SPNR_CTRLS": join(spnr), "RESOURCE_24": join(r24)}


def firmware(index, size):
    """Raw Cortex-M3 image for 0x08000000: vector table, then opaque code."""
    s = Stream("firmware", index, size)
    base = 0x08000000
    table_words = 16 + 43          # system vectors + 43 peripheral interrupts
    code_start = table_words * 4

    def handler():
        # Thumb addresses (odd), halfword-aligned, inside the image.
        return base + 2 * s.between(code_start // 2, (size - 16) // 2) | 1

    reset, nmi, hard, default = handler(), handler(), handler(), handler()
    vectors = [0x20005000, reset, nmi, hard,
               handler(), handler(), handler(),   # MemManage, BusFault, UsageFault
               0, 0, 0, 0,                        # reserved
               handler(), handler(), 0,           # SVCall, DebugMon, reserved
               handler(), handler()]              # PendSV, SysTick
    for _ in range(43):
        # Most interrupts share the default handler, as linked firmware does.
        vectors.append(handler() if s.below(4) == 0 else default)
    data = struct.pack("<%dI" % len(vectors), *vectors)
    data += s.bytes(size - len(data))
    assert len(data) == size
    return data


# ---------------------------------------------------------------------------
# Styles
# ---------------------------------------------------------------------------

STYLES = [
    # Style 0 is the default.
    dict(title="Stage Amber (dark, default)", bg="#26282b", panel="#2f3236",
         base="#1c1d20", button="#3a3d42", hover="#474b52", border="#565a62",
         text="#e8e8e8", dim="#b0b4ba", disabled="#7e838b", disabled_bg="#2b2d31",
         accent="#f0a030", on_accent="#1a1a1a", chunk="#a86408", groove="#141518",
         thumb="#f2f2f2", track_on="#f0a030", track_off="#5a5e66",
         tip_bg="#f0a030", tip_text="#1a1a1a", bw="1px"),
    dict(title="Daylight (light)", bg="#f2f2f0", panel="#ffffff",
         base="#ffffff", button="#e4e5e7", hover="#d6dce5", border="#a9aeb5",
         text="#1c1e21", dim="#4a4f57", disabled="#8f949b", disabled_bg="#e9e9e8",
         accent="#1d64c4", on_accent="#ffffff", chunk="#8db8ec", groove="#d0d3d8",
         thumb="#ffffff", track_on="#1d64c4", track_off="#b8bcc2",
         tip_bg="#1c1e21", tip_text="#f2f2f0", bw="1px"),
    dict(title="Midnight Blue", bg="#1b2433", panel="#222d40",
         base="#141b27", button="#2b3850", hover="#35455f", border="#46597a",
         text="#e4ebf5", dim="#a9b7cc", disabled="#6e7f98", disabled_bg="#1f2939",
         accent="#4aa3ff", on_accent="#0b1420", chunk="#2a66ad", groove="#0e141e",
         thumb="#e4ebf5", track_on="#4aa3ff", track_off="#46597a",
         tip_bg="#e4ebf5", tip_text="#141b27", bw="1px"),
    dict(title="Forest Green", bg="#1e2620", panel="#253027",
         base="#161c17", button="#2f3d31", hover="#3a4c3d", border="#4d634f",
         text="#e3eee4", dim="#a8bcab", disabled="#728677", disabled_bg="#212a23",
         accent="#5fcf7a", on_accent="#0d1a10", chunk="#2a7f40", groove="#111612",
         thumb="#e3eee4", track_on="#5fcf7a", track_off="#4d634f",
         tip_bg="#5fcf7a", tip_text="#0d1a10", bw="1px"),
    dict(title="Red Amp", bg="#1a1515", panel="#241c1c",
         base="#120e0e", button="#3a2424", hover="#4c2e2e", border="#66403e",
         text="#f2e6e0", dim="#c4aea6", disabled="#8c7672", disabled_bg="#201818",
         accent="#d8302c", on_accent="#ffffff", chunk="#a82420", groove="#0c0909",
         thumb="#e8d8c0", track_on="#d8302c", track_off="#66403e",
         tip_bg="#e8d8c0", tip_text="#1a1515", bw="1px"),
    dict(title="High Contrast (accessibility)", bg="#000000", panel="#000000",
         base="#000000", button="#000000", hover="#202020", border="#ffffff",
         text="#ffffff", dim="#ffffff", disabled="#a0a0a0", disabled_bg="#000000",
         accent="#ffff00", on_accent="#000000", chunk="#0050c0", groove="#404040",
         thumb="#ffffff", track_on="#ffff00", track_off="#606060",
         tip_bg="#ffff00", tip_text="#000000", bw="2px"),
    dict(title="Dusk Violet", bg="#221d2b", panel="#2a2435",
         base="#1a1621", button="#352d44", hover="#423857", border="#56496e",
         text="#ece6f5", dim="#b9afca", disabled="#80779a", disabled_bg="#262030",
         accent="#b388ff", on_accent="#1a1030", chunk="#6a48b0", groove="#141119",
         thumb="#ece6f5", track_on="#b388ff", track_off="#56496e",
         tip_bg="#ece6f5", tip_text="#1a1621", bw="1px"),
    dict(title="Vintage Cream (light)", bg="#efe6d2", panel="#f8f1e2",
         base="#fffaf0", button="#e3d6bb", hover="#d8c7a4", border="#a08a68",
         text="#2b2118", dim="#5a4a38", disabled="#968a78", disabled_bg="#e6ddca",
         accent="#8a3b12", on_accent="#fff6e8", chunk="#d9a066", groove="#d2c4a6",
         thumb="#fffaf0", track_on="#8a3b12", track_off="#b8a88c",
         tip_bg="#2b2118", tip_text="#f8f1e2", bw="1px"),
]

QSS = """\
/* Kestra Editor skin: $title */

QMainWindow, QDialog, QWidget {
    background-color: $bg;
    color: $text;
}
QWidget:disabled { color: $disabled; }

QMenuBar { background-color: $panel; color: $text; border-bottom: $bw solid $border; }
QMenuBar::item { background: transparent; padding: 4px 7px; }
QMenuBar::item:selected { background-color: $hover; }
QMenuBar::item:pressed { background-color: $accent; color: $on_accent; }
QMenu { background-color: $panel; color: $text; border: $bw solid $border; padding: 4px 0; }
QMenu::item { padding: 5px 24px 5px 20px; background: transparent; }
QMenu::item:selected { background-color: $accent; color: $on_accent; }
QMenu::item:disabled { color: $disabled; background: transparent; }
QMenu::separator { height: 1px; background: $border; margin: 4px 8px; }

QListWidget {
    background-color: $base; color: $text;
    border: $bw solid $border; border-radius: 4px; outline: 0;
}
QListWidget::item { padding: 4px 6px; border: none; }
QListWidget::item:hover { background-color: $hover; }
QListWidget::item:selected { background-color: $accent; color: $on_accent; }
QListWidget::item:disabled { color: $disabled; background: transparent; }
QListWidget:disabled { background-color: $disabled_bg; }

QPushButton {
    background-color: $button; color: $text;
    border: $bw solid $border; border-radius: 4px;
    padding: 4px 6px; min-height: 18px;
}
QPushButton:hover { background-color: $hover; border-color: $accent; }
QPushButton:pressed, QPushButton:checked { background-color: $accent; color: $on_accent; border-color: $accent; }
QPushButton:focus { border-color: $accent; }
QPushButton:disabled { background-color: $disabled_bg; color: $disabled; border: $bw dashed $disabled; }

QLabel { background: transparent; color: $text; }
QLabel:disabled { color: $disabled; }

/* No ::drop-down/::down-arrow rules: styling them needs an arrow image,
   and without one Qt draws no arrow at all.  Square corners keep the native
   arrow button inside the frame. */
QComboBox {
    background-color: $base; color: $text;
    border: $bw solid $border;
    padding: 3px 8px; min-height: 20px;
}
QComboBox:hover, QComboBox:focus { border-color: $accent; }
QComboBox:disabled { background-color: $disabled_bg; color: $disabled; border-style: dashed; }
QComboBox QAbstractItemView {
    background-color: $panel; color: $text;
    border: $bw solid $border; outline: 0;
    selection-background-color: $accent; selection-color: $on_accent;
}

QCheckBox, QRadioButton { background: transparent; color: $text; spacing: 6px; }
QCheckBox:disabled, QRadioButton:disabled { color: $disabled; }
QCheckBox::indicator, QRadioButton::indicator {
    width: 14px; height: 14px; background-color: $base; border: $bw solid $border;
}
QCheckBox::indicator { border-radius: 3px; }
QRadioButton::indicator { border-radius: 8px; }
QCheckBox::indicator:hover, QRadioButton::indicator:hover { border-color: $accent; }
QCheckBox::indicator:checked { background-color: $accent; border-color: $accent; }
QRadioButton::indicator:checked {
    background-color: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5,
        stop:0 $accent, stop:0.55 $accent, stop:0.65 $base, stop:1 $base);
    border-color: $accent;
}
QCheckBox::indicator:disabled, QRadioButton::indicator:disabled {
    background-color: $disabled_bg; border-color: $disabled;
}
QCheckBox::indicator:checked:disabled { background-color: $disabled; }

QSlider { background: transparent; }
QSlider::groove:horizontal { height: 6px; background: $groove; border-radius: 3px; }
QSlider::sub-page:horizontal { background: $accent; border-radius: 3px; }
QSlider::add-page:horizontal { background: $groove; border-radius: 3px; }
QSlider::handle:horizontal {
    width: 14px; margin: -5px 0; border-radius: 7px;
    background: $thumb; border: $bw solid $border;
}
QSlider::handle:horizontal:hover { border-color: $accent; }
QSlider::sub-page:horizontal:disabled { background: $disabled; }
QSlider::handle:horizontal:disabled { background: $disabled_bg; border-color: $disabled; }

QProgressBar {
    background-color: $base; color: $text; text-align: center;
    border: $bw solid $border; border-radius: 4px; min-height: 16px;
}
QProgressBar::chunk { background-color: $chunk; border-radius: 3px; }
QProgressBar:disabled { color: $disabled; }

QPlainTextEdit, QTextEdit, QTextBrowser, QLineEdit {
    background-color: $base; color: $text;
    border: $bw solid $border; border-radius: 4px;
    selection-background-color: $accent; selection-color: $on_accent;
}
QLineEdit { padding: 3px 6px; }
QPlainTextEdit:focus, QTextEdit:focus, QTextBrowser:focus, QLineEdit:focus { border-color: $accent; }
QPlainTextEdit:disabled, QTextEdit:disabled, QTextBrowser:disabled, QLineEdit:disabled {
    background-color: $disabled_bg; color: $disabled; border-style: dashed;
}

QGroupBox { border: $bw solid $border; border-radius: 4px; margin-top: 14px; padding-top: 6px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 4px; color: $dim; }
QStatusBar { background-color: $panel; color: $dim; border-top: $bw solid $border; }
QToolBar { background-color: $panel; border: none; spacing: 4px; }
QSplitter::handle { background-color: $border; }

QMessageBox { background-color: $bg; }
QMessageBox QLabel { color: $text; }

QToolTip {
    background-color: $tip_bg; color: $tip_text;
    border: 1px solid $border; padding: 4px; border-radius: 3px;
}

QScrollBar:vertical { background: $bg; width: 12px; margin: 0; }
QScrollBar:horizontal { background: $bg; height: 12px; margin: 0; }
QScrollBar::handle:vertical { background: $track_off; min-height: 24px; border-radius: 4px; margin: 2px; }
QScrollBar::handle:horizontal { background: $track_off; min-width: 24px; border-radius: 4px; margin: 2px; }
QScrollBar::handle:hover { background: $accent; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }

ToggleSwitch {
    qproperty-trackOnColor: $track_on;
    qproperty-trackOffColor: $track_off;
    qproperty-thumbColor: $thumb;
}
"""


def luminance(colour):
    def channel(v):
        v /= 255
        return v / 12.92 if v <= 0.03928 else ((v + 0.055) / 1.055) ** 2.4
    r, g, b = (int(colour[i:i + 2], 16) for i in (1, 3, 5))
    return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b)


def contrast(a, b):
    hi, lo = sorted((luminance(a), luminance(b)), reverse=True)
    return (hi + 0.05) / (lo + 0.05)


def check_style(st):
    """Readability guard (WCAG ratios) so a palette tweak cannot ship unreadable text."""
    body = 7.0 if "High Contrast" in st["title"] else 4.5
    pairs = [("text", k, body) for k in ("bg", "panel", "base", "button", "hover")]
    pairs += [("on_accent", "accent", 4.5), ("tip_text", "tip_bg", 4.5),
              ("dim", "panel", 4.5), ("text", "chunk", 3.0),
              ("disabled", "bg", 2.0), ("disabled", "disabled_bg", 2.0),
              ("disabled", "text", 2.0),   # disabled must look different
              ("accent", "bg", 3.0), ("thumb", "track_off", 1.8)]
    for fg, bg, need in pairs:
        ratio = contrast(st[fg], st[bg])
        assert ratio >= need, f"{st['title']}: {fg}/{bg} contrast {ratio:.2f} < {need}"


def style_sheet(st):
    from string import Template
    check_style(st)
    return Template(QSS).substitute(st)


# ---------------------------------------------------------------------------
# Catalogue assembly
# ---------------------------------------------------------------------------

NAME_RE = re.compile(r"^[A-Za-z0-9 +\-]{1,23}$")


def validate(effects, full):
    names = [e.name for e in effects]
    assert len(set(names)) == len(names)
    for e in effects:
        assert NAME_RE.match(e.name), e.name
        assert 1 <= len(e.pots) <= 15 and len(e.switches) <= 15 and len(e.selectors) <= 15
        assert e.broken or e.param_count <= 16, e.name
        assert len(e.readbacks) <= 2, e.name
        assert not any(":" in p or ";" in p for p in e.pots), e.name
        for sel in e.selectors:
            assert 4 <= sel.count(";") <= 16, sel
        for line in e.pots + e.switches + e.selectors + e.readbacks:
            line.encode("ascii")
    if full:
        joined = "".join(names)
        for ch in " -+Xx":
            assert ch in joined, f"no name contains {ch!r}"
        for cat in CATEGORIES:
            assert sum(e.category == cat for e in effects) == CATEGORY_SIZES[cat], cat
        assert sum(e.category is NONE for e in effects) == 7
        assert len(effects) == 61
        counts = {len(s.split(";")) - 1 for e in effects for s in e.selectors}
        assert {4, 12, 16} <= counts
        assert sum(e.param_count == 16 for e in effects) == 1
        assert sum(e.broken for e in effects) == 1
        assert sum(":" not in w for e in effects for w in e.switches) == 1
        assert any(w.count(":") > 2 for e in effects for w in e.switches)
        assert {len(e.readbacks) for e in effects} == {0, 1, 2}


def build(full):
    if full:
        effects = Stream("order").shuffled(EFFECTS)
        no_info = NO_INFO
        fw_sizes = FIRMWARE_SIZES
    else:
        by_name = {e.name: e for e in EFFECTS}
        effects = [by_name[n] for n in SMALL_EFFECTS]
        no_info = SMALL_NO_INFO
        fw_sizes = SMALL_FIRMWARE_SIZES
    validate(effects, full)

    files = {}
    rows = ["0:empty"] + [f"{i:X}:{e.name}" for i, e in enumerate(effects, 1)]
    files["EFFECT_LIST"] = "\r\n".join(rows)

    for n, cat in enumerate(CATEGORIES):
        members = [e.name for e in EFFECTS if e.category == cat and e in effects]
        assert members, cat
        # Alternate lists end with a line break, which adds no entry.
        files[cat] = "\r\n".join(members) + ("\r\n" if n % 2 == 0 else "")

    for row, e in enumerate(effects, 1):
        res = resource_name(e.name)
        files[res] = image(e, row)
        files[res + "_CTRLS"] = descriptor(e, row)
        if e.name not in no_info:
            files[res + "_INFO"] = info_page(e)

    files.update(layout_tables(effects))
    for i, st in enumerate(STYLES):
        files[f"STYLE_{i}"] = style_sheet(st)
    for i, size in enumerate(fw_sizes, 1):
        files[f"FIRMWARE_{i}"] = firmware(i, size)

    # Every resource must have its own case-insensitive name; an effect such
    # as "Gain" would otherwise shadow a category list.
    upper = [k.upper() for k in files]
    assert len(upper) == len(set(upper)) == len(files), "resource name collision"
    if full:
        sizes = [len(bytes.fromhex(files[resource_name(e.name)])) for e in effects]
        assert min(sizes) == MIN_IMAGE and max(sizes) == MAX_IMAGE
        assert sizes.count(BANK_LIMIT) == 1 and sizes.count(BANK_LIMIT + 1) == 1
        assert sum(s > BANK_LIMIT + 1 for s in sizes) >= 5
        assert len({version(e) for e in effects}) >= 5
    return effects, files


def write(out, files):
    os.makedirs(out, exist_ok=True)
    for name in sorted(files):
        data = files[name]
        if isinstance(data, str):
            data = data.encode("ascii")
        with open(os.path.join(out, name.upper()), "wb") as f:
            f.write(data)


def summary(effects, files):
    for row, e in enumerate(effects, 1):
        res = resource_name(e.name)
        held, claimed = image_size(e)
        print(f"{row:X}\t{e.name}\t{res.upper()}\t{e.category or '-'}\t"
              f"{header(e)}\t{held}/{claimed}\tv{version(e)}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", required=True, help="resource directory to write")
    ap.add_argument("--small", action="store_true", help="the small test catalogue")
    ap.add_argument("--summary", action="store_true",
                    help="print row, name, resource, category, header, size, version")
    args = ap.parse_args()
    effects, files = build(full=not args.small)
    write(args.out, files)
    if args.summary:
        summary(effects, files)
    return 0


if __name__ == "__main__":
    sys.exit(main())
