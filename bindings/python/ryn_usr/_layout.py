# Where the library's files lie relative to this package's folder. In the
# source tree nothing is known (RYN_USR_LIBRARY names the library);
# `cmake --install` writes this file anew with the installed tree's folders.
LIBRARY = None
DEFINITIONS_DIR = None
SIMULATOR = None
