#include "render/shader_program.h"

#include "platform/platform.h"

// A shader that does not compile is reported and used all the same: start-up goes on, and the
// window opens without that part of its look.
GLuint compileShader(GLenum type, const char *source) {
    const GlFunctions &gl = glFunctions;
    const GLuint id = gl.glCreateShader(type);
    gl.glShaderSource(id, 1, &source, nullptr);
    gl.glCompileShader(id);
    GLint status = 0;
    gl.glGetShaderiv(id, GL_COMPILE_STATUS, &status);
    if (status == 0) {
        char log[512] = "";
        gl.glGetShaderInfoLog(id, sizeof log, nullptr, log);
        showMessageBox(nullptr, log, "Shader Compilation Error", messageBoxOk);
    }
    return id;
}

GLuint buildProgram(const char *vertexSource, const char *fragmentSource) {
    const GlFunctions &gl = glFunctions;
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, vertexSource);
    const GLuint fragment = compileShader(GL_FRAGMENT_SHADER, fragmentSource);
    const GLuint program = gl.glCreateProgram();
    gl.glAttachShader(program, vertex);
    gl.glAttachShader(program, fragment);
    gl.glLinkProgram(program);
    GLint status = 0;
    gl.glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == 0) {
        char log[512] = "";
        gl.glGetProgramInfoLog(program, sizeof log, nullptr, log);
        showMessageBox(nullptr, log, "Shader Linking Error", messageBoxOk);
    }
    return program;
}

bool programLinked(GLuint program) {
    GLint status = 0;
    glFunctions.glGetProgramiv(program, GL_LINK_STATUS, &status);
    return status != 0;
}
