import os
import re
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import ryn_usr
from ryn_usr import _native, sim

SOURCE = Path(__file__).resolve().parents[2]


def ini_value(path, key):
    for line in Path(path).read_text().splitlines():
        if line.startswith(key + "="):
            return line[len(key) + 1:]
    raise KeyError(key)


def with_value(source, target, key, value):
    text = Path(source).read_text()
    edited, count = re.subn(r"(?m)^%s=.*$" % re.escape(key), "%s=%s" % (key, value), text, count=1)
    assert count == 1, key
    Path(target).write_text(edited)


def test_blocks_are_laid_out_as_the_header_asserts():
    header = (SOURCE / "include" / "ryn_usr.h").read_text()
    sizes = dict(re.findall(r"sizeof\((\w+)\) == (\d+)", header))
    offsets = re.findall(r"offsetof\((\w+), (\w+)\) == (\d+)", header)
    blocks = {"cali_info_arg": _native.CaliInfoArg, "fw_update_arg": _native.FwUpdateArg}
    for name, block in blocks.items():
        assert _native.ctypes.sizeof(block) == int(sizes[name])
        fields = {field for block_name, field, _ in offsets if block_name == name}
        assert fields == {field for field, _ in block._fields_}
    for name, field, offset in offsets:
        assert getattr(blocks[name], field).offset == int(offset), (name, field)


def test_version_is_the_project_version_and_major_the_headers():
    version = ryn_usr.version()
    assert version == os.environ.get("RYN_USR_PROJECT_VERSION", version)
    assert int(version.split(".")[0]) == _native.LIBRARY_MAJOR
    header = (SOURCE / "include" / "ryn_usr.h").read_text()
    assert re.search(r"#define RYN_USR_VERSION_MAJOR %d\b" % _native.LIBRARY_MAJOR, header)


# One GET, one changed value, a SET and a GET that reads the value back, on
# each family's calibration and device information.
ROUND_TRIPS = [
    ("base", "calibration", None, "cam0_middle_b_l", "123"),
    ("base", "device_info", None, "serial_num", "SN-PYTHON"),
    ("5810", "calibration", None, "cam0_poly_c0", "+1.5000000000e+000"),
    ("5810", "device_info", None, "serial_num", "SN-PYTHON"),
    ("5920", "calibration", None, "cam0_poly_c0", "77"),
    ("5920", "device_info", None, "serial_num", "SN-PYTHON"),
    ("6cam", "calibration", 2, "cam0_poly_c0", "-2.5000000000e+000"),
    ("6cam", "device_info", None, "serial_num", "SN-PYTHON"),
]


@pytest.mark.parametrize("family,what,device,key,value", ROUND_TRIPS)
def test_get_set_round_trip(tmp_path, family, what, device, key, value):
    get, set_ = getattr(ryn_usr, what + "_get"), getattr(ryn_usr, what + "_set")
    handle = sim.create(family)
    assert get(handle, tmp_path / "got.ini", device=device) == []
    assert ini_value(tmp_path / "got.ini", key) != value
    with_value(tmp_path / "got.ini", tmp_path / "changed.ini", key, value)
    assert set_(handle, str(tmp_path / "changed.ini"), device=device) == []
    get(handle, os.fsencode(tmp_path / "again.ini"), device=device)
    assert ini_value(tmp_path / "again.ini", key) == value


def test_refused_set_raises_with_the_librarys_messages_and_leaves_the_device(tmp_path):
    handle = sim.create("base")
    ryn_usr.calibration_get(handle, tmp_path / "before.ini")
    with_value(tmp_path / "before.ini", tmp_path / "bad.ini", "cam0_middle_b_l", "zz")
    with pytest.raises(ryn_usr.RynError) as raised:
        ryn_usr.calibration_set(handle, tmp_path / "bad.ini")
    assert str(raised.value) == "[Error] Bad value of cam0_middle_b_l: zz."
    assert raised.value.messages[-1] == str(raised.value)
    ryn_usr.calibration_get(handle, tmp_path / "after.ini")
    assert (tmp_path / "after.ini").read_text() == (tmp_path / "before.ini").read_text()


def test_a_name_that_is_not_utf8_reaches_the_file_system_and_the_message_unchanged(tmp_path):
    handle = sim.create("base")
    name = os.fsencode(tmp_path) + b"/caf\xe9.ini"
    ryn_usr.calibration_get(handle, name)
    assert b"caf\xe9.ini" in os.listdir(os.fsencode(tmp_path))
    missing = os.fsencode(tmp_path) + b"/gon\xe9.ini"
    with pytest.raises(ryn_usr.RynError) as raised:
        ryn_usr.calibration_set(handle, missing)
    assert os.fsdecode(missing) in str(raised.value)  # the byte comes back as its lone surrogate


def test_stale_handle_raises_with_a_message(tmp_path):
    handle = sim.create("base")
    sim.reset()
    with pytest.raises(ryn_usr.RynError) as raised:
        ryn_usr.calibration_get(handle, tmp_path / "cali.ini")
    assert raised.value.messages


