#!/usr/bin/python3
"""replay-guide.py GUIDE MODULE -- HOST_COMMAND...: replays the player's
guide against the built module through the host program. Each section of the
guide (a title underlined with dashes) is a new install, switched on in the
client. In it, a line "> @COMMAND" is typed, and the "Tollwick: ..." lines
right under it must be the module's whole answer (none: not its command); a
line "[rings] LINE" from the server must ring and "[silent] LINE" must not;
a "[Main]" block must be the Tollwick.ini that the section leaves."""
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile

guide, module = sys.argv[1:3]
host = [os.path.abspath(word) if os.path.exists(word) else word
        for word in sys.argv[sys.argv.index("--") + 1:]]
windows = module.endswith(".dll")
env = dict(os.environ)
if windows:
    # As in the end-to-end cases: Wine's audio device layer stays out.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;mmdevapi,winealsa.drv,winepulse.drv,wineoss.drv=d"


def lines_after(lines, number, pattern):
    """The lines right after line `number` that match pattern, unindented."""
    found = []
    for line in lines[number + 1:]:
        if not re.fullmatch(pattern, line):
            break
        found.append(line.strip())
    return found


def replay(lines):
    """The section's session, its expected transcript and its settings file."""
    session, expected, settings = ["/enable"], [], []
    for number, line in enumerate(lines):
        if typed := re.fullmatch(r"\s+> (@.*)", line):
            session.append(typed[1])
            answers = lines_after(lines, number, r"\s+Tollwick: .*")
            expected += [f"speak: {answer}" for answer in answers] or [f"not handled: {typed[1]}"]
        elif server := re.fullmatch(r"\s+\[(rings|silent)\] +(.+)", line):
            session.append(server[2])
            expected.append(("rung   | " if server[1] == "rings" else "silent | ") + server[2])
        elif re.fullmatch(r"\s+\[Main\]", line):
            settings = ["[Main]"] + lines_after(lines, number, r"\s+\w+=.*")
    return session, expected, settings


def run(session):
    """The host's transcript of the session, and the settings file it left."""
    with tempfile.TemporaryDirectory(prefix="tollwick-guide.") as folder:
        shutil.copy(module, folder)
        root = "Z:" + folder.replace("/", "\\") if windows else folder
        separator = "\\" if windows else "/"
        if not windows:
            # Sound goes nowhere, so that no fallback bell depends on the machine.
            env.update(CANBERRA_DRIVER="pulse", PULSE_SERVER=f"unix:{folder}/no-sound-server")
        done = subprocess.run(host + ["--module", root + separator + os.path.basename(module)],
                              input="\n".join(session) + "\n", capture_output=True, text=True,
                              cwd=folder, env=env)
        transcript = [line for line in done.stdout.replace("\r", "").splitlines()
                      if line.startswith(("speak: ", "rung ", "silent ", "not handled: ",
                                          "contract: "))]
        if done.returncode != 0:
            transcript.append(f"--- exit {done.returncode}: {done.stderr.strip()}")
        ini = os.path.join(folder, "Tollwick.ini")
        settings = open(ini).read().replace("\r", "").splitlines() if os.path.exists(ini) else []
        return transcript, settings


text = open(guide, encoding="utf-8").read()
titles = re.findall(r"^(.+)\n-{3,}$", text, re.M)
failures = replayed = 0
for title, section in zip(["(before the first section)"] + titles,
                          re.split(r"^.+\n-{3,}$", text, flags=re.M)):
    session, expected, settings = replay(section.splitlines())
    if len(session) == 1 and not settings:
        continue
    replayed += 1
    transcript, written = run(session)
    wanted = expected + (["--- Tollwick.ini"] + settings if settings else [])
    found = transcript + (["--- Tollwick.ini"] + written if settings else [])
    if found != wanted:
        failures += 1
        print(f"section '{title}': the module differs from the guide")
        sys.stdout.writelines(line + "\n" for line in difflib.unified_diff(
            wanted, found, "guide", "module", lineterm=""))
print(f"replay-guide: {replayed} sections replayed, {failures} differ")
sys.exit(1 if failures or not replayed else 0)
