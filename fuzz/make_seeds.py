#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

The targets read their input with libFuzzer's FuzzedDataProvider: strings
and bytes from the front, numbers from the back. `Input` lays out values the
same way, so that each seed says in words what it exercises. Run it again
after changing the order in which a target reads its input.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


class Input:
    def __init__(self, first=b""):
        self.front = bytearray(first)
        self.back = bytearray()  # in the order the numbers are read

    def number(self, lo, hi, value):
        assert lo <= value <= hi
        span, v = hi - lo, value - lo
        n = (span.bit_length() + 7) // 8
        self.back += v.to_bytes(n, "big") if n else b""
        return self

    def u8(self, v):
        return self.number(0, 255, v)

    def u32(self, v):
        return self.number(0, 2**32 - 1, v)

    def boolean(self, v):
        return self.u8(1 if v else 0)

    def double(self, x):
        self.back += struct.pack(">d", x)
        return self

    def text(self, data, most):
        data = bytes(data)
        assert len(data) <= most
        self.front += data.replace(b"\\", b"\\\\")
        if len(data) < most:
            self.front += b"\\ "
        return self

    def rest(self, data):
        self.front += data
        return self

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


def record(rtype, offset, data):
    body = bytes([len(data), offset >> 8, offset & 0xFF, rtype]) + bytes(data)
    return b":" + (body + bytes([(-sum(body)) & 0xFF])).hex().upper().encode()


def block(b):
    return record(0x04, 0, bytes([0, b]))


END = record(0x01, 0, b"")


def lines(*ls, end=b"\r\n"):
    return b"".join(l + end for l in ls)


def firmware_line_seeds():
    data16 = bytes(range(16))
    data32 = bytes(range(0x20, 0x40))
    good = [block(0), record(0, 0, data16), record(0, 0x10, data32), block(1), record(0, 0xFFE0, data32), END]
    bad = bytearray(record(0, 0x20, data16))
    bad[-1:] = b"0" if bad[-1:] != b"0" else b"1"
    return {
        "two-blocks-crlf.ldr": lines(*good),
        "two-blocks-lf.ldr": lines(*good, end=b"\n"),
        "lower-case.ldr": lines(*(l.lower() for l in good)),
        "no-end-no-final-line-end.ldr": lines(*good[:-1])[:-2],
        "bad-checksum.ldr": lines(block(0), bytes(bad), END),
        "record-of-33-bytes.ldr": lines(block(0), record(0, 0, bytes(33)), END),
        "past-the-block-end.ldr": lines(block(0), record(0, 0xFFF0, bytes(17)), END),
        "short-and-other-lines.ldr": lines(b"", b":00", b"; note", record(0x05, 0, b"\x00\x01\x02\x03"), record(0, 0, b"\xAA"), END),
    }


def settings_seed(section, key, value, number, x, content):
    i = Input()
    i.text(section.encode(), 24).text(key.encode(), 24).text(value.encode(), 48).text(number.encode(), 48)
    return i.double(x).rest(content).bytes()


SETUP = (b"[ComSettings]\r\nDevAdr=1\r\nComPort=3\r\nComSpeed=115200\r\n"
         b"[AmpCom]\r\nDebug=73\r\n[Velmsettings]\r\nFirmwareFile=C:\\fw\\velm.ldr\r\nSerial=1000\r\n")


def settings_seeds():
    return {
        "replace-devadr": settings_seed("ComSettings", "DevAdr", "12", " 73 ", 2.5, SETUP),
        "count-serial": settings_seed("Velmsettings", "Serial", "1001", "1000", 1000.5, SETUP),
        "new-section-in-empty-file": settings_seed("AmpCom", "Debug", "73", "-1.5x", 1e-5, b""),
        "other-case-comments-lf": settings_seed(
            "comsettings", "comport", " 5 \r\n", "12abc", -2.5,
            b"; settings\n[ComSettings]\n# port\nComPort = 1\n\n[comsettings]\nComPort=9\n"),
        "new-key-after-last-key": settings_seed("ComSettings", "ComSpeed", "9600", ".25", 1e15 + 1,
                                                b"[ComSettings]\r\nDevAdr=1\r\n; end\r\n[AmpCom]\r\nDebug=0\r\n"),
    }


# The single operations, in the order RunOperations knows them.
DETECT, ENTER, EXIT, WRITE, ERASE, PROGRAM, CRC, FLASHCRC, BARE = range(9)


def reply(i, length, status=0, pieces=None, length_byte_off=0):
    """A reply of `length` bytes with status `status`, in pieces of the given sizes."""
    i.number(0, 2, 2).number(1, 90, length)
    i.text(bytes([length, 1, 0, status]).ljust(length, b"\x33")[:length], length)
    i.number(-1, 1, length_byte_off)
    if length >= 4:
        i.boolean(status == 0)
        if status != 0:
            i.u8(status)
    pieces = pieces or [length]
    at = 0
    for p in pieces:
        i.number(1, length - at, p)
        at += p
    assert at == length


def silence(i):
    i.number(0, 2, 0)