def test_progress_runs_from_zero_to_total_and_stops_at_a_failure(tmp_path):
    handle = sim.create("base")
    steps = []
    ryn_usr.device_info_get(handle, tmp_path / "info.ini", progress=lambda *step: steps.append(step))
    assert steps[0] == (0, 5) and steps[-1] == (5, 5)
    assert [s for s, _ in steps] == sorted(s for s, _ in steps)
    steps.clear()
    with pytest.raises(ryn_usr.RynError):
        ryn_usr.calibration_set(handle, tmp_path / "missing.ini", progress=lambda *step: steps.append(step))
    assert steps and steps[-1][0] < 5


def test_an_exception_of_a_callback_reaches_the_caller(tmp_path):
    handle = sim.create("base")

    def progress(step, total):
        raise KeyboardInterrupt("stop")

    with pytest.raises(KeyboardInterrupt):
        ryn_usr.calibration_get(handle, tmp_path / "cali.ini", progress=progress)


@pytest.fixture
def base_image(tmp_path, ryn_tool):
    ryn_tool("image", "build", "--format", "base", "-o", tmp_path / "fw.bin")
    return tmp_path / "fw.bin"


def test_firmware_update_resets_through_the_callback_and_returns_the_new_handle(base_image):
    handle = sim.create("base")
    resets, steps = [], []

    def reset():
        resets.append(1)
        return sim.reset()

    new = ryn_usr.firmware_update(handle, base_image, reset=reset, set_update_header=sim.switch_to_update_mode,
                                  progress=lambda *step: steps.append(step))
    assert resets and new == sim.handle() != handle
    assert new.mode == "normal" and steps[-1] == (8, 8)
    assert sum(op == "reset" for op, _ in sim.trace()) == len(resets)


@pytest.mark.parametrize("fault", ["reset returns None", "simulated reset fails"])
def test_firmware_update_with_a_failing_reset_raises(base_image, fault):
    handle = sim.create("base")
    if fault == "simulated reset fails":
        sim.fail("reset")
        reset = sim.reset
    else:
        reset = lambda: None  # noqa: E731
    with pytest.raises(ryn_usr.RynError) as raised:
        ryn_usr.firmware_update(handle, base_image, reset=reset, set_update_header=sim.switch_to_update_mode)
    assert raised.value.messages


def test_two_threads_get_their_own_results_and_messages(tmp_path):
    handle = sim.create("base")
    ryn_usr.calibration_get(handle, tmp_path / "good.ini")
    with_value(tmp_path / "good.ini", tmp_path / "bad.ini", "cam1_middle_b_l", "bad")
    errors = []

    def getter():
        for i in range(20):
            ryn_usr.calibration_get(handle, tmp_path / ("got%d.ini" % i))

    def refused():
        for _ in range(20):
            try:
                ryn_usr.calibration_set(handle, tmp_path / "bad.ini")
            except ryn_usr.RynError as error:
                errors.append(error.messages)

    threads = [threading.Thread(target=getter), threading.Thread(target=refused)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors == [["[Error] Bad value of cam1_middle_b_l: bad."]] * 20
    good = (tmp_path / "good.ini").read_text()
    assert all((tmp_path / ("got%d.ini" % i)).read_text() == good for i in range(20))


@pytest.mark.parametrize("call,error", [
    (lambda h, p: ryn_usr.calibration_set(h, p, form="xml"), ValueError),
    (lambda h, p: ryn_usr.calibration_get(h, p, device=3), ValueError),
    (lambda h, p: ryn_usr.calibration_get(h, "a\0b"), ValueError),
    (lambda h, p: ryn_usr.calibration_get(-1, p), TypeError),
    (lambda h, p: ryn_usr.firmware_update(h, p, mode="fast", reset=sim.reset), ValueError),
])
def test_bad_arguments_are_refused_before_the_device_is_touched(tmp_path, call, error):
    handle = sim.create("base")
    with pytest.raises(error):
        call(handle, tmp_path / "x.ini")
    assert sim.trace() == []


def test_definition_files_come_from_the_folder_the_host_names(tmp_path):
    # A fresh process: the folder is the library's choice at its first call.
    definitions = tmp_path / "defs"
    definitions.mkdir()
    source = Path(_native.definitions_dir())
    for f in source.iterdir():
        if f.suffix in (".ini", ".bin") and f.name != "algo_param_def.ini":
            (definitions / f.name).write_bytes(f.read_bytes())
    script = (
        "import ryn_usr.sim, ryn_usr, sys\n"
        "h = ryn_usr.sim.create('base')\n"
        "try:\n"
        "    ryn_usr.device_info_get(h, sys.argv[1])\n"
        "except ryn_usr.RynError as e:\n"
        "    sys.stderr.write('\\n'.join(e.messages))\n"
        "    sys.exit(3)\n")
    env = dict(os.environ, RYN_USR_DEFINITIONS_DIR=str(definitions))
    run = subprocess.run([sys.executable, "-c", script, str(tmp_path / "info.ini")], env=env,
                         capture_output=True, text=True)
    assert run.returncode == 3, run.stderr
    assert run.stdout == ""
    assert str(definitions / "algo_param_def.ini") in run.stderr
