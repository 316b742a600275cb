"""ryn_usr for Python: calibration, device information and firmware of an
optical touch-screen controller, moved between the device and files through
the C library libryn_usr (over ctypes; no compiler needed).

Every operation takes the device handle of the device library (ryn_hid) and a
path (str, bytes or os.PathLike). It returns the list of the call's messages
(warnings) on success and raises RynError on failure; the error's messages
hold every message of the call, and its text is the last one. progress, when
given, is called as progress(step, total) while the call runs. device is 1 or
2 to address a 5810 device of a six-camera system.

The library is found at RYN_USR_LIBRARY, or in the installed tree this package
ships in. Unless the host has set RYN_USR_DEFINITIONS_DIR, the package sets it
to that tree's definition files. ryn_usr.sim drives the simulated device
library for tests; import it before the first call of ryn_usr.

Callbacks run on the calling thread while the library holds its lock: a
callback must never wait for another thread that calls the library.
"""

import ctypes

from . import _native
from ._native import INVALID_HANDLE, LoadError

__all__ = ["RynError", "LoadError", "INVALID_HANDLE", "version", "calibration_get", "calibration_set",
           "device_info_get", "device_info_set", "version_strings_get", "firmware_update", "UpdatedHandle"]

# The longest message kept whole; the library's messages are lines of a few
# hundred characters at most (a longer one is cut here, never overrun).
_MESSAGE_CAPACITY = 32768

_CALIBRATION_FORMS = {"ini": 0, "compact-ini": _native.CALI_COMPAT_INI, "text": _native.CALI_COMPAT_TEXT}
_UPDATE_MODES = {"normal": _native.UPDATE_NORMAL, "layout": _native.UPDATE_FLASH_LAYOUT,
                 "auto": _native.UPDATE_AUTO}


class RynError(Exception):
    """A call of the library failed. messages: every message of the call,
    formatted as the library's own sink would (without the final newline);
    the text of the error is the last one."""

    def __init__(self, messages, operation=None):
        self.messages = list(messages)
        self.operation = operation
        text = self.messages[-1] if self.messages else "%s failed without a message" % operation
        super().__init__(text)


class UpdatedHandle(int):
    """The device's handle after a firmware update (an int), with the update's
    messages (the image header's report, warnings) and the mode it ran in
    ("normal" or "layout": what "auto" resolved to)."""

    def __new__(cls, handle, messages, mode):
        self = super().__new__(cls, handle)
        self.messages = messages
        self.mode = mode
        return self


def version():
    """The version of the loaded library, e.g. "0.1.0"."""
    return _native.version()


class _Call:
    """The callbacks of one call and what they collected. The ctypes callback
    objects live as long as this object, which outlives the call."""

    def __init__(self, lib, progress):
        self.messages = []
        self.error = None  # the first exception a host callback raised
        self._lib = lib
        self._buffer = (ctypes.c_uint16 * _MESSAGE_CAPACITY)()
        self.msg_fn = _native.MsgFn(self._on_message)
        self.progress_fn = _native.ProgressFn(self._guarded(progress)) if progress else _native.ProgressFn()

    def _on_message(self, _user_data, format_, args):
        length = self._lib.ryn_format_msg(self._buffer, _MESSAGE_CAPACITY, format_, args)
        if length < 0:
            text = "(a message whose format the library could not format: %s)" % _wide_text(format_)
        else:
            units = min(length, _MESSAGE_CAPACITY - 1)
            text = ctypes.string_at(self._buffer, units * 2).decode("utf-16-le", "surrogatepass")
        self.messages.append(text[:-1] if text.endswith("\n") else text)

    def _guarded(self, callback, failed=None):
        """The host's callback as the library calls it: an exception is kept,
        to be raised when the call returns, and the library gets failed."""
        def call(_user_data, *args):
            if self.error is not None:
                return failed
            try:
                result = callback(*args)
            except BaseException as error:  # noqa: B902 - re-raised after the call
                self.error = error
                return failed
            if failed is not None:
                return INVALID_HANDLE if result is None else int(result) & INVALID_HANDLE
            return None
        return call

    def handle_fn(self, kind, callback):
        return kind(self._guarded(callback, INVALID_HANDLE)) if callback else kind()

    def finish(self, operation, result):
        if self.error is not None:
            error, self.error = self.error, None
            if result != 1:
                raise error from RynError(self.messages, operation)
            raise error
        if result != 1:
            raise RynError(self.messages, operation)
        return self.messages


def _wide_text(pointer):
    units = []
    address = pointer
    while True:
        unit = ctypes.c_uint16.from_address(address).value
        if unit == 0 or len(units) >= _MESSAGE_CAPACITY:
            break
        units.append(unit)
        address += 2
    return b"".join(u.to_bytes(2, "little") for u in units).decode("utf-16-le", "surrogatepass")


