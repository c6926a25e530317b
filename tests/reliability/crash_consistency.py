#!/usr/bin/python3
"""Kills the agent with SIGKILL at random moments of real exchange cycles (both orders, the
reference encryption program, a local FTP server; now and then with its encryption program,
as a power cut would; and at the agent's own named points between the steps of a batch of
files), lets the next cycle run, and checks after every round that no participant file was
lost, truncated or corrupted on the way, and that nothing under a hidden
or partial name reached the server or PostBoxIn. Then cycles with new work both ways must
deliver every file, intact and, where no kill explains a second copy, once.

Usage: crash_consistency.py --build BUILD [--kills N] [--seed S] [--keep DIR] [--leftover-partials]
Exit status 1 when a violation was found.
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rig  # noqa: E402

ORDERS = ("send-receive", "receive-send")
# The named points between the steps of a batch of files where the agent stops itself when
# asked to: after a copy or download is written, after the batch's data sync, after a name is
# given, after the folders are flushed, right before and after the journal's commit, after a
# received file is moved into the post box, after a source is deleted, after a DELE.
BATCH_POINTS = ("batch-staged", "batch-synced", "batch-linked", "batch-named", "batch-committing",
                "batch-committed", "batch-moved", "batch-deleted", "batch-dele")
# The dated name an archive or delivery copy gets when its name is taken.
DATED = re.compile(r"\d\d\.\d\d\.\d{4} \d\d-\d\d-\d\d\.\d{3}")


class Ledger:
    """What was handed to the agent and what came out of it."""

    def __init__(self):
        self.outgoing = {}  # name -> digest of the plain text put into PostBoxOut
        self.incoming = {}  # name -> digest of the plain text the depository encrypted
        self.out_arrivals = {}  # name -> whole copies that arrived on the server
        self.in_arrivals = {}  # digest -> whole copies that arrived in PostBoxIn
        self.server_partials = []  # partial uploads left by the server while the source waits
        self.dated_duplicates = 0  # whole copies that arrived a second time under a dated name
        self.repeats = []  # whole copies delivered again after a kill or a fault
        self.written_off = set()  # names already reported lost or corrupt, not reported again
        # What waited somewhere at the last check: outgoing names, incoming digests. A file
        # delivered again must have had a copy there, or a kill or fault since to explain it.
        self.waiting_out = set()
        self.waiting_in = set()
        self.violations = []

    @property
    def out_delivered(self):
        return set(self.out_arrivals)

    @property
    def in_delivered(self):
        return set(self.in_arrivals)

    def violate(self, round_no, text):
        self.violations.append("round %d: %s" % (round_no, text))
        rig.log("  VIOLATION", self.violations[-1])

    def arrived(self, arrivals, key, waiting, round_no, quiet, what):
        """Counts one whole copy. Copy-then-remove hands a file over at least once: a kill (or
        a failed step) between the copy and the removal of its source sends it again. Without
        one, a second copy is only right when a copy was still waiting at the last check."""
        arrivals[key] = arrivals.get(key, 0) + 1
        if arrivals[key] == 1:
            return
        if quiet and key not in waiting:
            self.violate(round_no, "%s delivered again with no copy left waiting and no kill or fault: %s" % (
                what, key))
        else:
            self.repeats.append("round %d: %s %s" % (round_no, what, key))


def payload(rnd, tag, min_size=0):
    size = rnd.choice([n for n in (0, 1, 100, 4096, 65536, 65537, 300000, 1 << 20, 3 << 20) if n >= min_size])
    head = ("%s\r\n" % tag).encode()
    return (head + rnd.randbytes(max(0, size - len(head))))[:max(size, len(head))]


def add_work(tree, ledger, rnd, round_no, count, min_size=0):
    if count == 0:
        return
    incoming = []
    for k in range(count):
        name = "o%04d_%d.txt" % (round_no, k)
        data = payload(rnd, name, min_size)
        path = os.path.join(tree.post_out, name)
        with open(path + ".part", "wb") as f:
            f.write(data)
        os.replace(path + ".part", path)  # the back-office software's files appear whole
        ledger.outgoing[name] = rig.digest(path)
        name = "i%04d_%d.dat.enc" % (round_no, k)
        incoming.append((name, payload(rnd, name, min_size)))
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
    return sorted(n for n in os.listdir(folder) if n.startswith("."))


def base_name(name):
    return DATED.sub("", name)


def take_hidden(folder, ledger, round_no, where):
    """A hidden name (a partial copy's or any other) where the depository or the back-office
    software takes files is a file nobody asked for, possibly a part of one."""
    for n in hidden_files(folder):
        ledger.violate(round_no, "hidden or partial name %s: %s" % (where, n))
        path = os.path.join(folder, n)
        if os.path.isdir(path):
            shutil.rmtree(path, ignore_errors=True)
        else:
            os.remove(path)


def check(tree, ledger, round_no, final, quiet=False):
    """Takes what arrived (as the depository and the back-office software would), then checks
    that every file handed over is delivered intact or still waiting somewhere. `quiet`: no
    kill and no fault since the last check. `final`: nothing may wait any more, every file
    must have arrived."""
    # Server In: every file must decrypt to the outgoing file of its name.
    take_hidden(tree.server_in, ledger, round_no, "on the server")
    still_sending = {os.path.basename(p) for p in real_files(tree.temp_send)}
    arrived = real_files(tree.server_in)
    for path, dig in decrypt_folder(tree, arrived).items():
        name = os.path.basename(path)
        if name not in ledger.outgoing and base_name(name) in ledger.outgoing and dig == ledger.outgoing[base_name(name)]:
            # Cut between its copy into temp2 and the removal from the post box, a file is moved
            # again and its second copy gets a dated name: a whole duplicate, as designed.
            ledger.dated_duplicates += 1
            ledger.arrived(ledger.out_arrivals, base_name(name), ledger.waiting_out, round_no, quiet, "outgoing")
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
            ledger.arrived(ledger.out_arrivals, name, ledger.waiting_out, round_no, quiet, "outgoing")
        os.remove(path)
    leftovers = [n for n in os.listdir(tree.server_in) if not os.path.isfile(os.path.join(tree.server_in, n))]
    for n in leftovers:
        ledger.violate(round_no, "unexpected entry in the server's In: %s" % n)
    # PostBoxIn: every file must be one of the incoming plain texts.
    take_hidden(tree.post_in, ledger, round_no, "in PostBoxIn")
    incoming_digests = set(ledger.incoming.values())
    for path in real_files(tree.post_in):
        dig = rig.digest(path)
        if dig not in incoming_digests:
            ledger.violate(round_no, "PostBoxIn holds a file of unknown content: %s" % os.path.basename(path))
        else:
            ledger.arrived(ledger.in_arrivals, dig, ledger.waiting_in, round_no, quiet, "incoming")
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
    waiting_out.update(base_name(os.path.basename(p)) for p in encrypted_waiting)
    for name in ledger.outgoing:
        if name not in ledger.out_arrivals and name not in waiting_out and name not in ledger.written_off:
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
        if name in waiting_names:
            waiting_in.add(dig)
        if dig in ledger.in_arrivals or dig in waiting_in or name in ledger.written_off:
            continue
        ledger.violate(round_no, "incoming file lost: %s" % name)
        ledger.written_off.add(name)
    if final:
        # The final cycles had new work in both directions, so every rule that lets a file
        # wait for a later cycle (temp2 is taken up only with other work) was satisfied.
        for name in sorted(set(ledger.outgoing) - set(ledger.out_arrivals) - ledger.written_off):
            ledger.violate(round_no, "outgoing file never arrived on the server%s: %s" % (
                " (still waiting)" if name in waiting_out else "", name))
        for name, dig in sorted(ledger.incoming.items()):
            if dig not in ledger.in_arrivals and name not in ledger.written_off:
                ledger.violate(round_no, "incoming file never arrived in PostBoxIn%s: %s" % (
                    " (still waiting)" if dig in waiting_in else "", name))
        for folder in (tree.post_out, tree.temp_send, tree.temp_send + "/temp2", tree.server_out,
                       tree.temp_reciv, tree.temp_reciv + "/temp2"):
            for path in real_files(folder):
                ledger.violate(round_no, "a copy still waits after the final cycles: %s" % path)
    ledger.waiting_out, ledger.waiting_in = waiting_out, waiting_in
    return {
        "waiting_out": len(waiting_out), "waiting_in": len(waiting_in),
        "rejected": len(rejected),
        "hidden": sum(len(hidden_files(f)) for f in (tree.post_out, tree.temp_send, tree.temp_reciv,
                                                     tree.temp_send + "/temp2", tree.temp_reciv + "/temp2")),
    }


def plant_partials(tree, rnd):
    """Partial files as an interruption leaves them in the working folders: an encryption or
    decryption program stopped while writing its output, a copy stopped half-way. They are
    parts, never documents: none may reach the server or PostBoxIn."""
    for folder in (tree.temp_send, tree.temp_send + "/temp2", tree.temp_reciv, tree.temp_reciv + "/temp2"):
        os.makedirs(folder, exist_ok=True)
        name = ".ornel-part-%016x" % rnd.getrandbits(64)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(rnd.randbytes(rnd.choice([1, 4096, 70000])))
        rig.log("planted a partial file: %s/%s" % (folder, name))


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
    parser.add_argument("--leftover-partials", action="store_true",
                        help="before the final cycles, put partial files into the working folders")
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
        # Bounded: an agent that ends every run before its kill point gives no kills at all.
        max_rounds = args.kills + 10
        while stats["kills"] < args.kills and round_no < max_rounds:
            round_no += 1
            add_work(tree, ledger, rnd, round_no + 1, args.files)
            for _ in range(3):
                order = rnd.choice(ORDERS)
                if rnd.random() < 0.4:
                    # Inside a batch, at a step named by the agent itself.
                    point = "%s:%d" % (rnd.choice(BATCH_POINTS), rnd.randint(1, 3))
                    status, seen = tree.run_cycle(order, crash_at=point)
                    killed = status == -signal.SIGKILL
                    step = order[:4] + " at " + point
                else:
                    after = rnd.randint(0, lengths[order] + 4)
                    delay = rnd.choice([0.0, 0.0, rnd.uniform(0, 0.05), rnd.uniform(0, 0.4)])
                    power_cut = rnd.random() < 0.3
                    killed, seen = tree.run_killed(order, after, delay, power_cut=power_cut)
                    step = order[:4] + (" (power cut)" if power_cut else "") + ": " + step_of(seen)
                if killed:
                    stats["kills"] += 1
                    stats["steps"][step] = stats["steps"].get(step, 0) + 1
                else:
                    stats["not_killed"] += 1
            recover(tree, ledger, rnd, round_no, stats)
            info = check(tree, ledger, round_no, False)
            if round_no % 10 == 0:
                rig.log("  round %d: %d kills, %d violations, %.0f s, waiting %s" % (
                    round_no, stats["kills"], len(ledger.violations), time.monotonic() - started, info))
        if stats["kills"] < args.kills:
            ledger.violate(round_no, "only %d of %d kill points landed in %d rounds: the runs ended before "
                           "their kill point" % (stats["kills"], args.kills, round_no))
        if args.leftover_partials:
            plant_partials(tree, rnd)
        # Whatever a kill left between the steps is taken up by later cycles that find other
        # work: new files both ways, both orders, twice. After that every file must have
        # arrived intact, and a second copy of one is only right where a copy still waited.
        for final_round in (1, 2):
            add_work(tree, ledger, rnd, round_no + 1 + final_round, 1)
            for order in ORDERS:
                status, lines = tree.run_cycle(order)
                if status != 0:
                    ledger.violate(round_no, "final cycle failed: %s" % (
                        [ln for ln in lines if "Ошибка" in ln][:3] or lines[-3:]))
            info = check(tree, ledger, round_no + final_round, final_round == 2, quiet=True)
        tree.must("--registry-dir", tree.registry, "--export-reg", root + "/export.reg")
        lost_out = [n for n in ledger.outgoing if n not in ledger.out_arrivals]
        lost_in = [n for n, d in ledger.incoming.items() if d not in ledger.in_arrivals]
        rig.log("kill points by step (order: last log line before the kill):")
        for step, n in sorted(stats["steps"].items(), key=lambda kv: -kv[1]):
            rig.log("  %4d  %s" % (n, step))
        rig.log("recovery cycles that logged an error: %d" % len(stats["recovery_errors"]))
        for text in stats["recovery_errors"][:10]:
            rig.log("  ", text)
        rig.log("whole duplicates that reached the server under a dated name: %d" % ledger.dated_duplicates)
        rig.log("whole copies delivered again after a kill between a copy and the removal of its source: %d"
                % len(ledger.repeats))
        for text in ledger.repeats[:10]:
            rig.log("  ", text)
        rig.log("not arrived after the final cycles (each one a violation): %d outgoing, %d incoming (%s)" % (
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
