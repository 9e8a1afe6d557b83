// Turning shader source texts into a linked program; errors are shown to the user.
#pragma once

#include "render/gl_api.h"

GLuint compileShader(GLenum type, const char *source);
GLuint buildProgram(const char *vertexSource, const char *fragmentSource);

// True when the program linked; nothing is shown.
bool programLinked(GLuint program);
