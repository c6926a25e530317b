#!/usr/bin/python3
"""Load runs of the real agent against the local FTP server: ten thousand files in one cycle
each way, and a file above 2 GiB each way. Prints what was moved, how long it took, and the
number of violations (files missing, different or left behind).

Usage: load.py --build BUILD [--files N] [--big-gib G]
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rig  # noqa: E402


def free_gib(folder):
    st = os.statvfs(folder)
    return st.f_bavail * st.f_frsize / (1 << 30)


def many_files(args, project, build, violations):
    root = tempfile.mkdtemp(prefix="ornel-load-many-")
    os.makedirs(root + "/server")
    server = rig.FtpServer(project, root + "/server")
    try:
        tree = rig.Tree(root, build + "/bin/ornel_ftp", build + "/bin/ornel_crypt", server.port)
        n = args.files
        expected_out, incoming = {}, []
        for i in range(n):
            data = ("outgoing file %d\r\n" % i).encode() * (1 + i % 7)
            name = "out%05d.txt" % i
            with open(os.path.join(tree.post_out, name), "wb") as f:
                f.write(data)
            expected_out[name] = hashlib.sha256(data).hexdigest()
            incoming.append(("in%05d.txt" % i, ("incoming file %d\r\n" % i).encode() * (1 + i % 5)))
        tree.encrypt_samples(incoming, tree.server_out)
        started = time.monotonic()
        status, lines = tree.run_cycle("send-receive", timeout=3600)
        took = time.monotonic() - started
        errors = [ln for ln in lines if "Ошибка" in ln]
        if status != 0:
            violations.append("%d files: the cycle failed: %s" % (n, errors[:3]))
        arrived = os.listdir(tree.server_in)
        delivered = os.listdir(tree.post_in)
        import crash_consistency as cc
        digests = cc.decrypt_folder(tree, [os.path.join(tree.server_in, a) for a in arrived])
        wrong = [p for p, d in digests.items() if d != expected_out.get(os.path.basename(p))]
        want_in = {name: hashlib.sha256(data).hexdigest() for name, data in incoming}
        wrong_in = [d for d in delivered if rig.digest(os.path.join(tree.post_in, d)) != want_in.get(d)]
        left = len(os.listdir(tree.server_out)) + len([f for f in os.listdir(tree.temp_send)
                                                       if os.path.isfile(os.path.join(tree.temp_send, f))])
        if len(arrived) != n or wrong:
            violations.append("%d files: %d arrived on the server, %d differ" % (n, len(arrived), len(wrong)))
        if len(delivered) != n or wrong_in:
            violations.append("%d files: %d delivered, %d differ" % (n, len(delivered), len(wrong_in)))
        if left:
            violations.append("%d files: %d left waiting after a successful cycle" % (n, left))
        rig.log("  %d files each way in one cycle: exit %s, %.1f s (%.0f files/s both ways), "
                "%d uploaded, %d delivered, %d log lines" % (n, status, took, 2 * n / took, len(arrived),
                                                            len(delivered), len(lines)))
    finally:
        server.stop()
        shutil.rmtree(root, ignore_errors=True)


def sparse_file(path, size):
    """A file of `size` bytes that is quick to make: marked blocks every 64 MiB, holes between."""
    with open(path, "wb") as f:
        f.truncate(size)
        for offset in range(0, size, 64 << 20):
            f.seek(offset)
            f.write(("block at %d\r\n" % offset).encode())


def big_file(args, project, build, violations):
    size = int(args.big_gib * (1 << 30))
    root = tempfile.mkdtemp(prefix="ornel-load-big-")
    need = size * 4 / (1 << 30) + 1  # archives, temp copies and the server copy of each way
    if free_gib(root) < max(12.0, need):
        rig.log("  %.1f GiB file: skipped, %.1f GiB free where the tree would go (needs %.0f)" % (
            args.big_gib, free_gib(root), max(12.0, need)))
        shutil.rmtree(root, ignore_errors=True)
        return
    os.makedirs(root + "/server")
    server = rig.FtpServer(project, root + "/server")
    try:
        # Plain moves: the size limits under test are the agent's, not the encryption program's.
        tree = rig.Tree(root, build + "/bin/ornel_ftp", build + "/bin/ornel_crypt", server.port,
                        extra_settings={"NotUseCrypt": "dword:00000001"})
        out = os.path.join(tree.post_out, "big_out.bin")
        sparse_file(out, size)
        want_out = rig.digest(out)
        inc = os.path.join(tree.server_out, "big_in.bin")
        sparse_file(inc, size + 12345)
        want_in = rig.digest(inc)
        started = time.monotonic()
        status, lines = tree.run_cycle("receive-send", timeout=7200)
        took = time.monotonic() - started
        errors = [ln for ln in lines if "Ошибка" in ln]
        got_out = os.path.join(tree.server_in, "big_out.bin")
        got_in = os.path.join(tree.post_in, "big_in.bin")
        if status != 0:
            violations.append("big file: the cycle failed: %s" % errors[:3])
        if not os.path.isfile(got_out) or rig.digest(got_out) != want_out:
            violations.append("big file: the upload did not arrive intact")
        if not os.path.isfile(got_in) or rig.digest(got_in) != want_in:
            violations.append("big file: the download was not delivered intact")
        sizes = [ln for ln in lines if "байт" in ln]
        rig.log("  %.2f GiB file each way: exit %s, %.1f s; logged sizes: %s" % (
            size / (1 << 30), status, took, "; ".join(s[-60:] for s in sizes)))
    finally:
        server.stop()
        shutil.rmtree(root, ignore_errors=True)


def month(args, project, build, violations):
    """A month of hourly cycles on the engine's fake clock (load_month)."""
    program = build + "/bin/load_month"
    if not os.path.isfile(program):
        violations.append("month of cycles: %s is not built" % program)
        return
    root = tempfile.mkdtemp(prefix="ornel-load-month-")
    os.makedirs(root + "/server")
    server = rig.FtpServer(project, root + "/server")
    try:
        out = subprocess.run([program, str(server.port), root + "/server", rig.USER, rig.PASSWORD,
                              str(args.days), "24"], capture_output=True, timeout=3600, cwd=root)
        text = out.stdout.decode("utf-8", "replace")
        for line in text.splitlines()[-12:]:
            rig.log("  " + line)
        if out.returncode != 0:
            violations.append("month of cycles: exit %d" % out.returncode)
    finally:
        server.stop()
        shutil.rmtree(root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--files", type=int, default=10000)
    parser.add_argument("--big-gib", type=float, default=3.0)
    parser.add_argument("--days", type=int, default=30)
    args = parser.parse_args()
    project = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    build = os.path.abspath(args.build)
    violations = []
    many_files(args, project, build, violations)
    big_file(args, project, build, violations)
    month(args, project, build, violations)
    rig.log("LOAD: %d files each way in one cycle, a %.1f GiB file each way, %d days of hourly cycles; "
            "violations %d" % (args.files, args.big_gib, args.days, len(violations)))
    for v in violations:
        rig.log("  ", v)
    return 1 if violations else 0


if __name__ == "__main__":
    sys.exit(main())
