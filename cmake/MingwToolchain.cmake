# The MinGW-w64 cross compiler (posix thread model) for the triplet the calling
# toolchain file set in VTX_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VTX_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VTX_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VTX_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VTX_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
