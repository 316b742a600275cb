/*
 * A host program of ryn_usr: it creates a simulated base controller through
 * the simulator's control API, reads its calibration into an INI file with a
 * message and a progress callback, and checks the result and the file. Then
 * it shows a refused request and the message that explains it.
 *
 * Usage: host [FILE]   (FILE: the INI file to write, default host_cali.ini)
 * Exit status 0 when every check holds. The definition files must sit beside
 * this program's executable: the library looks for them there.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ryn_usr.h"
#include "ryn_sim.h"

/* What the callbacks of one request saw. */
struct request_log {
    char text[4096]; /* every message, formatted and converted to UTF-8 */
    unsigned messages;
    unsigned step, total; /* the last progress report */
};

/* Appends the UTF-16 text to out as UTF-8 (unpaired surrogates become U+FFFD). */
static void append_utf8(char *out, size_t cap, const ryn_wchar *text) {
    size_t n = strlen(out);
    for (; *text; ++text) {
        unsigned long c = (unsigned long)*text;
        char bytes[4];
        size_t len;
        if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + ((unsigned long)text[1] - 0xDC00);
            ++text;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            bytes[0] = (char)c, len = 1;
        } else if (c < 0x800) {
            bytes[0] = (char)(0xC0 | c >> 6), bytes[1] = (char)(0x80 | (c & 0x3F)), len = 2;
        } else if (c < 0x10000) {
            bytes[0] = (char)(0xE0 | c >> 12), bytes[1] = (char)(0x80 | (c >> 6 & 0x3F));
            bytes[2] = (char)(0x80 | (c & 0x3F)), len = 3;
        } else {
            bytes[0] = (char)(0xF0 | c >> 18), bytes[1] = (char)(0x80 | (c >> 12 & 0x3F));
            bytes[2] = (char)(0x80 | (c >> 6 & 0x3F)), bytes[3] = (char)(0x80 | (c & 0x3F)), len = 4;
        }
        if (n + len >= cap) break;
        memcpy(out + n, bytes, len);
        n += len;
    }
    out[n] = '\0';
}

/* msg_fn: the library hands over a wide format and its unformatted arguments;
 * ryn_format_msg formats them exactly as the library's own sink would. */
static void on_message(void *user_data, const ryn_wchar *format, va_list args) {
    struct request_log *log = (struct request_log *)user_data;
    ryn_wchar line[1024];
    if (ryn_format_msg(line, sizeof line / sizeof line[0], format, args) < 0) return;
    append_utf8(log->text, sizeof log->text, line);
    ++log->messages;
    fputs("ryn_usr: ", stdout);
    {
        char utf8[3 * 1024] = "";
        append_utf8(utf8, sizeof utf8, line);
        fputs(utf8, stdout);
    }
}

/* progress_fn: step of total (5 for a calibration request). */
static void on_progress(void *user_data, uint32_t step, uint32_t total) {
    struct request_log *log = (struct request_log *)user_data;
    log->step = step;
    log->total = total;
}

/* One calibration request on the device behind handle. */
static int32_t cali_request(ryn_handle handle, const ryn_wchar *file, uint32_t flags,
                            struct request_log *log) {
    cali_info_arg arg;
    memset(log, 0, sizeof *log);
    ryn_cali_info_init_arg(&arg, handle, file, flags); /* clears the callbacks */
    arg.user_data = log;
    arg.msg_fn = on_message;
    arg.progress_fn = on_progress;
    return ryn_cali_info(&arg);
}

/* Widens an ASCII path (enough for this example; a real host converts from
 * its own encoding). */
static void widen(ryn_wchar *out, size_t cap, const char *in) {
    size_t i = 0;
    for (; in[i] && i + 1 < cap; ++i) out[i] = (ryn_wchar)(unsigned char)in[i];
    out[i] = 0;
}

/* Whether the file holds the text. */
static int file_contains(const char *path, const char *text) {
    static char content[1 << 20];
    size_t n;
    FILE *f = fopen(path, "rb");
    if (!f) return 0;
    n = fread(content, 1, sizeof content - 1, f);
    fclose(f);
    content[n] = '\0';
    return strstr(content, text) != NULL;
}

#define CHECK(cond)                                                              \
    do {                                                                         \
        if (!(cond)) {                                                           \
            fprintf(stderr, "host.c:%d: check failed: %s\n", __LINE__, #cond);   \
            return 1;                                                            \
        }                                                                        \
    } while (0)

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "host_cali.ini";
    ryn_wchar file[260], missing[260];
    struct request_log log;
    ryn_handle handle;

    /* A simulated base controller with a version-10 calibration record. */
    handle = ryn_sim_create("base", "{\"cali_version\": 10}");
    if (handle == RYN_INVALID_HANDLE) {
        fprintf(stderr, "ryn_sim_create: %s\n", ryn_sim_last_error());
        return 1;
    }

    /* GET: the device's calibration into the INI file. */
    remove(path);
    widen(file, 260, path);
    CHECK(cali_request(handle, file, RYN_FLAG_GET, &log) == 1);
    CHECK(log.messages == 0);
    CHECK(log.step == 5 && log.total == 5);
    CHECK(file_contains(path, "[calibration]"));
    CHECK(file_contains(path, "length=8192"));
    CHECK(file_contains(path, "version=10"));
    printf("calibration of the simulated controller written to %s\n", path);

    /* A refused SET: result 0, and the message says why. */
    widen(missing, 260, "no_such_file.ini");
    CHECK(cali_request(handle, missing, RYN_FLAG_SET, &log) == 0);
    CHECK(log.messages == 1);
    CHECK(strncmp(log.text, "The file name [", 15) == 0);
    CHECK(strstr(log.text, "no_such_file.ini] doesn't exist.\n") != NULL);

    puts("host: all checks passed");
    return 0;
}