def _check_handle(handle):
    if isinstance(handle, bool) or not isinstance(handle, int) or not 0 <= handle <= INVALID_HANDLE:
        raise TypeError("a device handle is an int from 0 to 2**64 - 1, not %r" % (handle,))
    return handle


def _device_bits(device):
    if device is None:
        return 0
    if device in (1, 2) and not isinstance(device, bool):
        return _native.FLAG_6CAM_DEV1 if device == 1 else _native.FLAG_6CAM_DEV2
    raise ValueError("device is 1 or 2 (a 5810 device of a six-camera system), not %r" % (device,))


def _choice(name, value, choices):
    if value not in choices:
        raise ValueError("%s is one of %s, not %r" % (name, ", ".join(map(repr, choices)), value))
    return choices[value]


def _request(operation, handle, path, flags, progress):
    """One calibration or device-information call on a block filled by its
    init function."""
    _check_handle(handle)
    name = _native.wide_path(path)
    lib = _native.library()
    call = _Call(lib, progress)
    arg = _native.CaliInfoArg()
    if operation == "ryn_cali_info":
        lib.ryn_cali_info_init_arg(ctypes.byref(arg), handle, name, flags)
    else:
        lib.ryn_dev_info_init_arg(ctypes.byref(arg), handle, name, flags)
    arg.msg_fn = call.msg_fn
    arg.progress_fn = call.progress_fn
    result = getattr(lib, operation)(ctypes.byref(arg))
    return call.finish(operation, result)


def calibration_get(handle, path, *, device=None, progress=None):
    """Writes the device's calibration into the INI file path (section
    "calibration"). Returns the call's messages."""
    return _request("ryn_cali_info", handle, path, _native.FLAG_GET | _device_bits(device), progress)


def calibration_set(handle, path, *, form="ini", device=None, progress=None):
    """Writes the calibration of the file path to the device: form "ini", or a
    base controller's older "compact-ini" or "text" form. Returns the call's
    messages."""
    flags = _native.FLAG_SET | _choice("form", form, _CALIBRATION_FORMS) | _device_bits(device)
    return _request("ryn_cali_info", handle, path, flags, progress)


def device_info_get(handle, path, *, device=None, progress=None):
    """Writes the device's model configuration and parameters into the INI
    file path. Returns the call's messages."""
    flags = _native.FLAG_GET | _native.DEV_MODEL_CFG | _device_bits(device)
    return _request("ryn_dev_info", handle, path, flags, progress)


def device_info_set(handle, path, *, device=None, progress=None):
    """Writes the model configuration and parameters of the file path to the
    device. Returns the call's messages."""
    flags = _native.FLAG_SET | _native.DEV_MODEL_CFG | _device_bits(device)
    return _request("ryn_dev_info", handle, path, flags, progress)


def version_strings_get(handle, path, *, device=None, progress=None):
    """Writes a base controller's version strings into the INI file path
    (section "version string"). Returns the call's messages."""
    flags = _native.FLAG_GET | _native.DEV_VERSION_STR | _device_bits(device)
    return _request("ryn_dev_info", handle, path, flags, progress)


def firmware_update(handle, image, *, mode="normal", flash_builder=None, device=None, reset,
                    set_update_header=None, progress=None):
    """Updates the device's firmware from the image file; returns the device's
    new handle (an UpdatedHandle, with the update's messages and mode).

    reset() resets or re-opens the device and returns its new handle (None or
    INVALID_HANDLE when that fails); every update needs it. A base controller
    needs set_update_header(code_offset, code_length) as well: it switches a
    device that runs its flash builder into its update mode and returns the
    new handle the same way. flash_builder is the flash builder file of a base
    controller's "layout" update."""
    _check_handle(handle)
    if not callable(reset):
        raise TypeError("reset must be a callable returning the device's new handle")
    if set_update_header is not None and not callable(set_update_header):
        raise TypeError("set_update_header must be callable or None")
    update_mode = _choice("mode", mode, _UPDATE_MODES) | _device_bits(device)
    image_name = _native.wide_path(image)
    builder_name = _native.wide_path(flash_builder) if flash_builder is not None else None
    lib = _native.library()
    call = _Call(lib, progress)
    arg = _native.FwUpdateArg()
    lib.ryn_fw_update_init_arg(ctypes.byref(arg), handle, image_name, builder_name, update_mode)
    arg.msg_fn = call.msg_fn
    arg.progress_fn = call.progress_fn
    arg.dev_reset_fn = call.handle_fn(_native.DevResetFn, reset)
    header_fn = None
    if set_update_header is not None:
        header_fn = lambda _one, offset, length, _zero: set_update_header(offset, length)
    arg.set_update_hdr_fn = call.handle_fn(_native.SetUpdateHdrFn, header_fn)
    result = lib.ryn_fw_update(ctypes.byref(arg))
    messages = call.finish("ryn_fw_update", result)
    resolved = "layout" if arg.update_mode & 0x3 == _native.UPDATE_FLASH_LAYOUT else "normal"
    return UpdatedHandle(arg.handle, messages, resolved)
