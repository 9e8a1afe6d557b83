#include "cabinet/command_quoting.h"

void quoteArgument(const char *text, char *out, size_t size) {
    if (size == 0)
        return;
    size_t used = 0;
    auto put = [&](char c) {
        if (used + 1 < size)
            out[used++] = c;
    };
    put('"');
    for (const char *p = text;; p++) {
        size_t slashes = 0;
        while (*p == '\\') {
            slashes++;
            p++;
        }
        if (*p == '\0') {
            // Before the closing quote every backslash must be doubled.
            for (size_t i = 0; i < slashes * 2; i++)
                put('\\');
            break;
        }
        if (*p == '"') {
            for (size_t i = 0; i < slashes * 2 + 1; i++)
                put('\\');
        } else {
            for (size_t i = 0; i < slashes; i++)
                put('\\');
        }
        put(*p);
    }
    put('"');
    out[used] = '\0';
}
