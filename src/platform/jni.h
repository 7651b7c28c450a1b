// The Java Native Interface as this library uses it. The JDK's portable jni.h
// is taken from the build machine's JDK; its machine-dependent part comes
// from the JDK on Linux and from src/platform/win32/jni/ for Windows x64.
#pragma once

#include <jni.h>
