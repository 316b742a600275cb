/*
 * A Windows host program, written in C as hosts of the library are: it runs a
 * calibration GET of a simulated base controller through ryn_usr.dll, once
 * through the import library and once through LoadLibraryW/GetProcAddress,
 * and checks the result, the messages and the INI file the GET wrote.
 * Usage: ryn_win_host FOLDER (a scratch folder for the INI files).
 * Exit code 0 when every check holds; each failed check is printed.
 */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "ryn_usr.h"
#include "sim/ryn_sim.h"

static int failures = 0;

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

/* What the library sent to the callbacks of one request. */
struct captured {
    wchar_t text[4096]; /* every message, formatted and joined */
    int messages;
    unsigned last_step, total;
};

/* msg_fn: a wide format and its arguments, formatted as the library's own sink does. */
static void on_message(void *user_data, const wchar_t *format, va_list args) {
    struct captured *c = (struct captured *)user_data;
    const size_t used = wcslen(c->text);
    const int n =
        ryn_format_msg(c->text + used, sizeof c->text / sizeof c->text[0] - used, format, args);
    CHECK(n > 0);
    ++c->messages;
}

static void on_progress(void *user_data, uint32_t step, uint32_t total) {
    struct captured *c = (struct captured *)user_data;
    c->last_step = step;
    c->total = total;
}

typedef void (*init_arg_fn)(cali_info_arg *, ryn_handle, const wchar_t *, uint32_t);
typedef int32_t (*cali_info_fn)(cali_info_arg *);
typedef const wchar_t *(*err_msg_fn)(void);

/* One ryn_cali_info request through the given entry points. */
static int32_t request(init_arg_fn init, cali_info_fn run, ryn_handle handle, const wchar_t *file,
                       uint32_t flags, struct captured *c) {
    cali_info_arg arg;
    memset(c, 0, sizeof *c);
    memset(&arg, 0xA5, sizeof arg); /* init_arg clears what it does not set */
    init(&arg, handle, file, flags);
    CHECK(arg.handle == handle && arg.file_name == file && arg.flags == flags);
    CHECK(arg.user_data == NULL && arg.msg_fn == NULL && arg.progress_fn == NULL);
    arg.user_data = c;
    arg.msg_fn = on_message;
    arg.progress_fn = on_progress;
    return run(&arg);
}

/* The value of key in the "calibration" section, read by the host's own profile function. */
static DWORD cali_key(const wchar_t *file, const wchar_t *key, wchar_t *value, DWORD cap) {
    return GetPrivateProfileStringW(L"calibration", key, L"", value, cap, file);
}

/* A GET into file and the checks of what it left there. */
static void get_into(init_arg_fn init, cali_info_fn run, const wchar_t *file) {
    struct captured c;
    wchar_t value[64];
    DeleteFileW(file);
    CHECK(request(init, run, ryn_sim_handle(), file, RYN_FLAG_GET, &c) == 1);
    if (c.messages) fwprintf(stderr, L"unexpected messages: %ls", c.text);
    CHECK(c.messages == 0);
    CHECK(c.last_step == 5 && c.total == 5);
    CHECK(cali_key(file, L"length", value, 64) == 4 && wcscmp(value, L"8192") == 0);
    CHECK(cali_key(file, L"version", value, 64) == 2 && wcscmp(value, L"10") == 0);
    CHECK(cali_key(file, L"nf_cam", value, 64) > 0);
    CHECK(cali_key(file, L"cam0_middle_b_l", value, 64) > 0);
    CHECK(cali_key(file, L"post_cali0_11", value, 64) > 0 && wcschr(value, L'e') != NULL);
}

