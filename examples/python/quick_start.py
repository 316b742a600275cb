"""ryn_usr from Python: a calibration GET, one value changed, a SET, and a
refused SET, on a simulated base controller. Writes its files into the
current folder.

    PYTHONPATH=<prefix>/lib/python3/dist-packages python3 quick_start.py
"""
import ryn_usr
import ryn_usr.sim  # tests only: the simulated device library, before the first call

print("ryn_usr", ryn_usr.version())
handle = ryn_usr.sim.create("base")

# GET: the device's calibration into an INI file, with progress.
ryn_usr.calibration_get(handle, "cali.ini", progress=lambda step, total: print("step %d/%d" % (step, total)))

# SET: one value changed; the file is read whole before the device is written.
with open("cali.ini") as f:
    text = f.read()
with open("changed.ini", "w") as f:
    f.write(text.replace("\ncam0_middle_b_l=100\n", "\ncam0_middle_b_l=123\n"))
warnings = ryn_usr.calibration_set(handle, "changed.ini")
print("SET done, warnings:", warnings)
ryn_usr.calibration_get(handle, "again.ini")
assert "\ncam0_middle_b_l=123\n" in open("again.ini").read()

# A refused SET raises RynError; its text is the library's last message.
with open("bad.ini", "w") as f:
    f.write(text.replace("\ncam0_middle_b_l=100\n", "\ncam0_middle_b_l=zz\n"))
try:
    ryn_usr.calibration_set(handle, "bad.ini")
    raise SystemExit("the bad value was taken")
except ryn_usr.RynError as error:
    print("refused:", error)
    assert "Bad value of cam0_middle_b_l" in str(error)
print("quick start: all done")
