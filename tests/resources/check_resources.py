#!/usr/bin/env python3
"""Checks the module's compiled resources (a .res file from the resource
compiler, with the type library embedded) field by field:

    check_resources.py RESOURCES.res IDL-SOURCE VERSION

VERSION is the project version (four numbers); IDL-SOURCE gives the type
library's identifier. Prints one line per check and ends with
"N passed, N failed"."""
import re
import struct
import sys
import uuid

RT_STRING, RT_VERSION = 6, 16
ENGLISH_US = 0x0409

results = []


def check(name, ok, detail=""):
    results.append(ok)
    print(("ok      " if ok else "FAILED  ") + name + ("" if ok else ": " + detail))


def read_id(data, at):
    """A resource type or name: 0xFFFF and a number, or a UTF-16 string."""
    (first,) = struct.unpack_from("<H", data, at)
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def read_res(data):
    """{(type, name): (language, bytes)} of every resource in a .res file."""
    resources, at = {}, 0
    while at + 8 <= len(data):
        size, header = struct.unpack_from("<II", data, at)
        kind, after = read_id(data, at + 8)
        name, after = read_id(data, after)
        after = (after + 3) & ~3
        _, _, language = struct.unpack_from("<IHH", data, after)
        body = data[at + header:at + header + size]
        if size or kind or name:
            resources[(kind, name)] = (language, body)
        at = (at + header + size + 3) & ~3
    return resources


def read_node(data, at):
    """One node of a version record: (key, value, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while struct.unpack_from("<H", data, key_end)[0] != 0:
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_size]
    children, child = [], (value_at + value_size + 3) & ~3
    while child < end:
        node = read_node(data, child)
        children.append(node)
        child = (node[3] + 3) & ~3
    return key, value, children, end


def text(value):
    return value.decode("utf-16-le").rstrip("\0")


def check_version(body, numbers):
    key, fixed, children, _ = read_node(body, 0)
    check("version record key", key == "VS_VERSION_INFO", key)
    fields = struct.unpack_from("<13I", fixed)
    ms, ls = numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3]
    expected = (0xFEEF04BD, None, ms, ls, ms, ls, 0x3F, 0, 4, 2, 0, 0, 0)
    names = ("signature", "structure version", "file version (high)", "file version (low)",
             "product version (high)", "product version (low)", "file flags mask",
             "file flags", "operating system", "file type", "file subtype",
             "file date (high)", "file date (low)")
    for name, want, got in zip(names, expected, fields):
        if want is not None:
            check("fixed " + name, got == want, "0x%X, expected 0x%X" % (got, want))
    blocks = {child[0]: child for child in children}
    string_info = blocks.get("StringFileInfo", ("", b"", [], 0))[2]
    check("one string block 040904B0",
          [table[0].upper() for table in string_info] == ["040904B0"],
          str([table[0] for table in string_info]))
    dotted = ", ".join(str(n) for n in numbers)
    want = [("CompanyName", ""), ("FileDescription", "QuorbixBMPGlow DLL"),
            ("FileVersion", dotted), ("InternalName", "QuorbixBMPGlow"),
            ("LegalCopyright", None), ("LegalTrademarks", ""),
            ("OriginalFilename", "QuorbixBMPGlow.DLL"),
            ("ProductName", "QuorbixBMPGlow Dynamic Link Library"),
            ("ProductVersion", dotted), ("OLESelfRegister", "")]
    got = [(entry[0], text(entry[1])) for table in string_info for entry in table[2]]
    check("strings in order", [k for k, _ in got] == [k for k, _ in want], str(got))
    for (key, value), (_, actual) in zip(want, got):
        if value is not None:
            check("string " + key, actual == value, repr(actual))
    variables = blocks.get("VarFileInfo", ("", b"", [], 0))[2]
    translation = [v[1] for v in variables if v[0] == "Translation"]
    check("translation 0x0409, 0x04B0",
          translation == [struct.pack("<HH", ENGLISH_US, 0x04B0)], str(translation))


def check_strings(resources):
    block = resources.get((RT_STRING, 101 // 16 + 1))
    check("string table block present", block is not None)
    if block is None:
        return
    language, body = block
    check("string table language 0x0409", language == ENGLISH_US, hex(language))
    strings, at = [], 0
    for _ in range(16):
        (count,) = struct.unpack_from("<H", body, at)
        strings.append(body[at + 2:at + 2 + count * 2].decode("utf-16-le"))
        at += 2 + count * 2
    check("string 101", strings[101 % 16] == "Windows sockets initialization failed.",
          repr(strings[101 % 16]))
    check("no other strings", sum(1 for s in strings if s) == 1, str(strings))


def check_typelib(body, idl):
    header = struct.unpack_from("<2I19i", body)
    magic, _, guid_offset, lcid, _, varflags, version, _, type_count, help_string = header[:10]
    name_offset = header[14]
    check("type library format", magic == 0x5446534D, hex(magic))
    check("type library locale 0x0409", lcid == ENGLISH_US, hex(lcid))
    check("type library for 32-bit Windows", varflags & 0xF == 1, hex(varflags))
    check("type library version 1.0", version == 1, hex(version))
    check("no type descriptions", type_count == 0, str(type_count))
    check("no help string", help_string == -1, str(help_string))
    directory = 0x54 + 4 * type_count + (4 if varflags & 0x100 else 0)
    guid_table = struct.unpack_from("<i", body, directory + 16 * 5)[0]
    name_table = struct.unpack_from("<i", body, directory + 16 * 7)[0]
    guid = uuid.UUID(bytes_le=body[guid_table + guid_offset:guid_table + guid_offset + 16])
    declared = re.search(r"uuid\(([0-9A-Fa-f-]{36})\)", idl)
    check("library identifier as declared",
          declared is not None and guid == uuid.UUID(declared.group(1)), str(guid))
    length = body[name_table + name_offset + 8]
    name = body[name_table + name_offset + 12:name_table + name_offset + 12 + length]
    check("library name QuorbixBMPGlow", name == b"QuorbixBMPGlow", repr(name))


def main():
    res_path, idl_path, version = sys.argv[1:4]
    numbers = [int(n) for n in version.split(".")]
    numbers += [0] * (4 - len(numbers))
    resources = read_res(open(res_path, "rb").read())
    check("resources: version record, type library, string table only",
          sorted(map(str, resources)) == sorted(map(str, [(RT_VERSION, 1), ("TYPELIB", 1),
                                                          (RT_STRING, 101 // 16 + 1)])),
          str(list(resources)))
    check("every resource in language 0x0409",
          all(language == ENGLISH_US for language, _ in resources.values()),
          str([hex(language) for language, _ in resources.values()]))
    if (RT_VERSION, 1) in resources:
        check_version(resources[(RT_VERSION, 1)][1], numbers)
    if ("TYPELIB", 1) in resources:
        check_typelib(resources[("TYPELIB", 1)][1], open(idl_path).read())
    check_strings(resources)
    failed = results.count(False)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