int wmain(int argc, wchar_t **argv) {
    wchar_t folder[MAX_PATH], file[MAX_PATH], missing[MAX_PATH], expected[2 * MAX_PATH];
    struct captured c;
    if (argc != 2 || !GetFullPathNameW(argv[1], MAX_PATH, folder, NULL)) {
        fprintf(stderr, "usage: ryn_win_host FOLDER\n");
        return 2;
    }
    CreateDirectoryW(folder, NULL);
    swprintf(file, MAX_PATH, L"%ls\\cali.ini", folder);
    swprintf(missing, MAX_PATH, L"%ls\\missing.ini", folder);

    if (ryn_sim_create("base", "{\"cali_version\": 10}") == RYN_INVALID_HANDLE) {
        fprintf(stderr, "ryn_sim_create: %s\n", ryn_sim_last_error());
        return 1;
    }

    /* Through the import library. */
    get_into(ryn_cali_info_init_arg, ryn_cali_info, file);

    /* Through the module as a host loads it at run time: the same module, the
     * same functions, ryn_dev_info_init_arg one function with ryn_cali_info_init_arg. */
    HMODULE usr = LoadLibraryW(L"ryn_usr.dll");
    CHECK(usr != NULL);
    if (!usr) return 1;
    const init_arg_fn init =
        (init_arg_fn)(void (*)(void))GetProcAddress(usr, "ryn_cali_info_init_arg");
    const init_arg_fn dev_init =
        (init_arg_fn)(void (*)(void))GetProcAddress(usr, "ryn_dev_info_init_arg");
    const cali_info_fn run = (cali_info_fn)(void (*)(void))GetProcAddress(usr, "ryn_cali_info");
    CHECK(init != NULL && run != NULL);
    CHECK(dev_init == init);
    CHECK(init == ryn_cali_info_init_arg && run == ryn_cali_info);
    if (!init || !run) return 1;
    get_into(init, run, file);

    /* Failures reach msg_fn as a wide format and its arguments. */
    CHECK(request(init, run, ryn_sim_handle(), file, RYN_FLAG_GET | RYN_FLAG_SET, &c) == 0);
    CHECK(c.messages == 1 && wcscmp(c.text, L"[ARG] Only one of GET/SET can be set.\n") == 0);
    CHECK(request(init, run, ryn_sim_handle(), missing, RYN_FLAG_SET, &c) == 0);
    swprintf(expected, 2 * MAX_PATH, L"The file name [%ls] doesn't exist.\n", missing);
    if (wcscmp(c.text, expected) != 0) fwprintf(stderr, L"message: %ls", c.text);
    CHECK(c.messages == 1 && wcscmp(c.text, expected) == 0);
    CHECK(request(init, run, RYN_INVALID_HANDLE, file, RYN_FLAG_GET, &c) == 0);
    CHECK(c.messages == 1 && wcscmp(c.text, L"Invalid handle\n") == 0);

    /* Without msg_fn the message waits in the buffer that ryn_get_err_msg returns. */
    const err_msg_fn err_msg = (err_msg_fn)(void (*)(void))GetProcAddress(usr, "ryn_get_err_msg");
    cali_info_arg arg;
    init(&arg, RYN_INVALID_HANDLE, file, RYN_FLAG_GET);
    CHECK(run(&arg) == 0);
    CHECK(err_msg != NULL && wcscmp(err_msg(), L"Invalid handle\n") == 0);

    /* The version export, by name as a binding finds it, and the header's numbers. */
    typedef const char *(*version_fn)(void);
    const version_fn version = (version_fn)(void (*)(void))GetProcAddress(usr, "ryn_usr_version");
    char numbers[32];
    snprintf(numbers, sizeof numbers, "%d.%d.%d", RYN_USR_VERSION_MAJOR, RYN_USR_VERSION_MINOR,
             RYN_USR_VERSION_PATCH);
    CHECK(version != NULL && version == ryn_usr_version);
    CHECK(strcmp(ryn_usr_version(), numbers) == 0);

    FreeLibrary(usr);
    if (failures) fprintf(stderr, "%d check(s) failed\n", failures);
    return failures ? 1 : 0;
}
