"""Shared rig of the reliability harnesses: a participant's folder tree, its settings store and
journal, a local FTP server standing in for the depository, and runs of the real agent binary.

Only processes started here are ever stopped, always by their own id or process group.
"""
import hashlib
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import time

PYTHON = "/usr/bin/python3"
KOD = "00010000"
PIN = "12345678"
PIN_STORED = "f9NLMtP8TSc="  # 12345678 enciphered as the settings store holds it
USER = "participant"
PASSWORD = "rig-password"
# A server started with this prefix is killed when the harness ends, also when it is killed.
DIES_WITH_US = ["/usr/bin/setpriv", "--pdeathsig", "KILL", "--"] if os.access("/usr/bin/setpriv", os.X_OK) else []


# Ports for the servers the harness starts: below the ports the system gives outgoing
# connections, each held by an abstract socket of its name for as long as the harness runs,
# as the C++ tests hold theirs.
_held_ports = []


def free_port():
    start = random.SystemRandom().randrange(2700)  # leaves the seeded sequence of the campaigns alone
    for i in range(2700):
        port = 30000 + (start + i) % 2700
        name = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            name.bind("\0ornel-ftp-test-port-%d" % port)
            with socket.socket() as probe:
                probe.bind(("127.0.0.1", port))
        except OSError:
            name.close()
            continue
        _held_ports.append(name)
        return port
    raise RuntimeError("no free loopback port between 30000 and 32699")


