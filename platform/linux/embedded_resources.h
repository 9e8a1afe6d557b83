// The table of raw-data resources that the build links into each Linux executable (the bytes come
// in through the assembler's .incbin, so no large arrays pass through the compiler).
#pragma once

#include <cstdint>

struct EmbeddedResource {
    uint16_t id;
    const unsigned char *begin;
    const unsigned char *end;
};

extern "C" const EmbeddedResource embeddedResources[];
extern "C" const int embeddedResourceCount;
