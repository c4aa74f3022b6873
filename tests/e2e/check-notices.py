#!/usr/bin/python3
"""check-notices.py MAP NOTICES: the module's notice file credits all the code
of others that its link took, as the linker's map records it (archives that
gave a member, and object files, named by absolute path; the build's own are
relative), and quotes only what the copyright files say.

Each file must come from a Debian package with a section in NOTICES, opened
by "Package: NAME, NAME..." (its names on the supported releases), that names
the file. Each run of lines starting with "|" must be found in that package's
/usr/share/doc/<package>/copyright, blanks and lone "." lines aside. A section
that credits nothing the link took fails too.
"""
import os
import re
import subprocess
import sys

map_text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
taken = (re.findall(r"^(/\S+?)\(\S+\)$", map_text, re.M) +
         re.findall(r"^LOAD (/\S+\.o(?:bj)?)$", map_text, re.M))


def normalized(text):
    return " ".join(" ".join(line for line in text.splitlines() if line.strip() != ".").split())


notices = open(sys.argv[2], encoding="utf-8").read()
sections = [(part.splitlines()[0][len("Package: "):].replace(",", " ").split(), part)
            for part in re.split(r"^(?=Package: )", notices, flags=re.M)[1:]]
faults, used = [], set()
for path in sorted({os.path.realpath(path) for path in taken}):
    found = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True)
    package = found.stdout.split(":")[0].split(",")[0].strip() if found.returncode == 0 else None
    covering = [index for index, (names, _) in enumerate(sections) if package in names]
    print(f"linked: {path} ({package})")
    if not covering:
        faults.append(f"{path} is from {package or 'no Debian package'}, which no section covers")
    elif not re.search(rf"(?<![\w.+-]){re.escape(os.path.basename(path))}(?![\w+-])",
                       sections[covering[0]][1]):
        faults.append(f"{os.path.basename(path)} ({package}) is not named in its section")
    used.update(covering)

for index, (names, text) in enumerate(sections):
    copyrights = [f"/usr/share/doc/{name}/copyright" for name in names]
    known = normalized("".join(open(path, encoding="utf-8").read()
                               for path in copyrights if os.path.exists(path)))
    faults += [f"the section for {names[0]} credits nothing the link took"] * (index not in used)
    faults += [f"a quote for {names[0]} is not in its copyright file: {quote.splitlines()[0]}"
               for quote in re.findall(r"(?:^\|.*\n?)+", text, re.M)
               if normalized(re.sub(r"^\| ?", "", quote, flags=re.M)) not in known]

print("".join(f"FAULT: {fault}\n" for fault in faults), end="")
sys.exit(1 if faults else 0)
