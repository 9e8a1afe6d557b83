#include "platform/linux/command_line.h"

static bool isBlank(char c) { return c == ' ' || c == '\t'; }

int splitCommandLine(const char *line, char *storage, size_t storageSize, char **arguments,
                     int maxArguments) {
    size_t used = 0;
    int count = 0;
    auto put = [&](char c) {
        if (used >= storageSize)
            return false;
        storage[used++] = c;
        return true;
    };

    const char *p = line;
    while (isBlank(*p))
        p++;
    // The program's own name: up to the closing quote when quoted, else up to a blank, with no
    // backslash escapes (a path such as "C:\dir\" keeps its backslashes).
    if (*p != '\0') {
        if (count + 1 >= maxArguments)
            return -1;
        arguments[count++] = storage + used;
        if (*p == '"') {
            for (p++; *p != '\0' && *p != '"'; p++)
                if (!put(*p))
                    return -1;
            if (*p == '"')
                p++;
        } else {
            for (; *p != '\0' && !isBlank(*p); p++)
                if (!put(*p))
                    return -1;
        }
        if (!put('\0'))
            return -1;
    }

    for (;;) {
        while (isBlank(*p))
            p++;
        if (*p == '\0')
            break;
        if (count + 1 >= maxArguments)
            return -1;
        arguments[count++] = storage + used;
        bool quoted = false;
        while (*p != '\0' && (quoted || !isBlank(*p))) {
            if (*p == '\\') {
                size_t slashes = 0;
                while (*p == '\\') {
                    slashes++;
                    p++;
                }
                if (*p == '"') {
                    // 2n backslashes before a quote are n backslashes and the quote is a
                    // delimiter; 2n + 1 are n backslashes and a literal quote.
                    for (size_t i = 0; i < slashes / 2; i++)
                        if (!put('\\'))
                            return -1;
                    if (slashes % 2 == 1) {
                        if (!put('"'))
                            return -1;
                        p++;
                    }
                } else {
                    for (size_t i = 0; i < slashes; i++)
                        if (!put('\\'))
                            return -1;
                }
                continue;
            }
            if (*p == '"') {
                if (quoted && p[1] == '"') {
                    // Two quotes inside a quoted part stand for one literal quote.
                    if (!put('"'))
                        return -1;
                    p += 2;
                    continue;
                }
                quoted = !quoted;
                p++;
                continue;
            }
            if (!put(*p))
                return -1;
            p++;
        }
        if (!put('\0'))
            return -1;
    }
    arguments[count] = nullptr;
    return count;
}