def wait_port(port, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def session_members(sid):
    """The live processes of a session. The agent is started as a session leader; the
    encryption program it starts runs in a process group of its own but in that session."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                text = f.read()
        except OSError:
            continue
        fields = text[text.rfind(")") + 2:].split()  # state, ppid, pgrp, session, ...
        if len(fields) > 3 and int(fields[3]) == sid and fields[0] != "Z":
            pids.append(int(entry))
    return pids


def kill_session(sid):
    for pid in session_members(sid):
        try:
            os.kill(pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass


def stop_group(proc, seconds=30.0):
    """Stops a process started with its own session and waits until nothing of its session
    (orphaned children such as the encryption program included) is left."""
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    kill_session(proc.pid)
    try:
        proc.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        pass


def wait_group_gone(pgid, seconds=60.0):
    """Waits for the children a killed agent leaves behind (they stay in its session) to end
    on their own, as they would on a real machine. Returns whether they did."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not session_members(pgid):
            return True
        time.sleep(0.02)
    kill_session(pgid)
    return False


class FtpServer:
    """The project's pyftpdlib server with the depository's Windows-1251 wire and mask listings."""

    def __init__(self, project, root, port=None):
        self.root = root
        self.port = port or free_port()
        low = random.randint(20000, 60000)
        self.log = open(os.path.join(os.path.dirname(root), "ftp-server.log"), "ab")
        self.proc = subprocess.Popen(
            DIES_WITH_US + [PYTHON, os.path.join(project, "tests", "reliability", "ftpd.py"), "--port", str(self.port),
             "--root", root, "--user", USER, "--password", PASSWORD,
             "--passive", "%d-%d" % (low, low + 999)],
            stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        if not wait_port(self.port):
            self.stop()
            raise RuntimeError("the FTP server did not start on port %d" % self.port)

    def stop(self):
        if self.proc is not None:
            stop_group(self.proc)
            self.proc = None
        self.log.close()


class Tree:
    """A participant's folders, settings store and journal under one root."""

    def __init__(self, root, agent, crypt, port, crypt_prog=None, extra_settings=None):
        self.root = root
        # Private copies: a rebuild of the build tree during a long run must not change or
        # remove the programs under test.
        os.makedirs(os.path.join(root, "bin"), exist_ok=True)
        self.agent = os.path.join(root, "bin", os.path.basename(agent))
        self.crypt = os.path.join(root, "bin", os.path.basename(crypt))
        shutil.copy2(agent, self.agent)
        shutil.copy2(crypt, self.crypt)
        if crypt_prog == crypt:
            crypt_prog = self.crypt
        crypt = self.crypt
        self.client = os.path.join(root, "client")
        self.server = os.path.join(root, "server")
        self.work = os.path.join(root, "work")
        self.registry = os.path.join(root, "registry")
        self.journal = os.path.join(root, "ornel_ftp.db")
        c = self.client
        self.post_out = c + "/PostBox/Out"
        self.post_in = c + "/PostBox/In"
        self.temp_send = c + "/Temp/Send"
        self.temp_reciv = c + "/Temp/Reciv"
        self.archive = c + "/Archive"
        self.server_in = self.server + "/In"
        self.server_out = self.server + "/Out"
        for folder in (self.registry, self.work, self.server_in, self.server_out, self.post_out,
                       self.post_in, self.temp_send, self.temp_reciv, self.archive,
                       root + "/samples"):
            os.makedirs(folder, exist_ok=True)
        self.write_settings(port, crypt_prog or crypt, extra_settings or {})
        self.must("--init-journal", self.journal)

    def write_settings(self, port, crypt_prog, extra):
        c = self.client
        values = {
            "FtpOut": '"Out"', "FtpIn": '"In"',
            "TempSend": '"%s"' % self.temp_send, "TempReciv": '"%s"' % self.temp_reciv,
            "Interval": "dword:0000001e", "IP": '"127.0.0.1"', "Port": "dword:%08x" % port,
            "Passive": "dword:00000001", "User": '"%s"' % USER, "Password": '"%s"' % PASSWORD,
            "ArcSend": '"%s/Archive/ReceivedEncrypted"' % c, "ArcReciv": '"%s/Archive/SentEncrypted"' % c,
            "ArcSend2": '"%s/Archive/Received"' % c, "ArcReciv2": '"%s/Archive/Sent"' % c,
            "PostBoxOut": '"%s"' % self.post_out, "PostBoxIn": '"%s"' % self.post_in,
            "UnKnOwn": '"%s/UnKnOwn"' % c, "UnKnOwnMonitoring": "dword:00000000",
            "ERRMonitoring": "dword:00000000", "AutoRun": "dword:00000000",
            "ShowBallonHint": "dword:00000000", "NotUseCrypt": "dword:00000000",
            "SoundOFF": "dword:00000001", "ERRExt": '".dat"', "CryptProgNew": '"%s"' % crypt_prog,
            "PIN": '"%s"' % PIN_STORED, "UPIN": '"%s"' % PIN_STORED, "KodSend": '"%s"' % KOD,
            "WindowType": "dword:00000003", "Pause": "dword:00000005",
        }
        values.update(extra)
        lines = ["REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]"]
        lines += ['"%s"=%s' % (k, v) for k, v in values.items()]
        reg = os.path.join(self.root, "settings.reg")
        with open(reg, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        self.must("--registry-dir", self.registry, "--import-reg", reg)

    def must(self, *args):
        out = subprocess.run([self.agent, *args], cwd=self.work, capture_output=True, timeout=120)
        if out.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(args), out.stderr.decode(errors="replace")))
        return out

    def cycle_args(self, order):
        return [self.agent, "--registry-dir", self.registry, "--journal", self.journal, "--cycle", order]

    def run_cycle(self, order, timeout=300.0, crash_at=None):
        """One whole cycle; returns (exit status, log lines). With crash_at ("batch-synced:2"),
        the agent kills itself (SIGKILL) when it passes that named point of a batch of files;
        the status is then -9."""
        env = dict(os.environ, ORNEL_FTP_CRASH_AT=crash_at) if crash_at else None
        proc = subprocess.Popen(self.cycle_args(order), cwd=self.work, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, start_new_session=True, env=env)
        try:
            out, _ = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            stop_group(proc)
            return None, ["(no end within %.0f s)" % timeout]
        wait_group_gone(proc.pid)
        return proc.returncode, out.decode("utf-8", "replace").splitlines()

    def run_killed(self, order, after_lines, extra_delay, timeout=300.0, power_cut=False):
        """A cycle killed with SIGKILL once it has written after_lines log lines and a further
        extra_delay seconds have passed: the agent alone, or with power_cut the agent and
        the encryption program it runs, as a power cut stops both. Returns (killed, lines
        seen)."""
        proc = subprocess.Popen(self.cycle_args(order), cwd=self.work, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, start_new_session=True)
        seen = []
        killed = False
        deadline = time.monotonic() + timeout
        try:
            while len(seen) < after_lines and time.monotonic() < deadline:
                line = proc.stdout.readline()
                if not line:
                    break
                seen.append(line.decode("utf-8", "replace").rstrip("\n"))
            if proc.poll() is None:
                if extra_delay > 0:
                    time.sleep(extra_delay)
                try:
                    if power_cut:
                        os.kill(proc.pid, signal.SIGKILL)
                        kill_session(proc.pid)
                    else:
                        os.kill(proc.pid, signal.SIGKILL)  # the agent only; its children live on
                    killed = True
                except ProcessLookupError:
                    pass
            proc.stdout.close()
            proc.wait(timeout=60)
        finally:
            if proc.poll() is None:
                stop_group(proc)
        wait_group_gone(proc.pid)
        return killed, seen

    def encrypt_samples(self, names_contents, target):
        """Encrypts plain samples as the depository would and puts them into target."""
        plain = os.path.join(self.root, "samples", "plain")
        enc = os.path.join(self.root, "samples", "enc")
        for folder in (plain, enc):
            os.makedirs(folder, exist_ok=True)
            for n in os.listdir(folder):
                os.remove(os.path.join(folder, n))
        for name, data in names_contents:
            with open(os.path.join(plain, name), "wb") as f:
                f.write(data)
        subprocess.run([self.crypt, "-T", "-I", plain + "/*.*", "-O", enc, "-W", KOD, "-P", PIN,
                        "-PU", PIN], check=True, capture_output=True, timeout=120)
        for name, _ in names_contents:
            os.replace(os.path.join(enc, name), os.path.join(target, name))

    def decrypt_to_digest(self, path):
        """Decrypts one file the agent uploaded; returns the digest of the plain text or None
        when it does not decrypt (truncated or corrupt)."""
        work = os.path.join(self.root, "samples", "check")
        inp, outp = work + "/in", work + "/out"
        for folder in (inp, outp):
            os.makedirs(folder, exist_ok=True)
            for n in os.listdir(folder):
                full = os.path.join(folder, n)
                if os.path.isfile(full):
                    os.remove(full)
        name = os.path.basename(path)
        with open(path, "rb") as src, open(os.path.join(inp, name), "wb") as dst:
            dst.write(src.read())
        subprocess.run([self.crypt, "-R", "-I", inp + "/*.*", "-O", outp, "-W", KOD, "-P", PIN,
                        "-E", outp, "-M", work + "/crypt.log"], capture_output=True, timeout=120)
        result = os.path.join(outp, name)
        if os.path.isfile(result):
            return digest(result)
        return None


def walk_files(folder):
    for base, _dirs, files in os.walk(folder):
        for n in files:
            yield os.path.join(base, n)


def log(*parts):
    print(*parts, flush=True)
    sys.stdout.flush()
