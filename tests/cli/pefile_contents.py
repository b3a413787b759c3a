#!/usr/bin/python3
# Prints pefile's reading of a PE file's directories as JSON, in the shape of korvex-cli's
# `contents` object, with only the keys pefile has an opinion on. CliContentsEndToEndTest
# compares every value given here with what korvex-cli prints.
import json
import re
import struct
import subprocess
import sys

import pefile


def text(raw):
    return raw.decode("utf-8", "replace") if isinstance(raw, bytes) else raw


def fields(structure, names):
    return {name: getattr(structure, name) for name in names}


def imports(entries, delay):
    result = []
    for entry in entries:
        item = {"dll": text(entry.dll)}
        if delay:
            s = entry.struct
            item.update({"Attributes": s.grAttrs, "DllNameRVA": s.szName, "ModuleHandleRVA": s.phmod,
                         "ImportAddressTableRVA": s.pIAT, "ImportNameTableRVA": s.pINT,
                         "BoundImportAddressTableRVA": s.pBoundIAT,
                         "UnloadInformationTableRVA": s.pUnloadIAT, "TimeDateStamp": s.dwTimeStamp})
            if not s.grAttrs & 1:
                # An old-style descriptor holds VAs: pefile makes them RVAs (phmod from pUnloadIAT's
                # slot), korvex-cli shows the fields as stored, which are read here.
                stored = struct.unpack_from("<8I", pe.__data__, s.get_file_offset())
                item.update(zip(["Attributes", "DllNameRVA", "ModuleHandleRVA", "ImportAddressTableRVA",
                                 "ImportNameTableRVA", "BoundImportAddressTableRVA",
                                 "UnloadInformationTableRVA", "TimeDateStamp"], stored))
        else:
            item.update(fields(entry.struct, ["OriginalFirstThunk", "TimeDateStamp", "ForwarderChain",
                                              "Name", "FirstThunk"]))
        functions = []
        for imp in entry.imports:
            f = {"ordinal": imp.ordinal} if imp.import_by_ordinal else {"name": text(imp.name), "hint": imp.hint}
            f["thunk_rva"] = imp.address - pe.OPTIONAL_HEADER.ImageBase
            functions.append(f)
        item["functions"] = functions
        result.append(item)
    return result


pe = pefile.PE(sys.argv[1])
is64 = pe.OPTIONAL_HEADER.Magic == 0x20B
out = {}
out["imports"] = imports(getattr(pe, "DIRECTORY_ENTRY_IMPORT", []), False)
out["delay_imports"] = imports(getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []), True)

if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
    e = pe.DIRECTORY_ENTRY_EXPORT
    by_ordinal = {}
    for sym in e.symbols:
        f = by_ordinal.setdefault(sym.ordinal, {"ordinal": sym.ordinal, "rva": sym.address, "names": [],
                                                "forwarder": text(sym.forwarder)})
        if sym.name:
            f["names"].append(text(sym.name))
    out["exports"] = {"name": text(e.name), "TimeDateStamp": e.struct.TimeDateStamp, "Base": e.struct.Base,
                      "functions": [by_ordinal[o] for o in sorted(by_ordinal) if by_ordinal[o]["rva"]]}
else:
    out["exports"] = None

leaves = []
resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
for t in resources.entries if resources else []:
    type_ = str(t.name) if t.name is not None else pefile.RESOURCE_TYPE.get(t.id, t.id)
    for n in t.directory.entries:
        name = str(n.name) if n.name is not None else n.id
        for lang in n.directory.entries:
            d = lang.data.struct
            leaves.append({"type": type_, "name": name, "language": lang.id, "rva": d.OffsetToData,
                           "size": d.Size, "codepage": d.CodePage})
out["resources"] = leaves

if hasattr(pe, "VS_FIXEDFILEINFO"):
    v = pe.VS_FIXEDFILEINFO[0]
    version = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    info = {"FileVersion": version(v.FileVersionMS, v.FileVersionLS),
            "ProductVersion": version(v.ProductVersionMS, v.ProductVersionLS)}
    for file_info in getattr(pe, "FileInfo", [[]])[0]:
        if file_info.Key == b"StringFileInfo" and file_info.StringTable:
            info["strings"] = {text(k): text(val) for k, val in file_info.StringTable[0].entries.items()}
    out["version_info"] = info

debug = []
for d in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
    item = fields(d.struct, ["Characteristics", "TimeDateStamp", "MajorVersion", "MinorVersion", "Type",
                             "SizeOfData", "AddressOfRawData", "PointerToRawData"])
    cv = d.entry
    if d.struct.Type == 2 and cv is not None and hasattr(cv, "CvSignature"):
        if cv.CvSignature == b"RSDS":
            guid = "{%08X-%04X-%04X-%s-%s}" % (cv.Signature_Data1, cv.Signature_Data2, cv.Signature_Data3,
                                               cv.Signature_Data4[:2].hex().upper(),
                                               cv.Signature_Data4[2:].hex().upper())
        else:
            guid = "%08X" % cv.Signature
        item["codeview"] = {"format": text(cv.CvSignature), "guid": guid, "age": cv.Age,
                            "pdb": text(cv.PdbFileName).rstrip("\0")}
    debug.append(item)
