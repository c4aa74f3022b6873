#!/usr/bin/python3
"""check-notices.py MAP NOTICES SOURCE_DIR BUILD_DIR: the module's notice file
credits all the code of others that its link took, as the linker's map
records it, and quotes only what the copyright files say.

Taken by the link: every archive that gave at least one member, and every
object file loaded, from outside the source and build folders; each must
come from a Debian package. The notice file has one section for each
package, opened by a line "Package: NAME, NAME..." (the names the package
has on the supported releases) and naming each file taken from it. Lines
starting with "|" quote the package's /usr/share/doc/<package>/copyright;
each run of them must be found there, blanks and lone "." lines aside.
A section that the link does not need fails too: the file says what the
module holds, no more.
"""
import os
import re
import subprocess
import sys

map_file, notices_file, source_dir, build_dir = sys.argv[1:5]
own_folders = tuple(os.path.realpath(folder) + os.sep for folder in (source_dir, build_dir))


def linked_files():
    """The files of others whose code the link took, as real paths."""
    taken = set()
    in_members = False
    for line in open(map_file, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        if line.startswith("Archive member included"):
            in_members = True
            continue
        member = re.match(r"(\S+?)\(\S+\)$", line)
        if in_members and member:
            taken.add(member.group(1))
        elif in_members and line and not line[0].isspace():
            in_members = False
        loaded = re.match(r"LOAD (/\S+\.o(bj)?)$", line)
        if loaded:
            taken.add(loaded.group(1))
    # Relative paths are the build's own files.
    real = {os.path.realpath(path) for path in taken if os.path.isabs(path)}
    return sorted(path for path in real if not path.startswith(own_folders))


def package_of(path):
    found = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True)
    if found.returncode != 0:
        return None
    return found.stdout.split(":")[0].split(",")[0].strip()


def normalized(text):
    lines = (line.strip() for line in text.splitlines())
    return " ".join(" ".join(line for line in lines if line != ".").split())


def sections(notices):
    """Each section's package names, its text and its quotes."""
    found = []
    for part in re.split(r"^(?=Package: )", notices, flags=re.M)[1:]:
        names = [name.strip() for name in part.splitlines()[0][len("Package: "):].split(",")]
        quotes, quote = [], []
        for line in part.splitlines() + [""]:
            if line.startswith("|"):
                quote.append(line[2:] if line.startswith("| ") else line[1:])
            elif quote:
                quotes.append("\n".join(quote))
                quote = []
        found.append((names, part, quotes))
    return found


faults = []
notices = sections(open(notices_file, encoding="utf-8").read())
used = set()
for path in linked_files():
    package = package_of(path)
    name = os.path.basename(path)
    if package is None:
        faults.append(f"{path} is from no Debian package: its licence cannot be looked up")
        continue
    covering = [index for index, (names, _, _) in enumerate(notices) if package in names]
    if not covering:
        faults.append(f"{path} is from {package}, which has no section in {notices_file}")
        continue
    used.update(covering)
    if not re.search(rf"(?<![\w.+-]){re.escape(name)}(?![\w+-])", notices[covering[0]][1]):
        faults.append(f"{name} ({package}) is not named in its section")
    print(f"linked: {path} ({package})")

for index, (names, _, quotes) in enumerate(notices):
    if index not in used:
        faults.append(f"the section for {', '.join(names)} credits nothing the link took")
        continue
    installed = [f"/usr/share/doc/{name}/copyright" for name in names
                 if os.path.exists(f"/usr/share/doc/{name}/copyright")]
    copyright_text = normalized("".join(open(path, encoding="utf-8").read() for path in installed))
    for quote in quotes:
        if normalized(quote) not in copyright_text:
            faults.append(f"a quote in the section for {', '.join(names)} is not in "
                          f"{' or '.join(installed)}: {quote.splitlines()[0]}...")

for fault in faults:
    print("FAULT:", fault)
sys.exit(1 if faults else 0)
