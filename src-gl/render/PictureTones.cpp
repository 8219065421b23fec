#include "PictureTones.h"

#include <GL/glext.h>

#include "TextNumbers.h"

namespace {

// GLSL 1.10, the oldest, for a compatibility context: gl_TexCoord and gl_Color come from the
// fixed-function vertex stage. The correction is ColourCorrection::Apply's, its lift of white
// included.
std::string FragmentSource() {
  return R"(#version 110
uniform sampler2D picture;
uniform vec3 gain;
uniform vec3 offset;
void main() {
  vec4 texel = texture2D(picture, gl_TexCoord[0].st);
  vec3 lacking = max(1.0 - (gain + offset), 0.0);
  vec3 rgb = texel.rgb * gain + offset + lacking * smoothstep()" +
         FormatFixed(whiteKnee, 7) + R"(, 1.0, texel.rgb);
  gl_FragColor = vec4(clamp(rgb, 0.0, 1.0), texel.a) * gl_Color;
}
)";
}

}  // namespace

PictureTones::PictureTones() {
  while (glGetError() != GL_NO_ERROR) {
  }
  const GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
  if (shader == 0) return;
  const std::string source = FragmentSource();
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled == GL_TRUE) {
    program_ = glCreateProgram();
    glAttachShader(program_, shader);
    glLinkProgram(program_);
    GLint linked = GL_FALSE;
    glGetProgramiv(program_, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
      glDeleteProgram(program_);
      program_ = 0;
    }
  }
  glDeleteShader(shader);  // the program keeps it while linked
  if (program_ == 0) return;
  gain_ = glGetUniformLocation(program_, "gain");
  offset_ = glGetUniformLocation(program_, "offset");
  glUseProgram(program_);
  glUniform1i(glGetUniformLocation(program_, "picture"), 0);
  glUseProgram(0);
  while (glGetError() != GL_NO_ERROR) {
  }
}

PictureTones::~PictureTones() {
  if (program_ != 0) glDeleteProgram(program_);
}

void PictureTones::Use(const ColourCorrection& colour) {
  if (program_ == 0) {
    missing_ = missing_ || !colour.IsIdentity();
    return;
  }
  glUseProgram(program_);
  glUniform3f(gain_, colour.gain[0], colour.gain[1], colour.gain[2]);
  glUniform3f(offset_, colour.offset[0], colour.offset[1], colour.offset[2]);
}

void PictureTones::Stop() {
  if (program_ != 0) glUseProgram(0);
}
