/*
 * Reads the version resource of each binary named on the command line as
 * Windows' own property page does, and fails unless its fixed file and
 * product versions and its version strings are the project version of
 * ryn_version.h and its product name is ryn_usr.
 * Usage: ryn_version_resource FILE...
 */
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

#include "ryn_version.h"

#define WIDEN2(s) L##s
#define WIDEN(s) WIDEN2(s)

/* The string value name of the first (US English, Unicode) string table, or null. */
static const wchar_t *string_value(void *info, const wchar_t *name) {
    wchar_t path[128];
    void *value = NULL;
    UINT length = 0;
    swprintf(path, 128, L"\\StringFileInfo\\040904B0\\%ls", name);
    return VerQueryValueW(info, path, &value, &length) && length ? (const wchar_t *)value : NULL;
}

static int check(const char *file) {
    const DWORD ms = MAKELONG(RYN_VERSION_MINOR, RYN_VERSION_MAJOR);
    const DWORD ls = MAKELONG(0, RYN_VERSION_PATCH);
    static const wchar_t *const version_keys[] = {L"FileVersion", L"ProductVersion"};
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    const wchar_t *text;
    void *info;
    int failures = 0;
    size_t i;
    if (size == 0) {
        fprintf(stderr, "%s: no version resource\n", file);
        return 1;
    }
    info = malloc(size);
    if (!info || !GetFileVersionInfoA(file, 0, size, info) ||
        !VerQueryValueW(info, L"\\", (void **)&fixed, &length) || length < sizeof *fixed) {
        fprintf(stderr, "%s: the version resource cannot be read\n", file);
        free(info);
        return 1;
    }
    if (fixed->dwFileVersionMS != ms || fixed->dwFileVersionLS != ls ||
        fixed->dwProductVersionMS != ms || fixed->dwProductVersionLS != ls) {
        fprintf(stderr, "%s: fixed version %lx.%lx, product %lx.%lx\n", file,
                (unsigned long)fixed->dwFileVersionMS, (unsigned long)fixed->dwFileVersionLS,
                (unsigned long)fixed->dwProductVersionMS, (unsigned long)fixed->dwProductVersionLS);
        ++failures;
    }
    for (i = 0; i < 2; ++i) {
        text = string_value(info, version_keys[i]);
        if (!text || wcscmp(text, WIDEN(RYN_VERSION_STRING)) != 0) {
            fprintf(stderr, "%s: %ls is %ls\n", file, version_keys[i], text ? text : L"(none)");
            ++failures;
        }
    }
    text = string_value(info, L"ProductName");
    if (!text || wcscmp(text, L"ryn_usr") != 0) {
        fprintf(stderr, "%s: ProductName is %ls\n", file, text ? text : L"(none)");
        ++failures;
    }
    if (!string_value(info, L"FileDescription")) {
        fprintf(stderr, "%s: no FileDescription\n", file);
        ++failures;
    }
    free(info);
    return failures;
}

int main(int argc, char **argv) {
    int failures = 0;
    int i;
    for (i = 1; i < argc; ++i) failures += check(argv[i]);
    return failures ? 1 : 0;
}
