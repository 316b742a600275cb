"""The C side: where the libraries are, how they load, the argument blocks and
the prototypes of the exports (all as ryn_usr.h and ryn_sim.h declare them)."""

import ctypes
import os
import re
import sys
import threading

from . import _layout

# The library's major version this package is written for; a library of
# another major version is refused at load.
LIBRARY_MAJOR = 0

INVALID_HANDLE = 0xFFFFFFFFFFFFFFFF

FLAG_GET = 0x01
FLAG_SET = 0x02
CALI_COMPAT_TEXT = 0x04
DEV_VERSION_STR = 0x04
CALI_COMPAT_INI = 0x08
DEV_MODEL_CFG = 0x08
FLAG_6CAM_DEV1 = 0x10
FLAG_6CAM_DEV2 = 0x20

UPDATE_NORMAL = 0
UPDATE_FLASH_LAYOUT = 1
UPDATE_AUTO = 2

# The callbacks; each takes the block's user_data first. A va_list reaches
# msg_fn as one pointer-sized value on both ABIs the blocks serve (x86-64
# System V passes its array as a pointer, Windows x64 passes a char *), and
# goes to ryn_format_msg as it came.
MsgFn = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p)
ProgressFn = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32)
DevResetFn = ctypes.CFUNCTYPE(ctypes.c_uint64, ctypes.c_void_p)
SetUpdateHdrFn = ctypes.CFUNCTYPE(ctypes.c_uint64, ctypes.c_void_p, ctypes.c_uint32,
                                  ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32)


class CaliInfoArg(ctypes.Structure):
    """cali_info_arg, which dev_info_arg shares: packed to 4 bytes, 44 bytes."""
    _pack_ = 4
    _fields_ = [
        ("handle", ctypes.c_uint64),
        ("file_name", ctypes.c_void_p),
        ("flags", ctypes.c_uint32),
        ("user_data", ctypes.c_void_p),
        ("msg_fn", MsgFn),
        ("progress_fn", ProgressFn),
    ]


class FwUpdateArg(ctypes.Structure):
    """fw_update_arg: packed to 4 bytes, 68 bytes."""
    _pack_ = 4
    _fields_ = [
        ("handle", ctypes.c_uint64),
        ("file_name", ctypes.c_void_p),
        ("flash_builder_file_name", ctypes.c_void_p),
        ("update_mode", ctypes.c_uint32),
        ("user_data", ctypes.c_void_p),
        ("msg_fn", MsgFn),
        ("progress_fn", ProgressFn),
        ("dev_reset_fn", DevResetFn),
        ("set_update_hdr_fn", SetUpdateHdrFn),
    ]


# The sizes and offsets the header asserts; a block that differs would hand
# the library a shifted pointer, so the package refuses to load.
BLOCK_LAYOUT = {
    CaliInfoArg: (44, {"handle": 0, "file_name": 8, "flags": 16, "user_data": 20,
                       "msg_fn": 28, "progress_fn": 36}),
    FwUpdateArg: (68, {"handle": 0, "file_name": 8, "flash_builder_file_name": 16,
                       "update_mode": 24, "user_data": 28, "msg_fn": 36, "progress_fn": 44,
                       "dev_reset_fn": 52, "set_update_hdr_fn": 60}),
}


def _check_blocks():
    if ctypes.sizeof(ctypes.c_void_p) != 8:
        raise ImportError("ryn_usr needs a 64-bit Python: the argument blocks hold 8-byte pointers")
    for block, (size, offsets) in BLOCK_LAYOUT.items():
        actual = {name: getattr(block, name).offset for name in offsets}
        if ctypes.sizeof(block) != size or actual != offsets:
            raise ImportError("ryn_usr: %s is laid out as %d bytes %r, not as the header's %d bytes %r"
                              % (block.__name__, ctypes.sizeof(block), actual, size, offsets))


_check_blocks()


def wide_path(path):
    """A path (str, bytes or os.PathLike) as the NUL-terminated UTF-16 buffer
    the library takes. A POSIX name's bytes that are not UTF-8 come from
    os.fsdecode as the lone surrogates U+DC80..U+DCFF, which is how the
    library itself maps them back to those bytes."""
    text = os.fsdecode(os.fspath(path))
    if "\0" in text:
        raise ValueError("a path holds a NUL character: %r" % text)
    return ctypes.create_string_buffer(text.encode("utf-16-le", "surrogatepass") + b"\0\0")


