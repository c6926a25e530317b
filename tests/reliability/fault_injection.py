#!/usr/bin/python3
"""Runs real exchange cycles through a fault-injecting proxy (and with broken encryption
programs and a full disk) and checks each case: the faulty cycle either logs an error or
has really done its work, no file is lost or corrupted, and the next cycle without the fault
succeeds and delivers.

Usage: fault_injection.py --build BUILD [--sample N] [--seed S]
Exit status 1 when a violation was found.
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rig  # noqa: E402
import crash_consistency as cc  # noqa: E402
from fault_proxy import Fault, FaultProxy  # noqa: E402

ORDERS = cc.ORDERS


class Case:
    def __init__(self, name, fault=None, crypt=None, order="send-receive", silent=False):
        self.name, self.fault, self.crypt, self.order = name, fault or Fault(), crypt, order
        # A program that cannot start, crashes, exits non-zero or runs too long is an error of
        # the cycle; one that exits 0 is judged by the files it leaves, and one that leaves
        # nothing makes a quiet cycle, which is reported apart.
        self.silent = silent


def write_script(folder, name, body):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body + "\n")
    os.chmod(path, 0o755)
    return path


def crypt_programs(folder, crypt):
    """Encryption programs that misbehave in the ways a real one can: name -> (path, silent)."""
    return {
        "crashes before any output": (write_script(folder, "crash.sh", "kill -SEGV $$"), False),
        "crashes after its work": (write_script(folder, "crash_after.sh", '"%s" "$@"\nkill -SEGV $$' % crypt),
                                   False),
        "hangs for a while, then ends without output": (write_script(folder, "hang.sh", "sleep 4\nexit 3"), False),
        "leaves nothing and reports success": (write_script(folder, "nothing.sh", "exit 0"), True),
        "is missing": (os.path.join(folder, "no-such-program"), False),
    }


class Runner:
    def __init__(self, args, rnd):
        self.args, self.rnd = args, rnd
        self.project = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
        build = os.path.abspath(args.build)
        self.agent, self.crypt = build + "/bin/ornel_ftp", build + "/bin/ornel_crypt"
        self.root = tempfile.mkdtemp(prefix="ornel-faults-")
        os.makedirs(self.root + "/server")
        self.server = rig.FtpServer(self.project, self.root + "/server")
        self.proxy = FaultProxy(self.server.port)
        self.tree = rig.Tree(self.root, self.agent, self.crypt, self.proxy.port)
        self.ledger = cc.Ledger()
        self.round = 0
        self.tried = 0
        self.effects = {"error logged": 0, "no effect, work done": 0}
        self.silent = []

    def close(self):
        self.proxy.stop()
        self.server.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    def set_crypt(self, program):
        self.tree.write_settings(self.proxy.port, program or self.crypt, {})

    def run(self, case):
        self.round += 1
        self.tried += 1
        cc.add_work(self.tree, self.ledger, self.rnd, self.round, 1)
        before = len(self.ledger.violations)
        if case.crypt:
            self.set_crypt(case.crypt)
        self.proxy.reset(case.fault)
        started = time.monotonic()
        status, lines = self.tree.run_cycle(case.order, timeout=120)
        took = time.monotonic() - started
        errors = [ln for ln in lines if "Ошибка" in ln]
        if status is None:
            self.ledger.violate(self.round, "%s: the cycle did not end within 120 s" % case.name)
        elif status != 0 and not errors:
            self.ledger.violate(self.round, "%s: exit status %s without a logged error" % (case.name, status))
        elif status == 0 and errors:
            self.ledger.violate(self.round, "%s: an error was logged but the exit status is 0" % case.name)
        if case.crypt:
            self.set_crypt(None)
        self.proxy.reset(Fault())
        # A cycle that reports success must have done its work; a failed one must lose nothing.
        info = cc.check(self.tree, self.ledger, self.round, False)
        if status == 0:
            pending = info["waiting_out"] + info["waiting_in"]
            if pending and case.silent:
                self.silent.append("%s: exit 0, %d files left waiting, no error logged" % (case.name, pending))
            elif pending:
                self.ledger.violate(self.round, "%s: success reported but %d files still wait" % (
                    case.name, pending))
            self.effects["no effect, work done"] += 1
        else:
            self.effects["error logged"] += 1
        # The next cycle without the fault succeeds and delivers everything.
        status2, lines2 = self.tree.run_cycle(self.rnd.choice(ORDERS), timeout=120)
        if status2 != 0:
            self.ledger.violate(self.round, "%s: the next cycle failed: %s" % (
                case.name, [ln for ln in lines2 if "Ошибка" in ln][:2]))
        info = cc.check(self.tree, self.ledger, self.round, False)
        if info["waiting_out"] or info["waiting_in"]:
            # temp2 leftovers are only taken up with new work: one more cycle with new files.
            cc.add_work(self.tree, self.ledger, self.rnd, 20000 + self.round, 1)
            self.tree.run_cycle(self.rnd.choice(ORDERS), timeout=120)
            info = cc.check(self.tree, self.ledger, self.round, False)
            if info["waiting_out"] or info["waiting_in"]:
                self.ledger.violate(self.round, "%s: files still wait after two clean cycles: %s" % (
                    case.name, info))
        verdict = "ok" if len(self.ledger.violations) == before else "VIOLATION"
        rig.log("  %-60s exit %s %5.1f s  %s %s" % (case.name, status, took, verdict,
                                                   (errors[-1][:90] if errors else "")))


def proxy_cases(runner, rnd, sample):
    # A clean cycle of each order through the proxy tells how many commands and data
    # connections a cycle with one file each way has.
    counts = {}
    for order in ORDERS:
        cc.add_work(runner.tree, runner.ledger, rnd, 30000 + len(counts), 1)
        runner.proxy.reset(Fault())
        status, _ = runner.tree.run_cycle(order)
        counts[order] = (list(runner.proxy.commands), runner.proxy.data_connections)
        cc.check(runner.tree, runner.ledger, 0, False)
        if status != 0:
            raise RuntimeError("a clean cycle through the proxy failed")
    cases = []
    for order in ORDERS:
        commands, data = counts[order]
        rig.log("%s: %d commands, %d data connections: %s" % (order, len(commands), data,
                                                               " ".join(c.split(" ")[0] for c in commands)))
        for n, command in enumerate(commands, 1):
            verb = command.split(" ")[0]
            cases.append(Case("%s: close control at %d %s" % (order, n, verb), Fault("close", n), order=order))
            for code in ("421", "450", "550"):
                cases.append(Case("%s: reply %s to %d %s" % (order, code, n, verb), Fault("reply", n, code=code),
                                  order=order))
        # What each data connection carries: the first command after its PASV that is not TYPE.
        carried = []
        for i, command in enumerate(commands):
            if command.startswith("PASV"):
                after = [c for c in commands[i + 1:] if not c.startswith("TYPE")]
                carried.append(after[0].split(" ")[0] if after else "?")
        for k in range(1, data + 1):
            verb = carried[k - 1] if k <= len(carried) else "?"
            for kind, size in (("cut", 0), ("cut", 70000), ("truncate", 70000), ("truncate", 0)):
                # A listing cut short looks like a directory with fewer files: the files stay
                # on the server for the next cycle, and nothing can tell the cycle otherwise.
                cases.append(Case("%s: %s data connection %d (%s) at %d bytes" % (order, kind, k, verb, size),
                                  Fault(kind, k, size=size), order=order, silent=verb in ("LIST", "NLST")))
        cases.append(Case("%s: slow server (0.05 s a reply line)" % order, Fault("slow", 0, delay=0.05),
                          order=order))
    if sample and sample < len(cases):
        cases = rnd.sample(cases, sample)
    return cases


def full_disk_case(runner):
    """The working folders on a 1 MiB file system: copies and downloads fail for want of space."""
    mount = os.path.join(runner.root, "small")
    os.makedirs(mount)
    out = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount], capture_output=True)
    if out.returncode != 0:
        rig.log("  full disk: skipped, mounting a small tmpfs is not permitted here (%s)" %
                out.stderr.decode(errors="replace").strip())
        return
    try:
        t = runner.tree
        old = (t.temp_send, t.temp_reciv)
        t.temp_send, t.temp_reciv = mount + "/Send", mount + "/Reciv"
        for f in (t.temp_send, t.temp_reciv):
            os.makedirs(f)
        t.write_settings(runner.proxy.port, runner.crypt,
                         {"TempSend": '"%s"' % t.temp_send, "TempReciv": '"%s"' % t.temp_reciv})
        # Files bigger than the disk each way.
        for order in ORDERS:
            runner.round += 1
            runner.tried += 1
            name = "o%04d_big.txt" % runner.round
            data = os.urandom(3 << 20)
            with open(os.path.join(t.post_out, name), "wb") as f:
                f.write(data)
            runner.ledger.outgoing[name] = hashlib.sha256(data).hexdigest()
            iname = "i%04d_big.dat.enc" % runner.round
            idata = os.urandom(3 << 20)
            t.encrypt_samples([(iname, idata)], t.server_out)
            runner.ledger.incoming[iname] = hashlib.sha256(idata).hexdigest()
            before = len(runner.ledger.violations)
            status, lines = t.run_cycle(order, timeout=120)
            errors = [ln for ln in lines if "Ошибка" in ln]
            if status is None or (status != 0) != bool(errors):
                runner.ledger.violate(runner.round, "full disk: exit %s with errors %s" % (status, errors[:2]))
            cc.check(t, runner.ledger, runner.round, False)
            rig.log("  %-60s exit %s  %s %s" % ("%s: full disk for the working folders" % order, status,
                                               "ok" if len(runner.ledger.violations) == before else "VIOLATION",
                                               errors[-1][:90] if errors else ""))
        # Space again: the files come through.
        t.temp_send, t.temp_reciv = old
        t.write_settings(runner.proxy.port, runner.crypt, {})
        for src, dst in ((mount + "/Send", t.temp_send), (mount + "/Reciv", t.temp_reciv)):
            # What the agent left on the small disk is moved over as an operator would.
            for base, _d, files in os.walk(src):
                rel = os.path.relpath(base, src)
                for n in files:
                    if n.startswith("."):
                        continue
                    os.makedirs(os.path.join(dst, rel), exist_ok=True)
                    shutil.move(os.path.join(base, n), os.path.join(dst, rel, n))
        for order in ORDERS:
            status, lines = t.run_cycle(order, timeout=300)
            if status != 0:
                runner.ledger.violate(runner.round, "after the full disk, the next cycle failed: %s" %
                                      [ln for ln in lines if "Ошибка" in ln][:2])
        info = cc.check(t, runner.ledger, runner.round, False)
        if info["waiting_out"] or info["waiting_in"]:
            runner.ledger.violate(runner.round, "after the full disk, files still wait: %s" % info)
    finally:
        subprocess.run(["umount", "-l", mount], capture_output=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--sample", type=int, default=0, help="run only this many proxy cases, chosen at random")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--quick", action="store_true", help="one encryption program case, no full disk")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else int(time.time())
    rnd = random.Random(seed)
    random.seed(seed)
    rig.log("fault injection: seed %d" % seed)
    runner = Runner(args, rnd)
    try:
        for case in proxy_cases(runner, rnd, args.sample):
            runner.run(case)
        crypt_cases = [Case("%s: encryption program %s" % (order, name), crypt=program, order=order, silent=silent)
                       for name, (program, silent) in crypt_programs(runner.root, runner.crypt).items()
                       for order in ORDERS]
        if args.quick:
            crypt_cases = rnd.sample(crypt_cases, 1)
        for case in crypt_cases:
            runner.run(case)
        if not args.quick:
            full_disk_case(runner)
        rig.log("FAULT INJECTION: seed %d, cases tried %d (%s), files %d outgoing + %d incoming, violations %d"
                % (seed, runner.tried, ", ".join("%s %d" % kv for kv in runner.effects.items()),
                   len(runner.ledger.outgoing), len(runner.ledger.incoming), len(runner.ledger.violations)))
        if runner.ledger.server_partials:
            rig.log("uploads cut short that the agent noticed (source kept in TempSend, sent again next cycle) "
                    "while the server kept the part under the real name: %d" % len(runner.ledger.server_partials))
            for text in runner.ledger.server_partials:
                rig.log("  ", text)
        if runner.silent:
            rig.log("quiet cycles (an encryption program that did nothing, or a listing cut short): files kept "
                    "for the next cycle, no error logged: %d" % len(runner.silent))
            for text in runner.silent:
                rig.log("  ", text)
        for v in runner.ledger.violations[:40]:
            rig.log("  ", v)
        return 1 if runner.ledger.violations else 0
    finally:
        runner.close()


if __name__ == "__main__":
    sys.exit(main())
