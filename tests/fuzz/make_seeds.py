#!/usr/bin/env python3
"""Writes the seed corpora of the fuzzers into tests/fuzz/corpus/<target>/.

Run from anywhere; it rewrites the seed files it knows and leaves others alone. The seeds
are small valid and near-valid inputs of each target's own input layout (see the top of
each *_fuzz.cpp)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(msg_type, payload=b"", magic=0x4E494D4F, length=None):
    if length is None:
        length = len(payload)
    return struct.pack("<IHHI", magic, msg_type, 0, length) + payload


def head(surface, p1=0, p2=0, p3=0, text=b""):
    return struct.pack("<IIII", surface, p1, p2, p3) + text


def input_record(surface, message, wparam, lparam, modifiers=0):
    return struct.pack("<IIQQII", surface, message, wparam, lparam, modifiers, 0)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    write("frame", "create", frame(100, head(1, 800, 600, 0, b"file:///C:/ui/index.html")))
    write("frame", "create_blank", frame(100, head(1, 0, 0)))
    write("frame", "navigate", frame(101, head(2, text=b"https://example.test/")))
    write("frame", "script", frame(102, head(1, text=b"window.__mpEmit('x',[1])")))
    write("frame", "resize", frame(103, head(1, 1024, 768)))
    write("frame", "input_wheel", frame(106, input_record(1, 0x20A, 0xFF880000, 0xFFFF0010)))
    write("frame", "input_long", frame(107, input_record(1, 0x100, 0x41, 0x1E0001) + b"extra"))
    write("frame", "input_short", frame(106, b"\x00" * 31))
    write("frame", "shutdown", frame(109))
    write("frame", "reversed_magic", frame(109, magic=0x4F4D494E))
    write("frame", "length_mismatch", frame(103, head(0, 1, 1), length=17))
    write("frame", "unknown_type", frame(7, head(0)))

    write("switch_value", "pipe", b"\x0d--nimomp-pipe\"app.exe\" --nimomp-browser --nimomp-pipe=\\\\.\\pipe\\p --nimomp-clientpid=42")
    write("switch_value", "quoted", b"\x0e--nimomp-cache app.exe --nimomp-cache=\"C:\\a b\\c\" --x=1")
    write("switch_value", "unclosed", b"\x0c--nimomp-url a --nimomp-url=\"http://x y")
    write("switch_value", "empty", b"\x0d--nimomp-pipe a --nimomp-pipe=")
    write("switch_value", "twice", b"\x0d--nimomp-pipe --nimomp-pipe=one --old--nimomp-pipe=two")

    write("ui_origin", "index", b"/index.html")
    write("ui_origin", "folder", b"/assets/")
    write("ui_origin", "module_query", b"/assets/index-3f2a.js?v=2#x")
    write("ui_origin", "dotdot", b"/a/../../secret.txt")
    write("ui_origin", "encoded", b"/%2e%2e%2fsecret%5c..%00")
    write("ui_origin", "device", b"/CON.txt/C:/x::$DATA")
    write("ui_origin", "utf8", b"/caf%C3%A9/%C0%AE")
    write("ui_origin", "range", b"bytes=100-199")
    write("ui_origin", "suffix_range", b"bytes=-500")
    write("asset_policy", "games", b"file:///C:/Games/ui/index.html\nfile:///C:/assets/logo.png")
    write("asset_policy", "static_query", b"file:///C:/Games/ui/index.html\nfile:///C:/static/js/app.js?v=3")
    write("asset_policy", "other_drive", b"file:///C:/Games/ui/index.html\nfile:///D:/assets/logo.png")
    write("asset_policy", "inside", b"file:///C:/build/index.html\nfile:///C:/build/app.js")
    write("asset_policy", "no_drive", b"file:///home/ui/index.html\nfile:///assets/a.png")
    write("asset_policy", "unc", b"file://server/share/a.html\nfile:///C:/img/a.png")
    write("asset_policy", "web", b"https://example.test/a.html\nhttps://example.test/assets/a.png")

    def console(level, line, message, source=b""):
        return struct.pack("<ii", level, line) + message + (b"\x00" + source if source else b"")

    write("console_line", "warn", console(3, 12, b"hello", b"file:///C:/ui/app.js"))
    write("console_line", "page", console(1, 0, b"NIMOMP|callRemote|save\x01\x02s{a}"))
    write("console_line", "long", console(4, -1, b"a" * 598 + "\u20ac".encode() + b"tail", b"x.js"))
    write("console_line", "empty", console(0, 0, b""))

    write("input_translate", "keydown", input_record(0, 0x100, 0x41, 0x1E0001, 2))
    write("input_translate", "char", input_record(0, 0x102, 0xE9, 0))
    write("input_translate", "click", input_record(1, 0x201, 1, 0x00C80064))
    write("input_translate", "wheel", input_record(1, 0x20A, 0xFF880000, 0xFFFF0010))
    write("input_translate", "leave", input_record(1, 0x2A3, 0, 0x12345678))
    write("input_translate", "dblclick", input_record(1, 0x203, 0, 0))

    write("client_decoders", "hello", frame(1, struct.pack("<II", 2, 0x1234)))
    write("client_decoders", "frame_ready", frame(2, struct.pack("<IIIIQ", 1, 800, 600, 1, 0x1C4)))
    write("client_decoders", "frame_fence", frame(10, struct.pack("<IIIIQ", 0, 0, 0, 0, 0x2C8)))
    write("client_decoders", "frame_ready3",
          frame(11, struct.pack("<IIIIQIIIIQQQ", 1, 2, 1, 0, 0x1C4, 800, 600, 1, 0, 17, 0x12345678, 42)))
    write("client_decoders", "load_failed", frame(3, head(1, 2, 0xFFFFFF9E, 0, b"https://x.test/")))
    write("client_decoders", "console", frame(4, head(1, text=b"WARN|hello  (a.js:1)")))
    write("client_decoders", "page", frame(5, head(1, text=b"NIMOMP|invoke|ping\x01\x02n42\x01\x02b1\x01\x02z")))
    write("client_decoders", "page_text", b"NIMOMP|trigger|ev\x01\x02s|x|\x01\x02o{\"a\":1}")


if __name__ == "__main__":
    main()
