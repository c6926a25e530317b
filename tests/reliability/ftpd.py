#!/usr/bin/python3
"""The project's demo FTP server (Windows-1251 wire, mask listings) for the harnesses. Older
pyftpdlib releases keep the listing producer in pyftpdlib.handlers; it is made importable
under the newer module name before the server script runs."""
import os
import runpy
import sys
import types

try:
    import pyftpdlib.producers  # noqa: F401
except ImportError:
    import pyftpdlib.handlers as handlers
    module = types.ModuleType("pyftpdlib.producers")
    module.BufferedIteratorProducer = handlers.BufferedIteratorProducer
    sys.modules["pyftpdlib.producers"] = module

script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "demo_ftpd.py")
sys.argv[0] = script
runpy.run_path(script, run_name="__main__")
