#!/usr/bin/env python3
"""Judges a stretch of the sound server's recording (raw s16le mono 44.1 kHz).

The recording is cut into 10 ms blocks. A block is active when its level is
above a small floor (the null sink records exact zeros for silence), and each
tone's share of a block's energy is measured with the Goertzel algorithm.
The test tones lie on multiples of 100 Hz, so each fills its own bin of a
10 ms block and leaks nothing into the others.

usage: listen.py RECORDING START_BYTE END_BYTE CHECK ARGS...
  tone HZ MS          the tone is heard: it holds most of the energy and
                      plays for at least half its length
  silence             nothing is heard
  cut FIRST_HZ FIRST_MS SECOND_HZ
                      the first tone plays, and stops short of its length
                      when the second starts: from then on, the second holds
                      the energy
  sound MS            some sound is active for at least MS ms
Prints what it measured and exits 0 when the check holds, 1 when it fails.
"""

import array
import math
import sys

RATE = 44100
BLOCK = RATE // 100  # 10 ms
ACTIVE_RMS = 0.01 * 32768  # -40 dBFS; the quietest test tone sits at -9 dBFS

# Thresholds, with wide margins over what the tests measure.
HEARD_SHARE = 0.5  # clean tones measure above 0.95
HEARD_LENGTH = 0.5  # fraction of the tone's length that must be active
SILENT_MS = 20  # at most two active blocks
CUT_LEAD_MS = 200  # the first tone plays this long at least before the second
CUT_SHORT = 0.75  # at most this share of its length; a first tone played out is not cut
LINGER_SHARE = 0.1  # mixed, the two tones would hold about half each


def read_blocks(path, start, end):
    with open(path, "rb") as recording:
        recording.seek(start - start % 2)
        data = recording.read(max(0, end - start))
    samples = array.array("h")
    samples.frombytes(data[: len(data) - len(data) % 2])
    if sys.byteorder != "little":
        samples.byteswap()
    return [samples[i : i + BLOCK] for i in range(0, len(samples) - BLOCK + 1, BLOCK)]


def energy(block):
    return sum(float(x) * x for x in block)


def tone_energy(block, hz):
    """Energy of the block that lies at hz (Goertzel), on the scale of energy()."""
    coefficient = 2.0 * math.cos(2.0 * math.pi * hz / RATE)
    previous = before = 0.0
    for x in block:
        previous, before = x + coefficient * previous - before, previous
    power = previous * previous + before * before - coefficient * previous * before
    return 2.0 * power / len(block)


class Stretch:
    def __init__(self, blocks):
        self.blocks = blocks
        self.energies = [energy(b) for b in blocks]
        floor = ACTIVE_RMS * ACTIVE_RMS * BLOCK
        self.active = [e > floor for e in self.energies]
        self.tones = {}

    def tone_energies(self, hz):
        """tone_energy of every active block (0 for the others), measured once."""
        if hz not in self.tones:
            self.tones[hz] = [
                tone_energy(b, hz) if self.active[i] else 0.0 for i, b in enumerate(self.blocks)
            ]
        return self.tones[hz]

    def active_ms(self):
        return 10 * sum(self.active)

    def share(self, hz, first=0, end=None):
        """The tone's share of the energy of the active blocks first to end."""
        end = len(self.blocks) if end is None else end
        tones = self.tone_energies(hz)
        total = sum(e for e, a in zip(self.energies[first:end], self.active[first:end]) if a)
        return sum(tones[first:end]) / total if total > 0 else 0.0

    def tone_blocks(self, hz):
        """Indexes of the active blocks in which the tone holds most of the energy."""
        tones = self.tone_energies(hz)
        return [
            i
            for i, e in enumerate(self.energies)
            if self.active[i] and tones[i] > HEARD_SHARE * e
        ]


def verdict(ok, text):
    print(("ok   " if ok else "FAIL ") + text)
    return ok


def check_tone(stretch, hz, length_ms):
    share = stretch.share(hz)
    heard_ms = 10 * len(stretch.tone_blocks(hz))
    need_ms = HEARD_LENGTH * length_ms
    return verdict(
        share >= HEARD_SHARE and heard_ms >= need_ms,
        f"tone {hz:g} Hz heard: share {share:.3f} (need >= {HEARD_SHARE}), "
        f"{heard_ms} ms of {length_ms:g} ms (need >= {need_ms:g})",
    )


def check_silence(stretch):
    active = stretch.active_ms()
    return verdict(active <= SILENT_MS, f"silence: {active} ms active (allowed <= {SILENT_MS})")


def check_cut(stretch, first_hz, first_ms, second_hz):
    second = stretch.tone_blocks(second_hz)
    onset = second[0] if second else len(stretch.blocks)
    before = stretch.share(first_hz, 0, onset)
    before_ms = 10 * sum(stretch.active[:onset])
    first_after = stretch.share(first_hz, onset)
    second_after = stretch.share(second_hz, onset)
    return verdict(
        before >= HEARD_SHARE
        and CUT_LEAD_MS <= before_ms <= CUT_SHORT * first_ms
        and bool(second)
        and first_after <= LINGER_SHARE
        and second_after >= HEARD_SHARE,
        f"cut: before the second tone, {first_hz:g} Hz share {before:.3f} over {before_ms} ms "
        f"(need >= {HEARD_SHARE} over {CUT_LEAD_MS} to {CUT_SHORT * first_ms:g}); from the second tone's start, "
        f"{first_hz:g} Hz share {first_after:.3f} (allowed <= {LINGER_SHARE}), "
        f"{second_hz:g} Hz share {second_after:.3f} (need >= {HEARD_SHARE})",
    )


def check_sound(stretch, least_ms):
    active = stretch.active_ms()
    return verdict(active >= least_ms, f"sound: {active} ms active (need >= {least_ms:g})")


CHECKS = {
    "tone": (check_tone, 2),
    "silence": (check_silence, 0),
    "cut": (check_cut, 3),
    "sound": (check_sound, 1),
}


def main(argv):
    if len(argv) < 5 or argv[4] not in CHECKS or len(argv) != 5 + CHECKS[argv[4]][1]:
        sys.stderr.write(__doc__)
        return 2
    check, _ = CHECKS[argv[4]]
    stretch = Stretch(read_blocks(argv[1], int(argv[2]), int(argv[3])))
    return 0 if check(stretch, *(float(a) for a in argv[5:])) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
