// SHA-256 against the published test vectors, across the padding boundaries
// (a message that leaves no room for the length takes a second block).
#include <gtest/gtest.h>

#include <string>

#include "sha256.h"

namespace {

std::string sum(const std::string &text) { return ryn::cli::sha256_hex({text.begin(), text.end()}); }

TEST(Sha256, PublishedVectors) {
    const struct {
        std::string message;
        const char *digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: two blocks
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto &c : cases) EXPECT_EQ(sum(c.message), c.digest) << c.message.size() << " bytes";
}

}  // namespace