out["debug"] = debug

if hasattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG"):
    config = {}
    for name in pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct.__keys__:
        name = name[0]
        # pefile's PE32 layout joins two names into one field past this point (a missing comma).
        if "GuardRFVerifyStackPointerFunctionPointer" in name and not is64:
            break
        config["DependentLoadFlags" if name == "Reserved1" else name] = getattr(
            pe.DIRECTORY_ENTRY_LOAD_CONFIG.struct, name)
    out["load_config"] = config

if hasattr(pe, "DIRECTORY_ENTRY_TLS"):
    s = pe.DIRECTORY_ENTRY_TLS.struct
    tls = fields(s, ["StartAddressOfRawData", "EndAddressOfRawData", "AddressOfIndex", "AddressOfCallBacks",
                     "SizeOfZeroFill", "Characteristics"])
    callbacks = []
    if s.AddressOfCallBacks:
        rva = s.AddressOfCallBacks - pe.OPTIONAL_HEADER.ImageBase
        while True:
            value = pe.get_qword_at_rva(rva) if is64 else pe.get_dword_at_rva(rva)
            if not value:
                break
            callbacks.append(value)
            rva += 8 if is64 else 4
    tls["callbacks"] = callbacks
    out["tls"] = tls

blocks = getattr(pe, "DIRECTORY_ENTRY_BASERELOC", [])
# pefile ends a block at a repeated (offset, type) pair, such as two ABSOLUTE padding entries;
# the loader reads on, so its counts say nothing then.
overlapping = any(w.startswith("Overlapping offsets in relocation data") for w in pe.get_warnings())
by_type = {}
for block in blocks:
    for entry in block.entries:
        name = pefile.RELOCATION_TYPE[entry.type][len("IMAGE_REL_BASED_"):]
        by_type[name] = by_type.get(name, 0) + 1
if not overlapping:
    out["relocations"] = {"blocks": [{"page_rva": b.struct.VirtualAddress, "entries": len(b.entries)} for b in blocks],
                          "entries": sum(len(b.entries) for b in blocks), "by_type": by_type}

exceptions = getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", None)
if exceptions is None and pe.FILE_HEADER.Machine == 0xAA64:
    # pefile reads x64 exception tables only: llvm-readobj reads ARM64's (its lengths give the ends).
    unwind = subprocess.run(["llvm-readobj", "--unwind", sys.argv[1]], capture_output=True, text=True).stdout
    ranges = [(int(start, 16) - pe.OPTIONAL_HEADER.ImageBase, int(start, 16) - pe.OPTIONAL_HEADER.ImageBase
               + int(length)) for start, length in re.findall(r"Function: (0x[0-9A-F]+)\s.*?FunctionLength: (\d+)",
                                                              unwind, re.S)]
    if ranges:
        out["exceptions"] = {"count": len(ranges), "first": {"begin": ranges[0][0], "end": ranges[0][1]},
                             "last": {"begin": ranges[-1][0], "end": ranges[-1][1]}}
if exceptions:
    out["exceptions"] = {"count": len(exceptions),
                         "first": {"begin": exceptions[0].struct.BeginAddress, "end": exceptions[0].struct.EndAddress},
                         "last": {"begin": exceptions[-1].struct.BeginAddress, "end": exceptions[-1].struct.EndAddress}}

rich = pe.parse_rich_header()
if rich:
    values = rich["values"]
    # pefile keeps the key as the checksum without checking it: the linker's sum, over the DOS
    # header (e_lfanew left out) and each entry rotated by its count, is computed here.
    def rol(value, by):
        return ((value << by) | (value >> (32 - by))) & 0xFFFFFFFF if by else value
    dos = pe.__data__[:0x80]
    checksum = 0x80 + sum(rol(byte, i % 32) for i, byte in enumerate(dos) if not 0x3C <= i < 0x40)
    checksum += sum(rol(values[i], values[i + 1] % 32) for i in range(0, len(values), 2))
    out["rich_header"] = {"key": struct.unpack("<I", rich["key"])[0],
                          "checksum_valid": checksum & 0xFFFFFFFF == struct.unpack("<I", rich["key"])[0],
                          "entries": [{"product": values[i] >> 16, "build": values[i] & 0xFFFF,
                                       "count": values[i + 1]} for i in range(0, len(values), 2)]}
else:
    out["rich_header"] = None

start = pe.get_overlay_data_start_offset()
out["overlay"] = {"offset": start, "size": len(pe.__data__) - start} if start is not None else None

security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4] if len(pe.OPTIONAL_HEADER.DATA_DIRECTORY) > 4 else None
certificates = []
if security and security.VirtualAddress and security.Size:
    at, end = security.VirtualAddress, security.VirtualAddress + security.Size
    while at + 8 <= end:
        length, revision, kind = struct.unpack_from("<IHH", pe.__data__, at)
        certificates.append({"offset": at, "length": length, "revision": revision, "type": kind})
        at += (length + 7) & ~7
out["certificates"] = certificates

print(json.dumps(out))
