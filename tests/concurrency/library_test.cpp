// Host threads calling the library at once: the operations run one after the
// other on the one simulated device, so every call has the outcome it has
// alone, and a callback may call back into the library from inside a call.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tools/image_builder/image_builder.h"
#include "fwupdate/fw_test.h"
#include "platform/console.h"
#include "ryn_hid.h"
#include "ryn_usr.h"
#include "sim/ryn_sim.h"
#include "support/capture.h"
#include "support/tmpdir.h"

namespace ryn::test {
namespace {

namespace fs = std::filesystem;

using Steps = std::vector<std::pair<uint32_t, uint32_t>>;

// What one operation gave its caller.
struct Outcome {
    int32_t result = -1;
    std::vector<std::u16string> messages;
    Steps steps;
    std::string file;  // the INI file a GET wrote

    bool operator==(const Outcome &) const = default;
};

// A host's request: the argument block and where its callbacks report. The
// device is shared and every update resets it, so the request takes the
// handle that is current when its operation starts (progress step 0 comes
// first, inside the call); the calls before it have run to their end by then.
template <class Block>
struct Request {
    Block arg{};
    Capture capture;

    static void on_progress(void *user_data, uint32_t step, uint32_t total) {
        auto *self = static_cast<Request *>(user_data);
        if (step == 0) self->arg.handle = ryn_sim_handle();
        self->capture.steps.emplace_back(step, total);
    }
    static void on_message(void *user_data, const ryn_wchar *format, va_list args) {
        Capture::on_message(&static_cast<Request *>(user_data)->capture, format, args);
    }

    void attach() {
        arg.user_data = this;
        arg.msg_fn = on_message;
        arg.progress_fn = on_progress;
    }
    Outcome outcome(int32_t result) const { return {result, capture.messages, capture.steps, {}}; }
};

Outcome cali_get(const fs::path &file) {
    const std::u16string path = file.u16string();
    Request<cali_info_arg> r;
    ryn_cali_info_init_arg(&r.arg, RYN_INVALID_HANDLE, w(path), RYN_FLAG_GET);
    r.attach();
    Outcome o = r.outcome(ryn_cali_info(&r.arg));
    o.file = read_file(file);
    return o;
}

Outcome fw_update(const fs::path &image) {
    const std::u16string path = image.u16string();
    Request<fw_update_arg> r;
    ryn_fw_update_init_arg(&r.arg, RYN_INVALID_HANDLE, w(path), nullptr, RYN_UPDATE_NORMAL);
    r.attach();
    r.arg.dev_reset_fn = fwupdate::test::reset_sim;
    r.arg.set_update_hdr_fn = fwupdate::test::switch_sim_to_update;
    return r.outcome(ryn_fw_update(&r.arg));
}

std::vector<std::string> trace_ops() {
    std::vector<std::string> ops;
    for (size_t i = 0; i < ryn_sim_trace_size(); ++i) ops.emplace_back(ryn_sim_trace_op(i));
    return ops;
}

class Concurrency : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_dir();
        // Waits are counted, not slept; the library asks for them inside its lock.
        platform::set_sleep_hook([this](uint32_t) { ++waits_; });
        ASSERT_NE(ryn_sim_create("base", nullptr), RYN_INVALID_HANDLE) << ryn_sim_last_error();
    }
    void TearDown() override { platform::set_sleep_hook({}); }

    // Writes a base image built with the builder's defaults.
    fs::path write_image() {
        const fs::path image = dir_ / "fw.bin";
        const fwupdate::Bytes bytes = fwupdate::build_base_image({});
        write_file(image, std::string(bytes.begin(), bytes.end()));
        return image;
    }

    fs::path dir_;
    std::atomic<int> waits_{0};
};

// Several threads mix calibration GETs and firmware updates. Each operation
// must give exactly what it gives alone, and the trace must be whole
// operations one after the other, never two interleaved.
TEST_F(Concurrency, GetsAndUpdatesFromSeveralThreadsRunOneAfterTheOther) {
    const fs::path image = write_image();

    // The first update brings the device to the image's firmware; from there
    // on every update and every GET meets the same device.
    const Outcome first = fw_update(image);
    ASSERT_EQ(first.result, 1) << testing::PrintToString(first.messages);
    ryn_sim_trace_clear();
    waits_ = 0;
    const Outcome update_alone = fw_update(image);
    const std::vector<std::string> update_ops = trace_ops();
    const int update_waits = waits_.exchange(0);
    ryn_sim_trace_clear();
    const Outcome get_alone = cali_get(dir_ / "alone.ini");
    const std::vector<std::string> get_ops = trace_ops();
    ASSERT_EQ(update_alone.result, 1) << testing::PrintToString(update_alone.messages);
    ASSERT_EQ(get_alone.result, 1) << testing::PrintToString(get_alone.messages);
    ASSERT_FALSE(get_alone.file.empty());
    ASSERT_NE(get_ops, update_ops);
    ASSERT_GT(update_waits, 0);
    waits_ = 0;
    ryn_sim_trace_clear();

    constexpr int threads = 4, rounds = 3;
    std::vector<std::vector<Outcome>> gets(threads), updates(threads);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (int round = 0; round < rounds; ++round) {
                const fs::path file =
                    dir_ / ("t" + std::to_string(t) + "r" + std::to_string(round) + ".ini");
                // Odd threads start with an update, even ones with a GET.
                if (t % 2) updates[t].push_back(fw_update(image));
                gets[t].push_back(cali_get(file));
                if (t % 2 == 0) updates[t].push_back(fw_update(image));
            }
        });
    }
    for (std::thread &th : pool) th.join();

    for (int t = 0; t < threads; ++t) {
        for (int round = 0; round < rounds; ++round) {
            SCOPED_TRACE("thread " + std::to_string(t) + ", round " + std::to_string(round));
            EXPECT_EQ(gets[t][round], get_alone);
            EXPECT_EQ(updates[t][round], update_alone);
        }
    }

    // The trace is the operations' own sequences, back to back.
    const std::vector<std::string> ops = trace_ops();
    size_t at = 0, get_count = 0, update_count = 0;
    auto starts_here = [&](const std::vector<std::string> &seq) {
        return ops.size() - at >= seq.size() && std::equal(seq.begin(), seq.end(), ops.begin() + at);
    };
    while (at < ops.size()) {
        if (starts_here(get_ops)) {
            at += get_ops.size();
            ++get_count;
        } else if (starts_here(update_ops)) {
            at += update_ops.size();
            ++update_count;
        } else {
            ADD_FAILURE() << "the trace leaves the operations' sequences at call " << at << ": "
                          << ops[at];
            break;
        }
    }
    EXPECT_EQ(get_count, size_t{threads * rounds});
    EXPECT_EQ(update_count, size_t{threads * rounds});
    EXPECT_EQ(waits_.load(), threads * rounds * update_waits);
}

