#!/usr/bin/python3
"""What a test run could leave behind on the machine: every file under /etc (by digest, so
no secret is printed), the mount table, the agent's default settings folder of the user
running the tests, the entries of the temporary folder, and the processes of the programs
the tests start (servers, the agent, the encryption program, the X server, Wine). `save`
records it, `compare` tells what changed since; entries and processes that went away are
not changes a test made.

Usage: host_state.py save FILE | compare FILE
Exit status 1 when `compare` finds a change.
"""
import hashlib
import json
import os
import sys
import tempfile


ACCOUNT_FILES = ("/etc/passwd", "/etc/shadow", "/etc/group", "/etc/gshadow")
# Words in a command line that mark a program the tests start.
STARTED_PROGRAMS = ("vsftpd", "proftpd", "pure-ftpd", "pyftpdlib", "demo_ftpd", "ftpd.py", "ornel_ftp",
                    "ornel_crypt", "Xvfb", "wineserver", "wine64", "lftp")


def etc_files():
    """Every file by its digest; the account databases entry by entry, so that a change
    names the account."""
    state = {}
    for path in ACCOUNT_FILES:
        try:
            with open(path, "rb") as f:
                for line in f:
                    name = line.split(b":", 1)[0].decode(errors="replace")
                    state["%s (entry %s)" % (path, name)] = hashlib.sha256(line).hexdigest()
        except OSError:
            pass
    for base, dirs, files in os.walk("/etc"):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(base, name)
            if path in ACCOUNT_FILES or path.rstrip("-") in ACCOUNT_FILES:
                continue
            if os.path.islink(path):
                state[path] = "link:" + os.readlink(path)
                continue
            try:
                with open(path, "rb") as f:
                    state[path] = hashlib.sha256(f.read()).hexdigest()
            except OSError as e:
                state[path] = "unreadable:%s" % e.errno
    return state


def mounts():
    with open("/proc/self/mountinfo") as f:
        return sorted(" ".join(line.split()[3:5]) for line in f)


def temporary_entries():
    try:
        return sorted(os.listdir(tempfile.gettempdir()))
    except OSError:
        return []


def started_processes():
    """"pid command line" of every running process of a program the tests start."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                line = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue
        if any(word in line for word in STARTED_PROGRAMS):
            found.append("%s %s" % (pid, line))
    return sorted(found)


def snapshot():
    settings = os.path.join(os.path.expanduser("~"), ".config", "ornel_ftp")
    return {"etc": etc_files(), "mounts": mounts(), "settings folder": os.path.exists(settings),
            "temporary folder": temporary_entries(), "processes": started_processes()}


def compare(before, after, own):
    changes = []
    for path in sorted(set(before["etc"]) | set(after["etc"])):
        old, new = before["etc"].get(path), after["etc"].get(path)
        if old != new:
            changes.append("%s: %s" % (path, "added" if old is None else "removed" if new is None else "changed"))
    for line in sorted(set(before["mounts"]) ^ set(after["mounts"])):
        changes.append("mount %s: %s" % (line, "added" if line in after["mounts"] else "removed"))
    if before["settings folder"] != after["settings folder"]:
        changes.append("~/.config/ornel_ftp: %s" % ("created" if after["settings folder"] else "removed"))
    # Older state files have neither of these; nothing is then reported for them.
    if "temporary folder" in before:
        for name in sorted(set(after["temporary folder"]) - set(before["temporary folder"]) - {own}):
            changes.append("%s: added" % os.path.join(tempfile.gettempdir(), name))
    if "processes" in before:
        for line in sorted(set(after["processes"]) - set(before["processes"])):
            changes.append("process still running: %s" % line)
    return changes


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("save", "compare"):
        print(__doc__, file=sys.stderr)
        return 2
    if sys.argv[1] == "save":
        with open(sys.argv[2], "w") as f:
            json.dump(snapshot(), f)
        return 0
    with open(sys.argv[2]) as f:
        before = json.load(f)
    # The state file itself may sit in the temporary folder.
    own = os.path.basename(sys.argv[2]) if os.path.dirname(os.path.abspath(sys.argv[2])) == tempfile.gettempdir() else ""
    changes = compare(before, snapshot(), own)
    for line in changes:
        print("host changed:", line)
    print("host state: %d changes since %s" % (len(changes), sys.argv[2]))
    return 1 if changes else 0


if __name__ == "__main__":
    sys.exit(main())
