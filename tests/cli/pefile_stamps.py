#!/usr/bin/python3
# pefile_stamps.py T FILE...: every time stamp pefile reads (file header, export directory, each
# resource directory, debug entries, load config) that is not T, and every stored checksum that
# is not the one pefile computes, as a JSON list; [] when all agree.
import json
import sys

import pefile

want = int(sys.argv[1], 0)
wrong = []
for name in sys.argv[2:]:
    # The export directory's functions are not needed (and slow to read): its stamp is read alone.
    pe = pefile.PE(name, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY[entry] for entry in (
        "IMAGE_DIRECTORY_ENTRY_RESOURCE", "IMAGE_DIRECTORY_ENTRY_DEBUG", "IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG")])
    stamps = [("file header", pe.FILE_HEADER.TimeDateStamp)]
    export = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]]
    if export.VirtualAddress:
        stamps.append(("export", pe.get_dword_at_rva(export.VirtualAddress + 4)))
    pending = [pe.DIRECTORY_ENTRY_RESOURCE] if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    while pending:
        directory = pending.pop()
        stamps.append(("resource directory", directory.struct.TimeDateStamp))
        pending += [entry.directory for entry in directory.entries if hasattr(entry, "directory")]
    for entry in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        stamps.append(("debug", entry.struct.TimeDateStamp))
    if hasattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG"):
        stamps.append(("load config", pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct.TimeDateStamp))
    wrong += [[name, what, value] for what, value in stamps if value != want]
    if pe.OPTIONAL_HEADER.CheckSum != pe.generate_checksum():
        wrong.append([name, "checksum", pe.OPTIONAL_HEADER.CheckSum])
print(json.dumps(wrong))