def native_path(path):
    """A path as the simulator's control API takes it (char *)."""
    name = os.fsencode(os.fspath(path))
    if b"\0" in name:
        raise ValueError("a path holds a NUL character: %r" % name)
    return name


def _package_relative(relative):
    if relative is None:
        return None
    return os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), relative))


def library_path():
    """The library file the package loads: RYN_USR_LIBRARY, else the one of the
    installed tree the package ships in."""
    path = os.environ.get("RYN_USR_LIBRARY") or _package_relative(_layout.LIBRARY)
    if not path:
        raise LoadError("ryn_usr: no library to load: this package is not installed beside one; "
                        "set RYN_USR_LIBRARY to the path of libryn_usr")
    return path


def _holds_definitions(folder):
    return folder and os.path.isfile(os.path.join(folder, "ryn_cali_info_param_def.ini"))


def definitions_dir():
    """The definition files' folder the package gives the library when the host
    has not set RYN_USR_DEFINITIONS_DIR: the installed share/ryn_usr, or, for
    a library named by RYN_USR_LIBRARY, its own folder (a build tree) or the
    share/ryn_usr of its tree."""
    installed = _package_relative(_layout.DEFINITIONS_DIR)
    if _holds_definitions(installed):
        return installed
    folder = os.path.dirname(os.path.abspath(library_path()))
    for candidate in (folder, os.path.join(folder, os.pardir, "share", "ryn_usr")):
        if _holds_definitions(candidate):
            return os.path.normpath(candidate)
    return None


def simulator_path():
    """The simulated device library: RYN_USR_SIMULATOR, else the installed
    tree's lib/ryn_usr/sim/, else beside the library (a build tree) or in
    ryn_usr/sim/ of the library's folder."""
    named = os.environ.get("RYN_USR_SIMULATOR")
    if named:
        return named
    installed = _package_relative(_layout.SIMULATOR)
    if installed and os.path.isfile(installed):
        return installed
    name = "ryn_hid.dll" if sys.platform == "win32" else "libryn_hid.so"
    folder = os.path.dirname(os.path.abspath(library_path()))
    for candidate in (os.path.join(folder, name), os.path.join(folder, "ryn_usr", "sim", name)):
        if os.path.isfile(candidate):
            return candidate
    raise LoadError("ryn_usr.sim: the simulated device library %s was not found; "
                    "set RYN_USR_SIMULATOR to its path" % name)


class LoadError(OSError):
    """The library (or the simulator) cannot be found or loaded."""


_lock = threading.Lock()
_library = None
_simulator = None


def _declare(function, restype, *argtypes):
    function.restype = restype
    function.argtypes = argtypes


def library():
    """The loaded libryn_usr (loaded at the first call)."""
    global _library
    with _lock:
        if _library is None:
            _library = _load_library()
        return _library


def _load_library():
    path = library_path()
    if not os.environ.get("RYN_USR_DEFINITIONS_DIR"):  # empty counts as unset, as for the library
        found = definitions_dir()
        if found:
            os.environ["RYN_USR_DEFINITIONS_DIR"] = found
    try:
        lib = ctypes.CDLL(path)
    except OSError as error:
        raise LoadError("ryn_usr: cannot load %s: %s%s" % (path, error, _device_library_hint(error))) from None
    if not hasattr(lib, "ryn_usr_version"):
        raise LoadError("ryn_usr: %s exports no ryn_usr_version: it is older than this package" % path)
    _declare(lib.ryn_usr_version, ctypes.c_char_p)
    version = lib.ryn_usr_version().decode("ascii", "replace")
    if _major(version) != LIBRARY_MAJOR:
        raise LoadError("ryn_usr: %s is version %s; this package needs major version %d"
                        % (path, version, LIBRARY_MAJOR))
    block = ctypes.POINTER(CaliInfoArg)
    update = ctypes.POINTER(FwUpdateArg)
    _declare(lib.ryn_cali_info_init_arg, None, block, ctypes.c_uint64, ctypes.c_void_p, ctypes.c_uint32)
    _declare(lib.ryn_dev_info_init_arg, None, block, ctypes.c_uint64, ctypes.c_void_p, ctypes.c_uint32)
    _declare(lib.ryn_fw_update_init_arg, None, update, ctypes.c_uint64, ctypes.c_void_p, ctypes.c_void_p,
             ctypes.c_uint32)
    _declare(lib.ryn_cali_info, ctypes.c_int32, block)
    _declare(lib.ryn_dev_info, ctypes.c_int32, block)
    _declare(lib.ryn_fw_update, ctypes.c_int32, update)
    _declare(lib.ryn_format_msg, ctypes.c_int, ctypes.c_void_p, ctypes.c_size_t, ctypes.c_void_p,
             ctypes.c_void_p)
    return lib


