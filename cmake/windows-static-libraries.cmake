# Included after project() in the mingw-w64 build: static archives only, for -static links.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
