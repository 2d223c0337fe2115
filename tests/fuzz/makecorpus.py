#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

Run it again after changing a seed; the files it writes are the ones kept in the repo.
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))


def measurement(counter, pressure=b"1.23E-05", status=b"8409", principle=b"IG"):
    return (b"PR=" + pressure + b" mbar G=" + principle + b" F=1 IE=4.00mA SC=0009   "
            + status + b"\tN=" + str(counter).encode())


LINES = {
    "measurement": measurement(17) + b"\r",
    "measurement_crlf": measurement(1) + b"\r\n" + measurement(2) + b"\r\n",
    "two_lines_one_chunk": measurement(3) + b"\r" + measurement(4, status=b"FFFF") + b"\r",
    "pirani_0001": measurement(5, pressure=b"1.00E+03", status=b"0003", principle=b"PI") + b"\r",
    "short_line": b"RV 1.02\r",
    "line_of_45": b"x" * 45 + b"\r",
    "line_of_46": b"x" * 46 + b"\r",
    "line_of_47": b"x" * 47 + b"\r",
    "short_then_more": b"OK\r" + b"y" * 60,
    "status_blanks": b"PR=1.00E-03" + b" " * 35 + b"     \r",
    "tab_in_pressure": b"PR=\t.00E-03" + b" " * 40 + b"\r",
    "tab_at_eighth": b"PR=1.00E-0\t" + b" " * 40 + b"\r",
    "status_tabbed_0041": b"PR=1.00E-03" + b" " * 35 + b"0 0\t4 1\r",
    "cr_inside_status": b"PR=1.00E-03" + b" " * 35 + b"12\r34\r",
    "empty_lines": b"\r\r\r",
    "lf_only": b"\n\n\n",
    "no_cr": b"PR=1.00E-03 mbar without end",
    "quote_in_line": b'say "hi"\r',
    "binary": bytes(range(256)) + b"\r",
}


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def chunked(sizes, payload, mode=0):
    # Header byte: low four bits the number of size bytes, bits 6-7 the mode.
    return bytes([len(sizes) | (mode << 6)]) + bytes(sizes) + payload


def receive():
    for name, payload in LINES.items():
        write("fuzz_receive", name, chunked([], payload))
        write("fuzz_receive", name + "_bytewise", chunked([1], payload))
        write("fuzz_receive", name + "_mixed", chunked([3, 17, 1, 0], payload))
    write("fuzz_receive", "empty", b"")
    # Modes 1 to 3 put a run of about the bound's length into the payload.
    write("fuzz_receive", "run_before_line", chunked([200, 255], LINES["measurement"], mode=1))
    write("fuzz_receive", "run_no_cr", chunked([255], b"abc", mode=1))
    write("fuzz_receive", "run_past_bound", chunked([0], b"x", mode=2))
    write("fuzz_receive", "run_after_line", chunked([5, 250], b"OK\rab", mode=2))
    write("fuzz_receive", "run_between_lines", chunked([64], b"ab\r" + LINES["measurement"], mode=3))


def statusword():
    texts = {
        "ffff": b"FFFF", "8000": b"8000", "0001": b"0001", "lower_00ff": b"00ff",
        "five_digits": b"1A003", "blanks": b"     ", "empty": b"", "tabbed_0041": b"0 0\t4 1",
        "cr_ends": b"12\r34", "lf_inside": b"8\n409", "not_hex": b"G123", "long": b"F" * 40,
        "field_with_cr": b"8409\r", "leading_blank": b" 8409", "sign": b"-001",
    }
    for name, text in texts.items():
        write("fuzz_statusword", name, text)


