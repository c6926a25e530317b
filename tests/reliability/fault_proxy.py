"""A TCP proxy between the agent and an FTP server that injects faults: it can close the
control connection at the Nth command, answer the Nth command itself with an error reply
instead of the server, hold the Nth command without any answer, slow every reply down, and
cut or silently truncate the Nth data connection after a number of bytes. Passive replies
are rewritten so that every data connection also passes through the proxy.

Everything listens on 127.0.0.1 only; all threads are daemons and end with their sockets.
"""
import re
import socket
import threading
import time

PASV = re.compile(rb"^227 .*?\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\)")


class Fault:
    """One fault. kind: none | close | reply | stall | slow | cut | truncate."""

    def __init__(self, kind="none", at=0, code=None, size=0, delay=0.0):
        self.kind, self.at, self.code, self.size, self.delay = kind, at, code, size, delay

    def __repr__(self):
        extra = {"reply": " %s" % self.code, "cut": " after %d bytes" % self.size,
                 "truncate": " to %d bytes" % self.size, "slow": " %.2f s a reply" % self.delay}
        return "%s at %d%s" % (self.kind, self.at, extra.get(self.kind, ""))


def close_quietly(*socks):
    for s in socks:
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        try:
            s.close()
        except OSError:
            pass


class FaultProxy:
    def __init__(self, upstream_port, fault=None):
        self.upstream = ("127.0.0.1", upstream_port)
        self.fault = fault or Fault()
        self.commands = []  # every command line seen, over all sessions
        self.data_connections = 0
        self.fired = False
        self.bitten = False  # the fault really withheld, changed or slowed something
        self.lock = threading.Lock()
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.stopping = False
        self.sockets = []
        threading.Thread(target=self._accept, daemon=True).start()

    def reset(self, fault):
        with self.lock:
            self.fault = fault
            self.commands = []
            self.data_connections = 0
            self.fired = False
            self.bitten = False

    def stop(self):
        self.stopping = True
        close_quietly(self.listener, *self.sockets)

    def _track(self, s):
        self.sockets.append(s)
        return s

    def _accept(self):
        while not self.stopping:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            self._track(client)
            threading.Thread(target=self._session, args=(client,), daemon=True).start()

    def _session(self, client):
        try:
            server = self._track(socket.create_connection(self.upstream, timeout=10))
        except OSError:
            close_quietly(client)
            return
        server.settimeout(None)
        state = {"held": False}
        threading.Thread(target=self._replies, args=(server, client, state), daemon=True).start()
        buf = b""
        try:
            while True:
                chunk = client.recv(65536)
                if not chunk:
                    break
                buf += chunk
                while b"\n" in buf:
                    line, buf = buf.split(b"\n", 1)
                    if not self._command(line + b"\n", client, server, state):
                        return
        except OSError:
            pass
        finally:
            close_quietly(client, server)

    def _command(self, line, client, server, state):
        with self.lock:
            self.commands.append(line.decode("cp1251", "replace").strip())
            n = len(self.commands)
            fault = self.fault
            fire = fault.at == n and fault.kind in ("close", "reply", "stall")
            if fire:
                self.fired = self.bitten = True
        if fire and fault.kind == "close":
            close_quietly(client, server)
            return False
        if fire and fault.kind == "reply":
            client.sendall(("%s Injected fault.\r\n" % fault.code).encode())
            return True
        if fire and fault.kind == "stall":
            state["held"] = True  # neither this command nor anything after it gets through
            return True
        if state["held"]:
            return True
        server.sendall(line)
        return True

    def _replies(self, server, client, state):
        buf = b""
        try:
            while True:
                chunk = server.recv(65536)
                if not chunk:
                    break
                buf += chunk
                while b"\n" in buf:
                    line, buf = buf.split(b"\n", 1)
                    line += b"\n"
                    if state["held"]:
                        continue
                    if self.fault.kind == "slow":
                        self.bitten = True
                        time.sleep(self.fault.delay)
                    m = PASV.match(line)
                    if m:
                        line = self._data_listener(m)
                    client.sendall(line)
        except OSError:
            pass
        finally:
            if not state["held"]:
                close_quietly(client, server)

    def _data_listener(self, m):
        host = ".".join(x.decode() for x in m.groups()[:4])
        port = int(m.group(5)) * 256 + int(m.group(6))
        lst = self._track(socket.socket())
        lst.bind(("127.0.0.1", 0))
        lst.listen(1)
        lst.settimeout(30)
        with self.lock:
            self.data_connections += 1
            index = self.data_connections
        threading.Thread(target=self._data, args=(lst, (host, port), index), daemon=True).start()
        p = lst.getsockname()[1]
        return ("227 Entering Passive Mode (127,0,0,1,%d,%d).\r\n" % (p // 256, p % 256)).encode()

    def _data(self, lst, target, index):
        try:
            client, _ = lst.accept()
        except OSError:
            close_quietly(lst)
            return
        close_quietly(lst)
        self._track(client)
        try:
            server = self._track(socket.create_connection(target, timeout=10))
        except OSError:
            close_quietly(client)
            return
        fault = self.fault
        limit = fault.size if fault.at == index and fault.kind in ("cut", "truncate") else None
        if limit is not None:
            with self.lock:
                self.fired = True
        stop = threading.Event()

        def pump(src, dst):
            moved = 0
            try:
                while True:
                    chunk = src.recv(65536)
                    if not chunk:
                        break
                    if limit is not None and moved + len(chunk) > limit:
                        self.bitten = True
                        if moved < limit:
                            dst.sendall(chunk[:limit - moved])
                        moved = limit
                        if fault.kind == "cut":
                            break
                        # truncate: the receiver sees a clean end, the sender may go on.
                        try:
                            dst.shutdown(socket.SHUT_WR)
                        except OSError:
                            pass
                        continue
                    dst.sendall(chunk)
                    moved += len(chunk)
            except OSError:
                pass
            if fault.kind == "cut" and limit is not None:
                close_quietly(client, server)
            else:
                try:
                    dst.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
            stop.set()

        a = threading.Thread(target=pump, args=(server, client), daemon=True)
        b = threading.Thread(target=pump, args=(client, server), daemon=True)
        a.start()
        b.start()
        a.join(600)
        b.join(600)
        close_quietly(client, server)
