#!/usr/bin/python3
# Prints, from pefile's reading of a PE file, the state of each property `korvex-cli check`
# reports ("yes", "no" or "n/a") as a JSON object by property name; the signature is left to
# the Authenticode tests.
import json
import sys

import pefile

pe = pefile.PE(sys.argv[1])
dll = pe.OPTIONAL_HEADER.DllCharacteristics
chars = pe.FILE_HEADER.Characteristics
config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)


def config_value(name):
    return getattr(config.struct, name, 0) if config else 0


clr = pe.OPTIONAL_HEADER.DATA_DIRECTORY[14] if len(pe.OPTIONAL_HEADER.DATA_DIRECTORY) > 14 else None
dotnet = bool(clr and clr.VirtualAddress and clr.Size)
il_only = dotnet and pe.get_dword_at_rva(clr.VirtualAddress + 16) & 1
extended = None
for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
    if entry.struct.Type == 20:  # EX_DLLCHARACTERISTICS
        raw = entry.struct.PointerToRawData
        extended = int.from_bytes(pe.__data__[raw:raw + 4], "little")


def yes(flag):
    return "yes" if flag else "no"


def native(state):
    return "n/a" if il_only else state


out = {
    "aslr": yes(dll & 0x40 and not chars & 0x1),
    "high-entropy-aslr": yes(pe.OPTIONAL_HEADER.Magic == 0x20B and dll & 0x20),
    "dep": yes(dll & 0x100),
    "cfg": native(yes(dll & 0x4000 and config_value("GuardFlags") & 0x100)),
    "gs": native(yes(config_value("SecurityCookie"))),
    "cet": native(yes(extended is not None and extended & 1)),
    "force-integrity": yes(dll & 0x80),
    "appcontainer": yes(dll & 0x1000),
    "dotnet": yes(dotnet),
    "checksum": yes(pe.verify_checksum()),
    "no-wx": yes(not any(s.Characteristics & 0xA0000000 == 0xA0000000 for s in pe.sections)),
}
if pe.FILE_HEADER.Machine != 0x14C:
    out["safeseh"] = "n/a"
else:
    out["safeseh"] = native(yes(dll & 0x400 or config_value("SEHandlerTable")))
print(json.dumps(out))
