#!/usr/bin/python3
"""Runs the real agent against FTP servers that lie or attack: listings that name files
outside the working folders, passive replies that point elsewhere, huge and endless replies,
data connections that never end. Checks that every cycle ends, that nothing is written
outside the participant's folders, and that the agent's memory stays bounded (max RSS).

Usage: hostile_servers.py --build BUILD [--quick]
Exit status 1 when a violation was found.
"""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rig  # noqa: E402

RSS_LIMIT_MB = 400
CYCLE_LIMIT_S = 120
MB = 1 << 20


class HostileServer:
    """A small FTP server whose answers each case bends. Threads are daemons; every socket
    closes when the client goes."""

    def __init__(self, case):
        self.case = case
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.files = dict(case.get("files", {}))  # name -> bytes served
        self.commands = []
        threading.Thread(target=self._accept, daemon=True).start()

    def stop(self):
        try:
            self.listener.close()
        except OSError:
            pass

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._session, args=(conn,), daemon=True).start()

    def _send(self, conn, text):
        conn.sendall(text.encode("cp1251", "replace") if isinstance(text, str) else text)

    def _session(self, conn):
        conn.settimeout(CYCLE_LIMIT_S)
        data_listener = None
        try:
            greeting = self.case.get("greeting")
            if greeting:
                greeting(conn)
            else:
                self._send(conn, "220 Hostile server ready\r\n")
            buf = b""
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                buf += chunk
                while b"\n" in buf:
                    raw, buf = buf.split(b"\n", 1)
                    line = raw.decode("cp1251", "replace").strip()
                    self.commands.append(line)
                    verb, _, arg = line.partition(" ")
                    verb = verb.upper()
                    special = self.case.get("on", {}).get(verb)
                    if special:
                        special(conn, arg)
                        continue
                    if verb == "PASV":
                        data_listener = socket.socket()
                        data_listener.bind(("127.0.0.1", 0))
                        data_listener.listen(1)
                        data_listener.settimeout(30)
                        p = data_listener.getsockname()[1]
                        host = self.case.get("pasv_host", "127,0,0,1")
                        self._send(conn, "227 Entering Passive Mode (%s,%d,%d)\r\n" % (host, p // 256, p % 256))
                    elif verb in ("LIST", "NLST", "RETR", "STOR"):
                        self._data(conn, data_listener, verb, arg)
                        data_listener = None
                    elif verb == "SIZE":
                        body = self.files.get(arg)
                        self._send(conn, "213 %d\r\n" % len(body) if body is not None else "550 No such file\r\n")
                    else:
                        self._send(conn, {
                            "USER": "331 Password required\r\n", "PASS": "230 Logged in\r\n",
                            "FEAT": "211 No features\r\n", "SYST": "215 UNIX Type: L8\r\n",
                            "TYPE": "200 Type set\r\n", "CWD": "250 Directory changed\r\n",
                            "CDUP": "250 Directory changed\r\n", "PWD": '257 "/" is current\r\n',
                            "DELE": "250 Deleted\r\n", "NOOP": "200 OK\r\n", "QUIT": "221 Bye\r\n",
                        }.get(verb, "502 Not implemented\r\n"))
                        if verb == "QUIT":
                            return
        except OSError:
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass

    def _data(self, conn, listener, verb, arg):
        if listener is None:
            self._send(conn, "425 Use PASV first\r\n")
            return
        self._send(conn, "150 Opening data connection\r\n")
        try:
            data, _ = listener.accept()
        except OSError:
            listener.close()
            self._send(conn, "425 No data connection\r\n")
            return
        listener.close()
        ok = True
        try:
            if verb == "STOR":
                while data.recv(65536):
                    pass
            else:
                producer = self.case.get("data", {}).get(verb)
                if producer:
                    ok = producer(data, arg)
                elif verb == "RETR":
                    data.sendall(self.files.get(arg, b""))
                else:
                    names = list(self.files)
                    lines = ["-rw-r--r--   1 ftp ftp %8d Dec 08 10:00 %s" % (len(self.files[n]), n) for n in names] \
                        if verb == "LIST" else names
                    data.sendall(("".join(ln + "\r\n" for ln in lines)).encode("cp1251", "replace"))
        except OSError:
            ok = False
        finally:
            data.close()
        self._send(conn, "226 Transfer complete\r\n" if ok else "426 Connection closed\r\n")


def stream_forever(limit_bytes, chunk=b"x" * 65536 + b"\r\n"):
    def producer(sock, _arg):
        sent = 0
        while sent < limit_bytes:
            sock.sendall(chunk)
            sent += len(chunk)
        return True
    return producer


def endless_reply(first):
    def greeting(conn):
        conn.sendall(first)
        line = b"220-" + b"y" * 100 + b"\r\n"
        block = line * 1000
        try:
            for _ in range(100000):  # about 10 GB at most; the client gives up long before
                conn.sendall(block)
        except OSError:
            pass
    return greeting


def huge_reply(text):
    def greeting(conn):
        try:
            conn.sendall(text)
        except OSError:
            pass
    return greeting


def cases(abs_target):
    good = b"good content\r\n"
    return [
        {"name": "listing names that climb out, absolute paths, CR/LF inside names",
         "files": {"../escape1.txt": b"x", "../../escape2.txt": b"x", abs_target: b"x", "..\\escape3.txt": b"x",
                   "sub/../../escape4.txt": b"x", "sub/inner.txt": b"x", ".": b"x", "..": b"x",
                   "good.txt": good},
         "data": {"NLST": lambda s, a: (s.sendall(
             b"../escape1.txt\r\n../../escape2.txt\r\n" + abs_target.encode() + b"\r\n..\\escape3.txt\r\n"
             b"sub/../../escape4.txt\r\nsub/inner.txt\r\n.\r\n..\r\nbad\rname.txt\r\nnew\nline.txt\r\ngood.txt\r\n"),
             True)[1]},
         "expect_error": True, "expect_file": "good.txt"},
        {"name": "227 reply naming another host", "pasv_host": "10,255,0,1",
         "files": {"good.txt": good}, "expect_error": False, "expect_file": "good.txt"},
        {"name": "227 reply naming port 0 and huge port fields",
         "on": {"PASV": lambda c, a: c.sendall(b"227 Entering Passive Mode (127,0,0,1,99999999999999999999,1)\r\n")},
         "files": {"good.txt": good}, "expect_error": True},
        {"name": "greeting of 10 MB on one line", "greeting": huge_reply(b"220 " + b"z" * (10 * MB) + b"\r\n"),
         "expect_error": True},
        {"name": "multi-line greeting of 10 MB", "greeting": huge_reply(
            b"220-start\r\n" + (b" " + b"w" * 1000 + b"\r\n") * (10 * 1024) + b"220 end\r\n"), "expect_error": True},
        {"name": "endless multi-line greeting", "greeting": endless_reply(b"220-begin\r\n"), "expect_error": True},
        {"name": "SYST answer of 10 MB",
         "on": {"SYST": lambda c, a: c.sendall(b"215 " + b"s" * (10 * MB) + b"\r\n")}, "expect_error": None},
        {"name": "LIST data connection that never ends (stops at 1 GiB)",
         "files": {"good.txt": good}, "data": {"LIST": stream_forever(1 << 30)}, "expect_error": True},
        {"name": "RETR data far beyond the announced size (256 MiB for 14 bytes)",
         "files": {"good.txt": good}, "data": {"RETR": stream_forever(256 * MB)}, "expect_error": True},
        {"name": "name listing of one 1 MB name", "files": {"n" * MB + ".txt": good}, "expect_error": True},
    ]


def allowed(tree, path):
    # Where the agent may leave files: its working folders, archives, post boxes, log and
    # stores. Anything else under the root came from a name the server chose.
    ok = (tree.temp_reciv, tree.temp_send, tree.archive, tree.post_in, tree.post_out, tree.work,
          tree.registry, tree.journal, os.path.join(tree.root, "settings.reg"), tree.server,
          os.path.join(tree.root, "samples"), os.path.join(tree.root, "bin"))
    return any(path == p or path.startswith(p + os.sep) for p in ok)


def run_measured(tree, order):
    proc = subprocess.Popen(tree.cycle_args(order), cwd=tree.work, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, start_new_session=True)
    out = []
    reader = threading.Thread(target=lambda: out.append(proc.stdout.read()), daemon=True)
    reader.start()
    deadline = time.monotonic() + CYCLE_LIMIT_S
    status, rusage = None, None
    while time.monotonic() < deadline:
        pid, st, ru = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            status, rusage = os.waitstatus_to_exitcode(st), ru
            break
        time.sleep(0.05)
    if status is None:
        rig.stop_group(proc)
    reader.join(10)
    text = out[0].decode("utf-8", "replace") if out and out[0] else ""
    rss_mb = rusage.ru_maxrss / 1024 if rusage else 0
    proc.returncode = status
    return status, text.splitlines(), rss_mb


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    root = tempfile.mkdtemp(prefix="ornel-hostile-")
    abs_target = "/tmp/ornel-hostile-abs-%d.txt" % os.getpid()
    violations = []
    tried = 0
    try:
        tree = None
        for case in cases(abs_target):
            if args.quick and case["name"].startswith(("LIST data", "RETR data", "endless")):
                continue
            server = HostileServer(case)
            if tree is None:
                tree = rig.Tree(root, build + "/bin/ornel_ftp", build + "/bin/ornel_crypt", server.port,
                                extra_settings={"NotUseCrypt": "dword:00000001"})
            else:
                tree.write_settings(server.port, tree.crypt, {"NotUseCrypt": "dword:00000001"})
            tried += 1
            started = time.monotonic()
            status, lines, rss = run_measured(tree, "receive-send")
            took = time.monotonic() - started
            server.stop()
            errors = [ln for ln in lines if "Ошибка" in ln]
            found = []
            if status is None:
                found.append("the cycle did not end within %d s" % CYCLE_LIMIT_S)
            if rss > RSS_LIMIT_MB:
                found.append("max RSS %.0f MB over %d MB" % (rss, RSS_LIMIT_MB))
            if case.get("expect_error") is True and not (status == 1 and errors):
                found.append("no error logged (exit %s)" % status)
            if case.get("expect_error") is False and status != 0:
                found.append("the cycle failed: %s" % errors[:2])
            if status is not None and (status == 1) != bool(errors):
                found.append("exit status %s does not match the log (%d error lines)" % (status, len(errors)))
            for path in rig.walk_files(root):
                if not allowed(tree, path):
                    found.append("file written outside the working folders: %s" % path)
            if os.path.exists(abs_target):
                found.append("file written at the absolute path the server named: %s" % abs_target)
                os.remove(abs_target)
            want = case.get("expect_file")
            if want and not os.path.exists(os.path.join(tree.post_in, want)):
                found.append("the good file %s did not arrive in PostBoxIn" % want)
            for base in (tree.temp_reciv,):
                for path in rig.walk_files(base):
                    if os.path.getsize(path) > 64 * MB:
                        found.append("a huge partial download was left behind: %s" % path)
            rig.log("  %-62s exit %s %5.1f s  max RSS %5.0f MB  %s %s" % (
                case["name"], status, took, rss, "ok" if not found else "VIOLATION",
                errors[-1][:80] if errors else ""))
            for f in found:
                violations.append("%s: %s" % (case["name"], f))
                rig.log("    VIOLATION", f)
            # Clean slate for the next case.
            for folder in (tree.temp_reciv, tree.post_in):
                for entry in os.listdir(folder):
                    p = os.path.join(folder, entry)
                    shutil.rmtree(p) if os.path.isdir(p) and entry != "temp2" else (
                        os.remove(p) if os.path.isfile(p) else None)
        rig.log("HOSTILE SERVERS: cases tried %d, violations %d" % (tried, len(violations)))
        for v in violations:
            rig.log("  ", v)
        return 1 if violations else 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
