# The 32-bit x86 build on a 64-bit Debian (make test-i386): the same g++ with -m32, linked against the
# i386 multiarch libraries that scripts/install-deps installs. Not a cross build: the machine runs the
# programs it makes (the media generators at build time, the tests), so the system stays the host's.
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

# SSE2 arithmetic instead of the x87's 80-bit intermediates, so a fast path and its plain reference
# round alike, as they do on x86-64. The flags reach the link line too (-m32 picks the 32-bit crt files).
set(VM_I386_FLAGS "-m32 -msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${VM_I386_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${VM_I386_FLAGS}")

# Libraries, CMake package files and pkg-config files from the i386 tree, never the host's x86-64 ones
# (both are installed side by side). /usr/share/pkgconfig holds the architecture-free .pc files.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_LIBRARY_PATH /usr/lib/i386-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
