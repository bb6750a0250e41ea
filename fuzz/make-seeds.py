#!/usr/bin/env python3
# Writes the small seed inputs of fuzz/corpus/ that are not plain text files: resource
# containers and hand-made zip archives (links, paths leading out, stored and deflated).
# Packages made by the maker's tool are added by hand: oneclick-build package DIR -o FILE.
import io, os, stat, struct, sys, zipfile, zlib

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def put(target, name, data):
    with open(os.path.join(root, target, name), "wb") as f:
        f.write(data)


def container(program, entries):
    data, index = b"", b""
    offset = len(program)
    for name, typ, blob in entries:
        n, t = name.upper().encode(), typ.upper().encode()
        index += struct.pack("<H", len(n)) + n + struct.pack("<H", len(t)) + t
        index += struct.pack("<QQ", offset + len(data), len(blob))
        data += blob
    index_offset = len(program) + len(data)
    trailer = struct.pack("<QQIIII", len(program), index_offset, len(index), len(entries),
                          zlib.crc32(index), 1) + b"OCLKRES1"
    return program + data + index + trailer


# First byte: bit 0 set lets the target fix the index checksum.
put("resource_container", "two-entries", b"\x00" + container(b"\x7fELF", [
    ("configfile", "file", b'{"SoftId":"demo"}'), ("logo", "file", b"\x89PNG")]))
put("resource_container", "empty-index", b"\x00" + container(b"prog", []))
put("resource_container", "lang-text", b"\x01" + container(b"", [
    ("lang_en", "Lang", b"\xef\xbb\xbf[FrmMain]\nlblTitleText=x\r\n[End]")]))


def archive(entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for name, data, mode, method in entries:
            info = zipfile.ZipInfo(name)
            info.external_attr = mode << 16
            info.create_system = 3
            info.compress_type = method
            z.writestr(info, data)
    return out.getvalue()


S, D = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
reg, lnk, dr = stat.S_IFREG | 0o644, stat.S_IFLNK | 0o777, stat.S_IFDIR | 0o755
# First byte: the password's place in the target's list (0 is the package password).
put("extraction", "plain-stored-deflated", b"\x00" + archive([
    ("dir/", b"", dr, S), ("dir/a.txt", b"alpha\n", reg, S), ("b.txt", b"beta " * 20, reg, D)]))
put("extraction", "links", b"\x00" + archive([
    ("inner.txt", b"x", reg, S), ("ok-link", b"inner.txt", lnk, S),
    ("out-link", b"../../outside", lnk, S), ("abs-link", b"/etc/passwd", lnk, S)]))
put("extraction", "leading-out", b"\x00" + archive([
    ("../escape.txt", b"no", reg, S), ("/abs.txt", b"no", reg, S),
    ("a/../../b.txt", b"no", reg, S), ("good.txt", b"yes", reg, S)]))
