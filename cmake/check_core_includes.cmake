# Stops the build when a core file includes a toolkit or window-system header: the core must
# build and be tested without any of them. Run with -DSOURCES=a;b;c -DSTAMP=file.
# CMake's regular expressions have no case-insensitive mode, and Windows headers are often
# written <Windows.h>: hence the bracketed letters.
set(toolkit "(Q[A-Za-z]*|qt[^>\"]*|[Ww][Ii][Nn][Dd][Oo][Ww][Ss]\\.[Hh]|[Ww][Ii][Nn][A-Za-z0-9]*\\.[Hh]|[Cc][Oo][Mm][Mm][Cc][Tt][Rr][Ll]\\.[Hh]|[Oo][Ll][Ee][A-Za-z]*\\.[Hh]|xcb/|X11/|gtk|gdk|glib|wayland)")
foreach(source IN LISTS SOURCES)
  file(STRINGS "${source}" includes REGEX "#[ \t]*include[ \t]*[<\"]${toolkit}")
  if(includes)
    message(FATAL_ERROR "${source} includes a toolkit header: ${includes}")
  endif()
endforeach()
file(TOUCH "${STAMP}")
