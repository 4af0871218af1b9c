# GoogleTest built from the Debian sources, for whichever compiler this tree uses.
set(VTX_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
if(NOT EXISTS "${VTX_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found at ${VTX_GOOGLETEST_SOURCE_DIR}: run scripts/install-deps.sh")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
# GoogleTest's own sources are not held to our warning flags.
set(_vtx_saved_flags "${CMAKE_CXX_FLAGS}")
add_subdirectory("${VTX_GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL)
set(CMAKE_CXX_FLAGS "${_vtx_saved_flags}")
include(GoogleTest)
