#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/ from the test fixtures
and the catalogue in resources/: real replies, descriptors, lists, a preset
file, small WAV files, a slice of a firmware image, settings files.

Most targets read their input with libFuzzer's FuzzedDataProvider: bytes are
taken from the front, numbers and choices from the back. Seed builds an
input the same way, so each seed starts the target on the path it names.
Run it again after changing how a target reads its input.
"""
import pathlib
import shutil
import struct

FUZZ = pathlib.Path(__file__).resolve().parent
ROOT = FUZZ.parent
CORPUS = FUZZ / "corpus"


class Seed:
    """An input for FuzzedDataProvider: front bytes and back numbers, each
    in the order the target consumes them."""

    def __init__(self):
        self.front = b""
        self.back = b""  # consumed from the end: first number last

    def bytes(self, data):
        self.front += data
        return self

    def int(self, value, low, high):
        """ConsumeIntegralInRange(low, high) returning value."""
        span = high - low
        assert low <= value <= high
        count = 0
        while count < 8 and (span >> (8 * count)) > 0:
            count += 1
        raw = (value - low).to_bytes(count, "big") if count else b""
        # The first byte read (the most significant) is the input's last.
        self.back = raw[::-1] + self.back
        return self

    def bool(self, value):
        return self.int(1 if value else 0, 0, 255)

    def build(self):
        return self.front + self.back


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def hexbytes(text):
    return bytes.fromhex(text.replace(" ", ""))


STORED_REPLY = b"0\r\n12\r\n2\r\n5\r\n"
EMPTY_REPLY = b"255\r\n255\r\n1\r\n7\r\n"
REALTIME = hexbytes("AA00010155 AA0B0F0400 AA05000000")


def request_reply(parameters, overrides=()):
    """The answer to Request the tests use: values 0, routing none, reverse
    off, preset mode, preset 0, OMNI; then the overrides by index."""
    numbers = [0] * (4 * parameters + 41)
    for i in range(4 * parameters, 4 * parameters + 38):
        numbers[i] = 255
    for at, value in overrides:
        numbers[at] = value
    return numbers, b"".join(b"%d\r\n" % n for n in numbers)


def framer_seeds():
    # The line, whether the catalogue's effect numbers are known; then ops:
    # 0..8 feed (length 0..48, pause 0..40), 9/10 silence, 11/12 expect a
    # reply, 13 cancel, 14 line/clear/dump.
    def feed(seed, data, pause=0):
        return seed.int(0, 0, 15).int(len(data), 0, 48).bytes(data).int(pause, 0, 40)

    def silence(seed, ms):
        return seed.int(9, 0, 15).int(ms, 0, 250)

    s = Seed().bool(False).bool(True)
    feed(s, b"0111A")
    silence(s, 120)
    write("message_framer", "status_texts", s.build())

    s = Seed().bool(False).bool(True)
    feed(s, REALTIME[:7])
    feed(s, REALTIME[7:], 5)
    write("message_framer", "realtime_frames", s.build())

    s = Seed().bool(False).bool(True)
    s.int(11, 0, 15).int(4, 0, 4).int(4, 0, 6)  # four lines, the rest ignored
    feed(s, b"Upload complete")
    feed(s, STORED_REPLY[:6], 10)
    feed(s, STORED_REPLY[6:], 10)
    write("message_framer", "stored_effect_reply", s.build())

    s = Seed().bool(False).bool(True)
    parameters = 2
    _, reply = request_reply(parameters)
    s.int(11, 0, 15).int(0, 0, 4).int(4 * parameters + 41, 0, 110)
    for at in range(0, len(reply), 48):
        feed(s, reply[at : at + 48], 3)
    feed(s, REALTIME[:5])
    write("message_framer", "request_reply_and_frame", s.build())

    s = Seed().bool(False).bool(True)
    s.int(14, 0, 15).int(3, 0, 3).int(16384, 0, 16392).int(7, 0, 255)
    s.int(100, 0, 16385).int(0, 0, 40).int(0, 0, 40)
    write("message_framer", "eeprom_dump", s.build())

    s = Seed().bool(True).bool(False)
    s.int(11, 0, 15).int(1, 0, 4)  # bootloader ACK
    feed(s, b"\x79")
    s.int(11, 0, 15).int(2, 0, 4).int(2, 0, 300)  # ACK then two bytes
    feed(s, b"\x79\x04\x10")
    write("message_framer", "bootloader_acks", s.build())


def stream_seeds():
    # Item kinds: 0 frame, 1 bank, 2 effect, 3 dump, 4 upload, 5/6 reply;
    # a reply's text takes one choice per byte (0 puts a knob turn there).
    # Then per read: length 1..64, pause 0..29, silence first or not.
    def frame(seed, source, parameter, value):
        return seed.int(source, 0, 11).int(parameter, 0, 15).int(value, 0, 1024)

    def text(seed, texts, frames=(), anywhere=False):
        """Lines (or the text after a reply), then a choice for each byte of
        the whole: a knob turn goes in before the bytes at frames."""
        whole = b""
        for t in texts:
            seed.int(len(t), 0, 12 if anywhere else 6).bytes(t)
            whole += t if anywhere else t + b"\r\n"
        last = len(whole) if anywhere else len(whole) - 1
        for i in range(last + 1):
            if i in frames:
                frame(seed.int(0, 0, 7), 0, 2, 514)
            seed.int(1, 0, 7)
        return seed

    s = Seed().int(8, 1, 24)
    frame(s.int(0, 0, 6), 1, 3, 341)
    s.int(1, 0, 6).int(2, 0, 2)
    s.int(2, 0, 6).int(0x1A, 1, 60).int(2, 1, 6).bool(True)  # "11A", then
    s.int(1, 0, 6).int(1, 0, 2)  # "01" joined to it
    s.int(2, 0, 6).int(30, 30, 300).int(0x1A, 1, 60).int(4, 1, 6).bool(False)  # "1001a"
    s.int(4, 0, 6)
    s.int(5, 0, 6).bool(False).int(2, 1, 8)  # Request: a knob turn between lines
    text(s, [b"512", b"514"], frames=(5,))
    s.int(5, 0, 6).bool(True)  # the stored-effect reply, "12" after it
    text(s, [b"0", b"12", b"2", b"3"])
    text(s, [b"12"], anywhere=True)
    s.int(100, 100, 300)
    for _ in range(12):
        s.int(3, 1, 64).int(5, 0, 29).bool(False)
    write("message_stream", "every_kind", s.build())

    s = Seed().int(2, 1, 24)
    s.int(3, 0, 6).int(7, 0, 255)
    frame(s.int(0, 0, 6), 11, 15, 1024)
    write("message_stream", "dump_then_frame", s.build())


def bootloader_seeds():
    # Ops: 0 stray, 1 silence, 2/3 any answer, 4..7 a whole answer.
    # Shapes: 0 ACK, 1 ACK then N bytes (0..260), 2 ACK N data ACK.
    s = Seed()
    s.int(4, 0, 7).int(0, 0, 2).int(2, 0, 3)  # ACK
    s.int(1, 1, 300).int(3, 0, 98).bool(False)
    s.int(4, 0, 7).int(2, 0, 2).int(2, 0, 3).int(11, 0, 255)  # Get: 12 bytes
    s.bytes(hexbytes("310001021121314463738292"))
    s.int(5, 1, 300).int(20, 0, 98).bool(True).int(300, 1, 300).int(0, 0, 98).bool(False)
    write("bootloader_replies", "get_command", s.build())

    s = Seed()
    s.int(0, 0, 7).int(3, 1, 8).bytes(b"\x00\x7f\x00").int(3, 1, 300).int(120, 0, 250).bool(True)
    s.int(5, 0, 7).int(1, 0, 2).int(2, 0, 260).int(0, 0, 3)  # NACK
    s.int(1, 1, 300).int(0, 0, 98).bool(False)
    s.int(2, 0, 7).int(0, 0, 2).int(3, 0, 300).bytes(b"\x79\x1f\x79")
    s.int(3, 1, 300).int(0, 0, 250).bool(False)
    write("bootloader_replies", "stray_nack_and_extra", s.build())


def parameter_state_seeds():
    # Numbers: parameters -1..17, readbacks -1..5, written or raw.
    for name, parameters, readbacks, overrides in [
        ("one_parameter", 1, 0, [(1, 64), (4 + 40, 5)]),
        ("three_parameters_routed", 3, 2, [(1, 64), (5, 128), (12, 11), (12 + 16, 9), (12 + 18, 2), (12 + 38, 1)]),
    ]:
        _, reply = request_reply(parameters, overrides)
        s = Seed().int(parameters, -1, 17).int(readbacks, -1, 5).bool(False).bytes(b"\n" + reply)
        write("parameter_state_reply", name, s.build())
    s = Seed().int(2, -1, 17).int(1, -1, 5).bool(True).bool(True)
    numbers, _ = request_reply(2, [(0, 255), (1, 255), (2, 255), (3, 255)])
    for n in numbers:
        s.int(n, 0, 255).int(3 if n < 10 else 1, 1, 3)
    write("parameter_state_reply", "written_full_scale", s.build())


def stored_effect_seeds():
    for name, reply in [("stored", STORED_REPLY), ("empty", EMPTY_REPLY), ("no_last_line_end", b"0\r\n3\r\n1\r\n9")]:
        write("stored_effect_reply", name, Seed().bool(False).bytes(reply).build())


def catalogue_seeds():
    for resource in ["DUB_ECHO_MULT3_CTRLS", "OCTOVOLT_SYNTH_CTRLS", "QUIVERPHASE_CTRLS", "SIGNAL_PROBE_CTRLS", "DYNAMIC"]:
        shutil.copy(ROOT / "resources" / resource, CORPUS / "catalogue_texts" / resource.lower())
    lines = (ROOT / "resources" / "EFFECT_LIST").read_bytes().split(b"\r\n")
    write("catalogue_texts", "effect_list", b"\r\n".join(lines[:12]) + b"\r\n")


def configuration_seeds():
    # Modes: 0 round trip, 1..3 a file; a file's target, then its bytes.
    bom = b"\xef\xbb\xbf"
    files = [
        ("two_parameters", b"001A\r02\r02\r00400000\r00000000\rFF\rFF\r1\r0\r", (0x1A, 2, 2, 0)),
        ("with_readbacks_crlf",
         b"002E\r\n09\r\n03\r\n007FE000\r\n00800000\r\n0000E000\r\n00\r\n0B\r\nFF\r\n0\r\n1\r\n1\r\n02\r\nFF\r\n",
         (0x2E, 9, 3, 2)),
    ]
    for name, text, (number, version, parameters, readbacks) in files:
        s = Seed().int(1, 0, 3).bool(False)
        s.int(number, 0, 0xFFFF).int(version, 0, 0xFF).int(parameters, 0, 16).int(readbacks, -1, 5)
        write("configuration", name, s.bytes(bom + text).build())
    s = Seed().int(0, 0, 3)
    s.int(0x2E, 0, 0xFFFF).int(9, 0, 0xFF).int(3, 0, 16).int(2, 0, 4)
    for value, source, reverse in [(1023, 0, 0), (1024, 11, 1), (7, 0xFF, 1)]:
        s.int(value, 0, 0xFFFFFFFF >> 13).int(source, 0, 0xFF).int(reverse, 0, 1)
    s.int(2, 0, 0xFF).int(0xFF, 0, 0xFF).int(1, 0, 2)
    write("configuration", "round_trip_crlf", s.build())


def wav_file(bits, channels, samples, extensible=False):
    """A canonical WAV file of full-scale 32-bit samples."""
    block = channels * bits // 8
    fmt = struct.pack("<HHIIHH", 0xFFFE if extensible else 1, channels, 48000, 48000 * block, block, bits)
    if extensible:
        fmt += struct.pack("<HHI", 22, bits, 4 if channels == 1 else 3)
        fmt += hexbytes("0100000000001000800000aa00389b71")
    data = b"".join((s & 0xFFFFFFFF).to_bytes(4, "little")[4 - bits // 8 :] for s in samples)

    def chunk(name, body):
        return name + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")

    return chunk(b"RIFF", b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"data", data))


def wav_seeds():
    # A file, then: read as a file, a small sample count (choice 4..7, count
    # -1..64).
    impulse = [0x7FFFFF00, -0x40000000, 0x12345600, -0x100, 0, 0x100, -0x7FFFFF00, 0x00000100]
    for name, data in [
        ("mono_24bit", wav_file(24, 1, impulse)),
        ("stereo_32bit", wav_file(32, 2, [s + 0x5A for s in impulse])),
        ("mono_24bit_extensible", wav_file(24, 1, impulse, extensible=True)),
    ]:
        write("wav_impulse", name, Seed().bool(False).int(4, 0, 7).int(8, -1, 64).bytes(data).build())
    # Described: 32-bit stereo, extensible, LIST before, JUNK after, for
    # Cabprint 2x12's 703 samples.
    s = Seed().bool(True).int(1, 0, 7)
    s.bool(True).int(5, 0, 9).bytes(b"kestr").int(3, 0, 9).bytes(b"end")
    s.bool(True).int(2, 1, 2).bool(True).int(1, 0, 2)
    write("wav_impulse", "described_cabprint_2x12", s.bytes(bytes(range(256)) * 4).build())


def firmware_seeds():
    image = (ROOT / "resources" / "FIRMWARE_1").read_bytes()
    for name, data in [("first_chunks", image[:600]), ("one_chunk", image[256:512]), ("last_bytes", image[-300:])]:
        s = Seed().int(0x08000100, 0, 0xFFFFFFFF).int(3, 0, 255)
        write("firmware_image", name, s.bytes(data).build())


def settings_seeds():
    for name, data in [
        ("mode_preset", b"PRESET"),
        ("mode_bank_utf8_mark", b"\xef\xbb\xbfBANK"),
        ("yes_utf16", b"\xff\xfeY\0E\0S\0"),
        ("no_utf16_big_endian", b"\xfe\xff\0N\0O"),
        ("style_with_line_end", b"6\r\n"),
        ("style_after_ideographic_space", "\u30003".encode()),
        ("latin1", b"NO\xe9"),
    ]:
        write("settings_files", name, Seed().bool(False).bytes(data).build())
    write("settings_files", "written_bank", Seed().bool(True).bytes(b"BANK").build())


def version_seeds():
    for name, texts in [("dotted", [b"1.4.0.0", b"1.40", b"2"]), ("unreadable", [b"1.x", b"", b" 3.1 "])]:
        write("version_text", name, b"\\n".join(texts))


def main():
    if CORPUS.exists():
        shutil.rmtree(CORPUS)
    for target in ["catalogue_texts"]:
        (CORPUS / target).mkdir(parents=True)
    framer_seeds()
    stream_seeds()
    bootloader_seeds()
    parameter_state_seeds()
    stored_effect_seeds()
    catalogue_seeds()
    configuration_seeds()
    wav_seeds()
    firmware_seeds()
    settings_seeds()
    version_seeds()


if __name__ == "__main__":
    main()
