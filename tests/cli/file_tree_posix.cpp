#include <fstream>
#include <iterator>
#include <stdexcept>

#include "file_tree.h"

namespace fs = std::filesystem;

namespace ryn::test {

std::map<std::string, std::string> snapshot_tree(const fs::path &dir) {
    std::map<std::string, std::string> out;
    for (const auto &e : fs::recursive_directory_iterator(dir)) {
        const auto type = e.symlink_status().type();
        const std::string name = e.path().lexically_relative(dir).string();
        if (type == fs::file_type::regular) {
            std::ifstream in(e.path(), std::ios::binary);
            if (!in) throw std::runtime_error("cannot read " + e.path().string());
            out[name] = {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        } else {
            out[name] = "<type " + std::to_string(static_cast<int>(type)) + ">";
        }
    }
    return out;
}

void remove_tree(const fs::path &path) { fs::remove_all(path); }

void create_folders(const fs::path &dir) { fs::create_directories(dir); }

void write_bytes(const fs::path &path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace ryn::test
