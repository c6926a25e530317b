#!/usr/bin/python3
"""The demo's FTP server: pyftpdlib, speaking Windows-1251 on the control connection (as the
agent does) and matching a file mask in LIST and NLST ("LIST *.*") the way Unix FTP servers
do, which pyftpdlib on its own does not.

Usage: demo_ftpd.py --port PORT --root DIR --user USER --password PASS [--passive LOW-HIGH]
                   [--rate BYTES_PER_SECOND]   (a slow line: every data transfer throttled)
"""
import argparse
import fnmatch
import glob
import os

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
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
            read_limit = args.rate
            write_limit = args.rate
        MaskHandler.dtp_handler = SlowLine
    server = FTPServer(("127.0.0.1", args.port), MaskHandler)
    server.serve_forever()


if __name__ == "__main__":
    main()
