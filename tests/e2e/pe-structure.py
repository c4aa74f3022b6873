#!/usr/bin/python3
"""Prints what the binary checks read of a PE file, one fact a line, from the
file's own structures (Debian's python3-pefile), whichever binutils is here:

  format PE32 IMAGE_FILE_MACHINE_I386
  dll_characteristics 0x540
  relocations BYTES
  export NAME ORDINAL ADDRESS      address with the file loaded at its preferred base
  import LIBRARY NAME              or #ORDINAL for an import by ordinal

usage: pe-structure.py FILE
"""
import sys

import pefile

pe = pefile.PE(sys.argv[1])
header = pe.OPTIONAL_HEADER
kind = {0x10B: "PE32", 0x20B: "PE32+"}.get(header.Magic, f"magic-{header.Magic:#x}")
print("format", kind, pefile.MACHINE_TYPE.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine)))
print(f"dll_characteristics {header.DllCharacteristics:#x}")
relocations = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
print("relocations", relocations.Size)
if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
    for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols:
        name = symbol.name.decode() if symbol.name else "-"
        print(f"export {name} {symbol.ordinal} {header.ImageBase + symbol.address:#x}")
for library in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
    for symbol in library.imports:
        name = symbol.name.decode() if symbol.name else f"#{symbol.ordinal}"
        print("import", library.dll.decode(), name)
