#!/usr/bin/python3
"""pe-structure.py FILE [ADDRESS...]: what the binary checks read of a PE file,
one fact a line, from its own structures rather than a tool's text (see the
prints); with addresses, also the 4 bytes the file holds at each."""
import sys

import pefile

pe = pefile.PE(sys.argv[1])
header = pe.OPTIONAL_HEADER
print(f"format {header.Magic:#x} {pe.FILE_HEADER.Machine:#x}")
print(f"dll_characteristics {header.DllCharacteristics:#x}")
relocations = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
print("relocations", relocations.Size)
print(f"image_base {header.ImageBase:#x}")
for address in sys.argv[2:]:
    print(f"dword {address} {pe.get_dword_at_rva(int(address, 16) - header.ImageBase):#010x}")
# Addresses as they are with the file loaded at its preferred base.
exports = pe.DIRECTORY_ENTRY_EXPORT.symbols if hasattr(pe, "DIRECTORY_ENTRY_EXPORT") else []
for symbol in exports:
    print(f"export {(symbol.name or b'-').decode()} {symbol.ordinal} {header.ImageBase + symbol.address:#x}")
for library in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
    for symbol in library.imports:
        print("import", library.dll.decode(), symbol.name.decode() if symbol.name else f"#{symbol.ordinal}")