def loose(i, *chunks):
    i.number(0, 2, 1).number(1, 5, len(chunks))
    for c in chunks:
        i.text(c, 48)


def ops_seed(address_index, steps):
    i = Input(b"\x00")
    i.number(0, 9, address_index).number(1, 6, len(steps))
    for op, answer, args in steps:
        i.number(0, 8, op)
        answer(i)
        args(i)
    return i.bytes()


def no_args(i):
    pass


def write_args(n, adr, data_len):
    def f(i):
        i.number(-1, 34, n).boolean(False).number(-2, 65540, adr).number(0, 34, data_len)
        for k in range(data_len):
            i.u8(k)
    return f


def byte_arg(b):
    return lambda i: i.u8(b)


def reply_stream_seeds():
    ok5 = lambda i: reply(i, 5)
    return {
        "amplifier-exchanges": ops_seed(0, [
            (DETECT, lambda i: reply(i, 8), no_args),
            (ENTER, ok5, no_args),
            (WRITE, lambda i: reply(i, 5, pieces=[2, 3]), write_args(16, 0x0100, 16)),
            (CRC, lambda i: reply(i, 7), no_args),
            (PROGRAM, ok5, byte_arg(0)),
            (EXIT, ok5, no_args),
        ]),
        "refusals-and-short-replies": ops_seed(0, [
            (ERASE, lambda i: reply(i, 5, status=0x14), byte_arg(42)),
            (CRC, lambda i: reply(i, 5), no_args),
            (DETECT, lambda i: reply(i, 7, status=0x13), no_args),
            (FLASHCRC, lambda i: reply(i, 4), no_args),
        ]),
        "silence-stray-byte-wrong-length": ops_seed(0, [
            (DETECT, silence, no_args),
            (WRITE, lambda i: loose(i, b"\x00", b"\x05\x01\x00\x00\x06"), write_args(1, 0xFFFF, 1)),
            (EXIT, lambda i: reply(i, 5, length_byte_off=1), no_args),
        ]),
        "oversized-then-late-reply": ops_seed(0, [
            (BARE, lambda i: loose(i, b"\x0a" + b"\x00" * 47, b"\x00" * 40, b"\x05\x01\x00\x00\x06"), lambda i: i.u8(91).u8(1)),
            (ENTER, ok5, no_args),
        ]),
        # The guard empties the buffer after the length byte 05 was taken;
        # the 5 bytes that follow complete the wait though their own length
        # byte says 9.
        "guard-emptied-then-other-reply": ops_seed(0, [
            (BARE, lambda i: loose(i, b"\x05" + b"\x00" * 47, b"\x00" * 40, b"\x09\x01\x00\x00\x33"), lambda i: i.u8(91).u8(1)),
        ]),
        "bad-address-and-limits": ops_seed(5, [
            (DETECT, ok5, no_args),
            (WRITE, ok5, write_args(33, 0, 33)),
        ]),
    }


def run_seed(kind, faults=(), no_end=False, fail_open=False, seed=1):
    i = Input(b"\x01")
    i.number(0, 2, kind).number(0, 7, 0 if no_end else 1).number(0, 15, 0 if fail_open else 1).u32(seed)
    i.number(0, 4, len(faults))
    for request, occurrence, fault, status, chunk in faults:
        i.number(0, 8, request).number(0, 5, occurrence).number(0, 9, fault).u8(status).number(1, 9, chunk)
    return i.bytes()


AMPLIFIER, FIXTURE, SILENT = range(3)
R_DETECT, R_ENTER, R_EXIT, R_WRITE, R_ERASE, R_PROGRAM, R_CRC, R_FLASHCRC, R_UNKNOWN = range(9)
(F_STATUS, F_SILENCE, F_CHUNKED, F_STRAY, F_WRONG_LENGTH, F_SHORT, F_OVERSIZED, F_NO_CONFIRM,
 F_BAD_CONFIRM, F_GARBAGE) = range(10)


def run_seeds():
    return {
        "run-amplifier": run_seed(AMPLIFIER),
        "run-fixture-no-end-record": run_seed(FIXTURE, no_end=True),
        "run-silent-line": run_seed(SILENT),
        "run-chunked-writes-refused-program": run_seed(AMPLIFIER, [(R_WRITE, 0, F_CHUNKED, 0, 3), (R_PROGRAM, 2, F_STATUS, 0x15, 1)]),
        "run-bad-boot-frame": run_seed(AMPLIFIER, [(R_ENTER, 1, F_BAD_CONFIRM, 0, 1)]),
        "run-garbage-and-oversized": run_seed(AMPLIFIER, [(R_CRC, 1, F_GARBAGE, 0, 1), (R_WRITE, 3, F_OVERSIZED, 0, 1)]),
        "run-stray-byte-fixture": run_seed(FIXTURE, [(R_WRITE, 2, F_STRAY, 0, 1)]),
    }


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    write("fuzz_firmware_line", firmware_line_seeds())
    write("fuzz_settings", settings_seeds())
    seeds = reply_stream_seeds()
    seeds.update(run_seeds())
    write("fuzz_reply_stream", seeds)
