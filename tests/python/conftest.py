# The simulator is loaded first, so that the library binds to it. The tests run
# against the library at RYN_USR_LIBRARY (ctest sets it to the build's).
import os
import subprocess

import pytest

import ryn_usr.sim  # noqa: F401  (before the first call of ryn_usr)


@pytest.fixture
def ryn_tool():
    """Runs the build's ryn (RYN_TOOL), e.g. to build a firmware image."""
    tool = os.environ.get("RYN_TOOL")
    if not tool:
        pytest.skip("RYN_TOOL names no ryn to build images with")
    return lambda *args: subprocess.run([tool, *map(str, args)], check=True, capture_output=True)
