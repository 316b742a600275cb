"""The simulated device library's control API (ryn_sim.h), for tests.

Importing this module loads the simulator, so that libryn_usr binds to it:
import it before the first call of ryn_usr. The simulator holds one device
for the whole process; every function acts on it. A failing control call
raises SimError with the simulator's reason.

    from ryn_usr import sim
    handle = sim.create("base", {"cali_version": 10})
    ryn_usr.calibration_get(handle, "cali.ini")
    ryn_usr.firmware_update(handle, "fw.bin", reset=sim.reset, set_update_header=sim.switch_to_update_mode)
"""

import json

from . import _native
from ._native import INVALID_HANDLE

__all__ = ["SimError", "create", "load", "save", "handle", "family", "reset", "switch_to_update_mode",
           "fail", "clear_faults", "trace", "clear_trace"]

_sim = _native.simulator()


class SimError(Exception):
    """A control call of the simulator failed; the text is its reason."""


def _checked(ok, what):
    if not ok:
        raise SimError("%s: %s" % (what, (_sim.ryn_sim_last_error() or b"").decode("utf-8", "replace")))


def _checked_handle(value, what):
    _checked(value != INVALID_HANDLE, what)
    return value


def create(family, options=None):
    """Creates the device of a family ("base", "5810", "5920", "6cam"),
    replacing any device there was; options is a dict (or JSON text) of the
    simulator's options. Returns the open handle."""
    text = options if isinstance(options, str) or options is None else json.dumps(options)
    return _checked_handle(_sim.ryn_sim_create(family.encode("utf-8"),
                                               text.encode("utf-8") if text is not None else None),
                           "create " + family)


def load(path):
    """Loads the device from a JSON state file; returns the open handle."""
    return _checked_handle(_sim.ryn_sim_load(_native.native_path(path)), "load %s" % (path,))


def save(path):
    """Saves the device, its faults and its trace to a JSON state file."""
    _checked(_sim.ryn_sim_save(_native.native_path(path)), "save %s" % (path,))


def handle():
    """The handle of the open device (INVALID_HANDLE when none)."""
    return _sim.ryn_sim_handle()


def family():
    """The family of the device, or None when there is none."""
    name = _sim.ryn_sim_family()
    return name.decode("utf-8") if name is not None else None


def reset():
    """Resets the device as a power cycle would and returns its new handle,
    INVALID_HANDLE when a fault makes the reset fail (the old handle stops
    working either way). Pass it as a firmware update's reset."""
    return _sim.ryn_sim_reset()


def switch_to_update_mode(code_offset, code_length):
    """A firmware update's set_update_header for the simulated base controller:
    asks its flash builder for update mode and resets it into that mode. The
    simulated device keeps its update code, so offset and length go unused."""
    del code_offset, code_length
    if not _sim.ryn_set_dev_mode(_sim.ryn_sim_handle(), 1, None):
        return INVALID_HANDLE
    return _sim.ryn_sim_reset()


def fail(operation, call=1, times=1, value=None):
    """Makes the call-th call of the named ryn_hid operation (counted from 1
    since create or load) and the times - 1 calls after it fail (times 0:
    every call from there on), returning value instead when one is given.
    "reset" makes reset() fail."""
    name = operation.encode("utf-8")
    if value is None:
        ok = _sim.ryn_sim_fail(name, call, times)
    else:
        ok = _sim.ryn_sim_fail_value(name, call, times, value)
    _checked(ok, "fail " + operation)


def clear_faults():
    """Disarms every fault."""
    _sim.ryn_sim_clear_faults()


def trace():
    """The ryn_hid calls since create, load or clear_trace: a list of
    (operation, text) pairs, text as "name(args) = result [reason]"."""
    calls = []
    for index in range(_sim.ryn_sim_trace_size()):
        op, text = _sim.ryn_sim_trace_op(index), _sim.ryn_sim_trace_text(index)
        if op is None or text is None:  # another thread cleared the trace meanwhile
            break
        calls.append((op.decode("utf-8", "replace"), text.decode("utf-8", "replace")))
    return calls


def clear_trace():
    """Empties the trace."""
    _sim.ryn_sim_trace_clear()