// Callbacks run inside the call, with the library's lock held: one that asks
// for the message buffer, or runs another operation, on the same thread does
// not wait for itself.
TEST_F(Concurrency, CallbacksMayCallBackIntoTheLibrary) {
    // Leaves a message in the buffer: a request without msg_fn and without a file name.
    cali_info_arg failed;
    ryn_cali_info_init_arg(&failed, ryn_sim_handle(), nullptr, RYN_FLAG_GET);
    ASSERT_EQ(ryn_cali_info(&failed), 0);
    const std::u16string buffered = u"[ARG] The file_name cannot be NULL.\n";

    struct Seen {
        std::vector<std::u16string> in_messages, in_progress, in_reset;
        int nested = -1;
    } seen;
    static Seen *current;
    current = &seen;
    const std::u16string image = write_image().u16string();

    // A calibration GET whose message and progress callbacks read the buffer,
    // and whose last progress step runs a nested failing request.
    const std::u16string ini = (dir_ / "cali.ini").u16string();
    cali_info_arg get;
    ryn_cali_info_init_arg(&get, ryn_sim_handle(), w(ini), RYN_FLAG_GET);
    get.msg_fn = [](void *, const ryn_wchar *, va_list) {
        current->in_messages.emplace_back(as_u16(ryn_get_err_msg()));
    };
    get.progress_fn = [](void *, uint32_t step, uint32_t) {
        current->in_progress.emplace_back(as_u16(ryn_get_err_msg()));
        if (step == 5) {
            cali_info_arg inner;
            ryn_cali_info_init_arg(&inner, ryn_sim_handle(), nullptr, RYN_FLAG_GET);
            current->nested = ryn_cali_info(&inner);
        }
    };
    ASSERT_EQ(ryn_cali_info(&get), 1);
    ASSERT_FALSE(seen.in_progress.empty());
    for (const std::u16string &m : seen.in_progress) EXPECT_EQ(m, buffered);
    EXPECT_EQ(seen.nested, 0);

    // A firmware update whose message and reset callbacks read the buffer.
    fw_update_arg update;
    ryn_fw_update_init_arg(&update, ryn_sim_handle(), w(image), nullptr, RYN_UPDATE_NORMAL);
    update.msg_fn = [](void *, const ryn_wchar *, va_list) {
        current->in_messages.emplace_back(as_u16(ryn_get_err_msg()));
    };
    update.dev_reset_fn = [](void *) {
        current->in_reset.emplace_back(as_u16(ryn_get_err_msg()));
        return ryn_sim_reset();
    };
    update.set_update_hdr_fn = fwupdate::test::switch_sim_to_update;
    EXPECT_EQ(ryn_fw_update(&update), 1);
    ASSERT_FALSE(seen.in_messages.empty());
    ASSERT_FALSE(seen.in_reset.empty());
    for (const auto *texts : {&seen.in_messages, &seen.in_reset})
        for (const std::u16string &m : *texts) EXPECT_EQ(m, buffered);
    current = nullptr;
}

// The message buffer is shared, but each thread reads its own copy: a text
// handed out stays as it was while another thread's call writes a new one.
TEST_F(Concurrency, MessageTextStaysUntilTheSameThreadAsksAgain) {
    auto fail_with = [](const char16_t *file, uint32_t flags) {
        cali_info_arg arg;
        ryn_cali_info_init_arg(&arg, ryn_sim_handle(), file ? w(file) : nullptr, flags);
        return ryn_cali_info(&arg);
    };
    ASSERT_EQ(fail_with(nullptr, RYN_FLAG_GET), 0);
    const ryn_wchar *mine = ryn_get_err_msg();
    const std::u16string first = as_u16(mine);
    EXPECT_EQ(first, u"[ARG] The file_name cannot be NULL.\n");

    std::u16string other_saw;
    std::thread([&] {
        EXPECT_EQ(fail_with(u"x.ini", RYN_FLAG_GET | RYN_FLAG_SET), 0);
        other_saw = as_u16(ryn_get_err_msg());
    }).join();
    EXPECT_EQ(other_saw, u"[ARG] Only one of GET/SET can be set.\n");
    EXPECT_EQ(std::u16string(as_u16(mine)), first);
    EXPECT_EQ(std::u16string(as_u16(ryn_get_err_msg())), other_saw);
}

}  // namespace
}  // namespace ryn::test
