// ryn --version: the tool's version from the project, and the version of the
// libryn_usr this process loaded, read from the loaded module's file (the
// library keeps its version there as a marked text), so that a library
// swapped under the tool shows as what it is.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "files.h"
#include "host_os.h"
#include "ryn_usr.h"
#include "ryn_version.h"

namespace ryn::cli {

namespace {

// The version the library's file carries after its mark; empty when the file
// holds no mark (a library from before the mark, or another one).
std::string marked_version(const std::vector<uint8_t> &file) {
    static const std::string mark = "@(#)libryn_usr ";
    const auto at = std::search(file.begin(), file.end(), mark.begin(), mark.end());
    if (at == file.end()) return {};
    std::string version;
    for (auto c = at + static_cast<std::ptrdiff_t>(mark.size()); c != file.end() && *c != 0 && version.size() < 64; ++c)
        version += static_cast<char>(*c);
    return version;
}

}  // namespace

std::string version_text() {
    std::string text = "ryn " RYN_VERSION_STRING "\n";
    const std::string library = os::module_file_of(reinterpret_cast<const void *>(&ryn_get_err_msg));
    std::string version;
    if (!library.empty()) {
        try {
            version = marked_version(read_file(library, "library", 256u << 20));
        } catch (const Failure &) {
        }
    }
    text += "libryn_usr " + (version.empty() ? std::string("(version unknown)") : version);
    if (!library.empty()) text += " (" + library + ")";
    return text;
}

}  // namespace ryn::cli