def _device_library_hint(error):
    if "ryn_hid" not in str(error):
        return ""
    return ("; the device library ryn_hid was not found: install the maker's, load it with ctypes "
            "before the first call, or import ryn_usr.sim first to use the simulator")


def _major(version):
    match = re.match(r"(\d+)\.", version)
    return int(match.group(1)) if match else None


def version():
    """The version text of the library the package loads. Without a device
    library to load it against, it is read from the library file's version
    mark instead."""
    try:
        return library().ryn_usr_version().decode("ascii", "replace")
    except LoadError as error:
        if "ryn_hid" not in str(error):
            raise
        with open(library_path(), "rb") as f:
            match = re.search(rb"@\(#\)libryn_usr ([0-9A-Za-z.+-]+)", f.read())
        if not match:
            raise
        return match.group(1).decode("ascii")


def simulator():
    """The loaded simulated device library. It is loaded before libryn_usr, so
    that the library binds to it rather than to another ryn_hid."""
    global _simulator
    with _lock:
        if _simulator is None:
            _simulator = _load_simulator()
        return _simulator


def _load_simulator():
    path = simulator_path()
    try:
        sim = ctypes.CDLL(path)
    except OSError as error:
        raise LoadError("ryn_usr.sim: cannot load %s: %s" % (path, error)) from None
    if _library is not None and not _same_function(sim, "ryn_check_platform"):
        raise LoadError("ryn_usr.sim: libryn_usr was loaded with another device library before the "
                        "simulator; import ryn_usr.sim before the first call of ryn_usr")
    handle = ctypes.c_uint64
    text = ctypes.c_char_p
    _declare(sim.ryn_sim_create, handle, text, text)
    _declare(sim.ryn_sim_family, text)
    _declare(sim.ryn_sim_handle, handle)
    _declare(sim.ryn_sim_reset, handle)
    _declare(sim.ryn_sim_save, ctypes.c_int32, text)
    _declare(sim.ryn_sim_load, handle, text)
    _declare(sim.ryn_sim_fail, ctypes.c_int32, text, ctypes.c_uint32, ctypes.c_uint32)
    _declare(sim.ryn_sim_fail_value, ctypes.c_int32, text, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_int64)
    _declare(sim.ryn_sim_clear_faults, None)
    _declare(sim.ryn_sim_trace_size, ctypes.c_size_t)
    _declare(sim.ryn_sim_trace_op, text, ctypes.c_size_t)
    _declare(sim.ryn_sim_trace_text, text, ctypes.c_size_t)
    _declare(sim.ryn_sim_trace_clear, None)
    _declare(sim.ryn_sim_last_error, text)
    _declare(sim.ryn_set_dev_mode, ctypes.c_int32, handle, ctypes.c_uint32, ctypes.c_void_p)
    return sim


def _same_function(sim, name):
    """Whether the ryn_hid that the process already holds under that name is
    the simulator just loaded (the one libryn_usr is bound to)."""
    try:
        if sys.platform == "win32":
            bound = ctypes.CDLL("ryn_hid.dll")  # a module of that name already loaded is the one
        else:
            bound = ctypes.CDLL("libryn_hid.so", mode=os.RTLD_NOLOAD)
        address = ctypes.cast(getattr(bound, name), ctypes.c_void_p).value
    except (OSError, AttributeError):
        return False
    return address == ctypes.cast(getattr(sim, name), ctypes.c_void_p).value
