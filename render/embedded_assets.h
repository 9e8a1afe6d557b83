// The pictures and shader sources the build compiles into the program.
#pragma once

#include <cstddef>

extern const unsigned char backdropPng[];
extern const size_t backdropPng_size;
extern const unsigned char closeIconPng[];
extern const size_t closeIconPng_size;
extern const unsigned char soundMutedPng[];
extern const size_t soundMutedPng_size;
extern const unsigned char soundOnPng[];
extern const size_t soundOnPng_size;

// The font Oxanium Regular, 29,468 bytes.
extern const unsigned char oxaniumFont[];
extern const size_t oxaniumFont_size;

// NUL-terminated GLSL texts.
extern const unsigned char backdropVertexSource[];
extern const unsigned char backdropFragmentSource[];
extern const unsigned char textVertexSource[];
extern const unsigned char textFragmentSource[];
