#!/usr/bin/python3
"""The demo's FTP server: pyftpdlib, speaking Windows-1251 on the control connection (as the
agent does) and matching a file mask in LIST and NLST ("LIST *.*") the way Unix FTP servers
do, which pyftpdlib on its own does not.

Usage: demo_ftpd.py --port PORT --root DIR --user USER --password PASS [--passive LOW-HIGH]
                   [--rate BYTES_PER_SECOND]   (a slow line: every data transfer throttled)
                   [--port-file FILE]   (the port it listens on, written once it listens;
                                         with --port 0 the system picks a free one)
"""
import argparse
import fnmatch
import glob
import os
import time

from pyftpdlib.authorizers import DummyAuthorizer
import socket

from pyftpdlib.handlers import FTPHandler, PassiveDTP, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
try:
    from pyftpdlib.producers import BufferedIteratorProducer
except ImportError:  # releases before 2.0 keep it beside the handlers
    from pyftpdlib.handlers import BufferedIteratorProducer

WIRE = "cp1251"


def recode(chunks):
    """pyftpdlib writes listing lines in UTF-8; the wire here is Windows-1251."""
    for chunk in chunks:
        yield chunk.decode("utf8", "replace").encode(WIRE, "replace")


class MaskHandler(FTPHandler):
    def decode(self, bytes_):
        return bytes_.decode(WIRE, self.unicode_errors)

    def _split_mask(self, path):
        folder, mask = os.path.split(path)
        if glob.has_magic(mask):
            return folder, mask
        return None, None

    def _matching(self, folder, mask):
        names = self.run_as_current_user(self.fs.listdir, folder)
        # As a shell does: a leading dot is matched only by a mask that starts with one.
        return sorted(n for n in names
                      if fnmatch.fnmatchcase(n, mask) and (not n.startswith(".") or mask.startswith(".")))

    def ftp_LIST(self, path):
        folder, mask = self._split_mask(path)
        try:
            if mask is None:
                if self.fs.isdir(path):
                    folder, names = path, sorted(self.run_as_current_user(self.fs.listdir, path))
                else:
                    self.fs.lstat(path)
                    folder, names = os.path.split(path)[0], [os.path.basename(path)]
            else:
                names = self._matching(folder, mask)
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return None
        producer = BufferedIteratorProducer(recode(self.fs.format_list(folder, names)))
        self.push_dtp_data(producer, isproducer=True, cmd="LIST")
        return path

    def ftp_NLST(self, path):
        folder, mask = self._split_mask(path)
        try:
            if mask is None:
                if self.fs.isdir(path):
                    names = sorted(self.run_as_current_user(self.fs.listdir, path))
                else:
                    self.fs.lstat(path)
                    names = [os.path.basename(path)]
            else:
                names = self._matching(folder, mask)
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return None
        data = "".join(n + "\r\n" for n in names).encode(WIRE, "replace")
        self.push_dtp_data(data, cmd="NLST")
        return path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--port-file")
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--passive", default="42000-42999")
    parser.add_argument("--rate", type=int, default=0)
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    MaskHandler.authorizer = authorizer
    low, high = (int(p) for p in args.passive.split("-"))
    MaskHandler.passive_ports = range(low, high + 1)
    if args.rate > 0:
        class SlowLine(ThrottledDTPHandler):
            """The library's throttle in tenths of a second: an even line rather than a
            burst and a long pause once a second."""
            read_limit = max(1, args.rate // 10)
            write_limit = max(1, args.rate // 10)

            def _throttle_bandwidth(self, len_chunk, max_speed):
                self._datacount += len_chunk
                if self._datacount < max_speed:
                    return
                self._datacount = 0
                now = time.monotonic()
                pause = self._timenext - now
                if pause > 0:
                    def resume():
                        self.add_channel(events=self.ioloop.READ if self.receive else self.ioloop.WRITE)

                    self.del_channel()
                    self._cancel_throttler()
                    self._throttler = self.ioloop.call_later(pause, resume, _errback=self.handle_error)
                self._timenext = max(now, self._timenext) + 0.1

        class SmallWindow(PassiveDTP):
            """Small socket buffers, so that the client sees the slow line as a slow link:
            the system takes no megabytes ahead of what the server reads."""
            def listen(self, num):
                for option in (socket.SO_RCVBUF, socket.SO_SNDBUF):
                    self.socket.setsockopt(socket.SOL_SOCKET, option, 64 * 1024)
                return super().listen(num)

        MaskHandler.dtp_handler = SlowLine
        MaskHandler.passive_dtp = SmallWindow
    server = FTPServer(("127.0.0.1", args.port), MaskHandler)
    if args.port_file:
        # Written whole under another name first: a reader sees the port or nothing.
        partial = args.port_file + ".part"
        with open(partial, "w") as f:
            f.write("%d\n" % server.address[1])
        os.replace(partial, args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
