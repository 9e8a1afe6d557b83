#include <cstdio>

#include "platform/platform.h"
#include "render/gl_api.h"

GlFunctions glFunctions;

template <typename Function> static bool fetch(Function *slot, const char *name) {
    *slot = reinterpret_cast<Function>(glProcAddress(name));
    return *slot != nullptr;
}

bool loadGlFunctions() {
    GlFunctions &f = glFunctions;
    bool complete = true;
    complete &= fetch(&f.glCreateShader, "glCreateShader");
    complete &= fetch(&f.glShaderSource, "glShaderSource");
    complete &= fetch(&f.glCompileShader, "glCompileShader");
    complete &= fetch(&f.glCreateProgram, "glCreateProgram");
    complete &= fetch(&f.glAttachShader, "glAttachShader");
    complete &= fetch(&f.glLinkProgram, "glLinkProgram");
    complete &= fetch(&f.glUseProgram, "glUseProgram");
    complete &= fetch(&f.glGetShaderiv, "glGetShaderiv");
    complete &= fetch(&f.glGetShaderInfoLog, "glGetShaderInfoLog");
    complete &= fetch(&f.glGetProgramiv, "glGetProgramiv");
    complete &= fetch(&f.glGetProgramInfoLog, "glGetProgramInfoLog");
    complete &= fetch(&f.glGetUniformLocation, "glGetUniformLocation");
    complete &= fetch(&f.glUniform1f, "glUniform1f");
    complete &= fetch(&f.glUniform2f, "glUniform2f");
    complete &= fetch(&f.glUniform3f, "glUniform3f");
    complete &= fetch(&f.glUniform1i, "glUniform1i");
    complete &= fetch(&f.glUniformMatrix4fv, "glUniformMatrix4fv");
    complete &= fetch(&f.glGenBuffers, "glGenBuffers");
    complete &= fetch(&f.glBindBuffer, "glBindBuffer");
    complete &= fetch(&f.glBufferData, "glBufferData");
    complete &= fetch(&f.glBufferSubData, "glBufferSubData");
    complete &= fetch(&f.glGenVertexArrays, "glGenVertexArrays");
    complete &= fetch(&f.glBindVertexArray, "glBindVertexArray");
    complete &= fetch(&f.glEnableVertexAttribArray, "glEnableVertexAttribArray");
    complete &= fetch(&f.glVertexAttribPointer, "glVertexAttribPointer");
    complete &= fetch(&f.glActiveTexture, "glActiveTexture");
    return complete;
}

// The version text begins "MAJOR.MINOR", whatever the driver adds after it.
bool glVersionAtLeast(int major, int minor) {
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    int haveMajor = 0;
    int haveMinor = 0;
    if (version == nullptr || sscanf(version, "%d.%d", &haveMajor, &haveMinor) != 2)
        return false;
    return haveMajor > major || (haveMajor == major && haveMinor >= minor);
}