def record():
    fields = {
        "measurement": measurement(17), "lf_first": b"\n" + measurement(2), "empty": b"",
        "quote": b'say "hi"', "only_quote": b'"', "quote_crlf": b'"\r\n', "header": b"06-12-26 14:05:09",
        "header_pm": b"06-12-26 2:05:09 PM", "not_header": b"06-12-2614:05:09",
        "two_lines": measurement(1) + b"\r" + measurement(2), "crlf_lines": b"a\r\nb\r\nc",
        "binary": bytes(range(256)), "long": b"L" * 600, "records": b'"a"\r\n"b"\r\n',
    }
    for name, field in fields.items():
        write("fuzz_record", name, field)


def logreader():
    # First byte: the reader's chunk size minus 16; then the file.
    def rec(field):
        return b'"' + field + b'"\r\n'

    header = rec(b"06-12-26 14:05:09")
    run = header + rec(measurement(1)) + rec(b"RV 1.02") + rec(b"\n" + measurement(2))
    files = {
        "one_run": run,
        "two_runs": run + rec(b"07-12-26 2:05:09 PM") + rec(measurement(3, status=b"FFFF")),
        "torn_tail": run + b'"PR=1.00E-03 mb',
        "torn_before_lf": run + b'"RV"\r',
        "malformed": run + b'junk"\r\n' + rec(b"OK"),
        "no_header": rec(measurement(4)) + rec(b""),
        "quotes": header + rec(b'say "hi"') + rec(b'"') + rec(b""),
        "line_of_46": header + rec(b"x" * 46) + rec(b"x" * 45),
        "binary": bytes(range(256)) + b'"\r\n',
        "empty": b"",
    }
    for name, data in files.items():
        write("fuzz_logreader", name, bytes([0]) + data)
        write("fuzz_logreader", name + "_chunk_big", bytes([255]) + data)


def settings():
    texts = {
        "19200": "19200,n,8,1", "38400": "38400,n,8,1", "9600_e72": "9600,e,7,2",
        "9600_15": "9600,n,8,1.5", "upper": "19200,N,8,1", "mark": "1200,m,5,1",
        "space": "115200,s,6,2", "odd": "4800,o,7,1", "zero": "0,n,8,1", "nine_digits": "999999999,n,8,1",
        "ten_digits": "1000000000,n,8,1", "short": "1.5", "tail_only": ",n,8,1", "empty": "",
        "blank_speed": " 19200,n,8,1", "trailing_blank": "19200,n,8,1 ", "five_parts": "19200,n,8,1,x",
        "dot_speed": "1.5,n,8,1", "stop_3": "19200,n,8,3", "bits_9": "19200,n,9,1",
        "umlaut": "19200,ä,8,1", "parity_word": "19200,no,8,1", "plus": "+19200,n,8,1",
    }
    for name, text in texts.items():
        write("fuzz_settings", name, text.encode("utf-8"))


def simcommand():
    streams = {
        "sx1": b"SX1\r", "sx0": b"SX0\r", "rv": b"RV\r", "sc": b"SC 004C\r", "sc_lower": b"SC 00ff\r",
        "sc_ffff": b"SC FFFF\r", "sc_short": b"SC 004\r", "sc_two_blanks": b"SC  004C\r",
        "sc_trailing": b"SC 004C \r", "lower_name": b"sc 0009\r", "crlf": b"SX1\r\nSC 0009\r\n",
        "lf_inside": b"S\nX1\r", "bare_cr": b"\r", "no_cr": b"SX1", "session": b"SX1\rSC 0009\rRV\rSX0\r",
        "long": b"A" * 300 + b"\rSX1\r", "garbage": bytes(range(1, 256)),
    }
    for name, stream in streams.items():
        write("fuzz_simcommand", name, chunked([], stream))
        write("fuzz_simcommand", name + "_bytewise", chunked([1], stream))
        write("fuzz_simcommand", name + "_mixed", chunked([2, 5, 0], stream))


if __name__ == "__main__":
    shutil.rmtree(os.path.join(HERE, "corpus"), ignore_errors=True)
    receive()
    statusword()
    record()
    logreader()
    settings()
    simcommand()
