// OpenGL 1.1 and GLU for the program's drawing code.
// On Windows the GL headers need <windows.h> (APIENTRY, WINGDIAPI) first.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <GL/gl.h>
#include <GL/glu.h>
