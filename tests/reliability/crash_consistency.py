#!/usr/bin/python3
"""Kills the agent with SIGKILL at random moments of real exchange cycles (both orders, the
reference encryption program, a local FTP server), lets the next cycle run, and checks after
every round that no participant file was lost, truncated or corrupted on the way.

Usage: crash_consistency.py --build BUILD [--kills N] [--seed S] [--keep DIR]
Exit status 1 when a violation was found.
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rig  # noqa: E402

ORDERS = ("send-receive", "receive-send")
# The dated name an archive or delivery copy gets when its name is taken.
DATED = re.compile(r"\d\d\.\d\d\.\d{4} \d\d-\d\d-\d\d\.\d{3}")


class Ledger:
    """What was handed to the agent and what came out of it."""

    def __init__(self):
        self.outgoing = {}  # name -> digest of the plain text put into PostBoxOut
        self.incoming = {}  # name -> digest of the plain text the depository encrypted
        self.out_delivered = set()  # names whose content arrived on the server intact
        self.in_delivered = set()  # digests that arrived in PostBoxIn intact
        self.server_partials = []  # partial uploads left by the server while the source waits
        self.dated_duplicates = 0  # whole copies that arrived a second time under a dated name
        self.written_off = set()  # names already reported lost or corrupt, not reported again
        self.violations = []

    def violate(self, round_no, text):
        self.violations.append("round %d: %s" % (round_no, text))
        rig.log("  VIOLATION", self.violations[-1])


def payload(rnd, tag):
    size = rnd.choice([0, 1, 100, 4096, 65536, 65537, 300000, 1 << 20, 3 << 20])
    head = ("%s\r\n" % tag).encode()
    return (head + rnd.randbytes(max(0, size - len(head))))[:max(size, len(head))]


def add_work(tree, ledger, rnd, round_no, count):
    if count == 0:
        return
    incoming = []
    for k in range(count):
        name = "o%04d_%d.txt" % (round_no, k)
        data = payload(rnd, name)
        path = os.path.join(tree.post_out, name)
        with open(path + ".part", "wb") as f:
            f.write(data)
        os.replace(path + ".part", path)  # the back-office software's files appear whole
        ledger.outgoing[name] = rig.digest(path)
        name = "i%04d_%d.dat.enc" % (round_no, k)
        incoming.append((name, payload(rnd, name)))
    tree.encrypt_samples(incoming, tree.server_out)
    for name, data in incoming:
        ledger.incoming[name] = hashlib.sha256(data).hexdigest()


def decrypt_folder(tree, files):
    """Decrypts copies of the files in one run of the encryption program; returns
    {path: digest or None}."""
    work = os.path.join(tree.root, "samples", "check")
    shutil.rmtree(work, ignore_errors=True)
    inp, outp = work + "/in", work + "/out"
    os.makedirs(inp)
    os.makedirs(outp)
    names = {}
    for i, path in enumerate(files):
        name = "%05d_%s" % (i, os.path.basename(path))
        shutil.copyfile(path, os.path.join(inp, name))
        names[path] = name
    if files:
        import subprocess
        subprocess.run([tree.crypt, "-R", "-I", inp + "/*.*", "-O", outp, "-W", rig.KOD, "-P", rig.PIN,
                        "-E", outp, "-M", work + "/crypt.log"], capture_output=True, timeout=600)
    result = {}
    for path, name in names.items():
        out = os.path.join(outp, name)
        result[path] = rig.digest(out) if os.path.isfile(out) else None
    return result


def real_files(folder):
    """Files under their real names directly in a folder (hidden copies in progress apart)."""
    if not os.path.isdir(folder):
        return []
    return sorted(os.path.join(folder, n) for n in os.listdir(folder)
                  if not n.startswith(".") and os.path.isfile(os.path.join(folder, n)))


def hidden_files(folder):
    if not os.path.isdir(folder):
        return []
    return [n for n in os.listdir(folder) if n.startswith(".")]


def base_name(name):
    return DATED.sub("", name)


def check(tree, ledger, round_no, final):
    """Takes what arrived (as the depository and the back-office software would), then checks
    that every file handed over is delivered intact or still waiting somewhere."""
    # Server In: every file must decrypt to the outgoing file of its name.
    still_sending = {os.path.basename(p) for p in real_files(tree.temp_send)}
    arrived = real_files(tree.server_in)
    for path, dig in decrypt_folder(tree, arrived).items():
        name = os.path.basename(path)
        if name not in ledger.outgoing and base_name(name) in ledger.outgoing and dig == ledger.outgoing[base_name(name)]:
            # Cut between its copy into temp2 and the removal from the post box, a file is moved
            # again and its second copy gets a dated name: a whole duplicate, as designed.
            ledger.dated_duplicates += 1
        elif name not in ledger.outgoing:
            ledger.violate(round_no, "unknown file on the server: %s" % name)
        elif dig != ledger.outgoing[name] and name in still_sending:
            # An upload cut short that the agent noticed: its source waits in TempSend and the
            # next cycle writes the file again. A server that stores uploads in place shows the
            # part meanwhile under the real name.
            ledger.server_partials.append("round %d: %s" % (round_no, name))
        elif dig is None:
            ledger.violate(round_no, "file on the server does not decrypt (truncated or corrupt): %s" % name)
            ledger.written_off.add(name)
        elif dig != ledger.outgoing[name]:
            ledger.violate(round_no, "file on the server decrypts to other content: %s" % name)
            ledger.written_off.add(name)
        else:
            ledger.out_delivered.add(name)
        os.remove(path)
    leftovers = [n for n in os.listdir(tree.server_in) if not os.path.isfile(os.path.join(tree.server_in, n))]
    for n in leftovers:
        ledger.violate(round_no, "unexpected entry in the server's In: %s" % n)
    # PostBoxIn: every file must be one of the incoming plain texts.
    incoming_digests = set(ledger.incoming.values())
    for path in real_files(tree.post_in):
        dig = rig.digest(path)
        if dig not in incoming_digests:
            ledger.violate(round_no, "PostBoxIn holds a file of unknown content: %s" % os.path.basename(path))
        else:
            ledger.in_delivered.add(dig)
        os.remove(path)
    # Plain archives: complete copies only.
    outgoing_digests = set(ledger.outgoing.values())
    for folder, known, what in ((tree.archive + "/Sent", outgoing_digests, "outgoing"),
                                (tree.archive + "/Received", incoming_digests, "incoming")):
        for path in rig.walk_files(folder):
            if os.path.basename(path).startswith("."):
                continue
            if rig.digest(path) not in known:
                ledger.violate(round_no, "%s archive copy of unknown content: %s" % (what, path))
                os.remove(path)
    # Plain files waiting locally must be whole.
    waiting_out = set()
    for folder in (tree.post_out, tree.temp_send + "/temp2"):
        for path in real_files(folder):
            name = base_name(os.path.basename(path))
            if ledger.outgoing.get(name) != rig.digest(path):
                ledger.violate(round_no, "waiting outgoing file differs from the original: %s" % path)
            waiting_out.add(name)
    encrypted_waiting = real_files(tree.temp_send)
    if final and encrypted_waiting:
        for path, dig in decrypt_folder(tree, encrypted_waiting).items():
            name = os.path.basename(path)
            if dig is None or dig != ledger.outgoing.get(name):
                ledger.violate(round_no, "encrypted file waiting in TempSend is not whole: %s" % path)
    waiting_out.update(os.path.basename(p) for p in encrypted_waiting)
    for name in ledger.outgoing:
        if name not in ledger.out_delivered and name not in waiting_out and name not in ledger.written_off:
            ledger.violate(round_no, "outgoing file lost: %s" % name)
            ledger.written_off.add(name)
    waiting_in = set()
    for path in real_files(tree.temp_reciv + "/temp2"):
        dig = rig.digest(path)
        if dig not in incoming_digests:
            ledger.violate(round_no, "decrypted file waiting in temp2 is not whole: %s" % path)
        waiting_in.add(dig)
    waiting_names = {os.path.basename(p) for p in real_files(tree.server_out) + real_files(tree.temp_reciv)}
    rejected = real_files(tree.temp_reciv + "/rejected")
    for name, dig in ledger.incoming.items():
        if dig in ledger.in_delivered or dig in waiting_in or name in waiting_names or name in ledger.written_off:
            continue
        ledger.violate(round_no, "incoming file lost: %s" % name)
        ledger.written_off.add(name)
    return {
        "waiting_out": len(waiting_out), "waiting_in": len(waiting_in) + len(waiting_names),
        "rejected": len(rejected),
        "hidden": sum(len(hidden_files(f)) for f in (tree.post_in, tree.post_out, tree.temp_send,
                                                     tree.temp_reciv, tree.temp_send + "/temp2",
                                                     tree.temp_reciv + "/temp2")),
    }


def step_of(lines):
    """A short name for the step the agent was in when it was killed: its last log line."""
    if not lines:
        return "(start-up)"
    last = re.sub(r"\d\d[./]\d\d[./]\d{4}.*$", "", lines[-1]).strip()
    last = re.sub(r"[oi]\d{4}_\d[.\w]*", "FILE", last)
    last = re.sub(r"/\S+", "PATH", last)
    last = re.sub(r"\d+", "N", last)
    return last[:60]


def recover(tree, ledger, rnd, round_no, stats):
    for attempt in range(3):
        status, lines = tree.run_cycle(rnd.choice(ORDERS))
        if status == 0:
            return
        errors = [ln for ln in lines if "Ошибка" in ln]
        stats["recovery_errors"].append("round %d: %s" % (round_no, errors[:2] or lines[-3:]))
        rig.log("  recovery cycle ended with status", status, errors[:2])
    ledger.violate(round_no, "no cycle succeeded after the crash")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--kills", type=int, default=300)
    parser.add_argument("--files", type=int, default=2, help="new files each way per round")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--keep", default=None, help="keep the tree in this folder")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else int(time.time())
    rnd = random.Random(seed)
    random.seed(seed)
    project = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    build = os.path.abspath(args.build)
    agent, crypt = build + "/bin/ornel_ftp", build + "/bin/ornel_crypt"
    rig.log("crash consistency: seed %d, %d kill points planned" % (seed, args.kills))
    root = args.keep or tempfile.mkdtemp(prefix="ornel-crash-")
    os.makedirs(root + "/server", exist_ok=True)
    server = rig.FtpServer(project, root + "/server")
    ledger = Ledger()
    stats = {"recovery_errors": [], "steps": {}, "kills": 0, "not_killed": 0}
    try:
        tree = rig.Tree(root, agent, crypt, server.port)
        # The length of a clean cycle in log lines, for each order, spreads the kill points.
        lengths = {}
        for i, order in enumerate(ORDERS):
            add_work(tree, ledger, rnd, i, args.files)
            status, lines = tree.run_cycle(order)
            if status != 0:
                rig.log("a clean cycle failed:", "\n".join(lines[-10:]))
                return 2
            lengths[order] = len(lines)
        check(tree, ledger, 0, False)
        rig.log("clean cycle lengths in log lines:", lengths)
        round_no = 0
        started = time.monotonic()
        while stats["kills"] < args.kills:
            round_no += 1
            add_work(tree, ledger, rnd, round_no + 1, args.files)
            for _ in range(3):
                order = rnd.choice(ORDERS)
                after = rnd.randint(0, lengths[order] + 4)
                delay = rnd.choice([0.0, 0.0, rnd.uniform(0, 0.05), rnd.uniform(0, 0.4)])
                killed, seen = tree.run_killed(order, after, delay)
                if killed:
                    stats["kills"] += 1
                    step = order[:4] + ": " + step_of(seen)
                    stats["steps"][step] = stats["steps"].get(step, 0) + 1
                else:
                    stats["not_killed"] += 1
            recover(tree, ledger, rnd, round_no, stats)
            info = check(tree, ledger, round_no, False)
            if round_no % 10 == 0:
                rig.log("  round %d: %d kills, %d violations, %.0f s, waiting %s" % (
                    round_no, stats["kills"], len(ledger.violations), time.monotonic() - started, info))
        # Fresh work makes the last cycles pick up whatever a crash left between the steps.
        add_work(tree, ledger, rnd, round_no + 2, 1)
        for order in ORDERS + ORDERS:
            status, lines = tree.run_cycle(order)
            if status != 0:
                ledger.violate(round_no, "final cycle failed: %s" % [ln for ln in lines if "Ошибка" in ln][:3])
        info = check(tree, ledger, round_no + 1, True)
        tree.must("--registry-dir", tree.registry, "--export-reg", root + "/export.reg")
        lost_out = [n for n in ledger.outgoing if n not in ledger.out_delivered]
        lost_in = [n for n, d in ledger.incoming.items() if d not in ledger.in_delivered]
        rig.log("kill points by step (order: last log line before the kill):")
        for step, n in sorted(stats["steps"].items(), key=lambda kv: -kv[1]):
            rig.log("  %4d  %s" % (n, step))
        rig.log("recovery cycles that logged an error: %d" % len(stats["recovery_errors"]))
        for text in stats["recovery_errors"][:10]:
            rig.log("  ", text)
        rig.log("whole duplicates that reached the server under a dated name: %d" % ledger.dated_duplicates)
        rig.log("still waiting after the final cycles: %d outgoing, %d incoming (%s)" % (
            len(lost_out), len(lost_in), info))
        rig.log("CRASH CONSISTENCY: seed %d, kill points %d (runs that ended before the kill: %d), "
                "rounds %d, files %d outgoing + %d incoming, violations %d" % (
                    seed, stats["kills"], stats["not_killed"], round_no, len(ledger.outgoing),
                    len(ledger.incoming), len(ledger.violations)))
        for v in ledger.violations[:30]:
            rig.log("  ", v)
        return 1 if ledger.violations else 0
    finally:
        server.stop()
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
