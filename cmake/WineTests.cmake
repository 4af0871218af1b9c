# Windows test programs run under Wine in a prefix of this build's own.
# A CTest fixture brings up Wine, Xvfb and the virtual drawer before the
# tests and ends every process it started afterwards.
set(VTX_WINE_DIR "${CMAKE_BINARY_DIR}/wine")
set(VTX_WINE_STATE "${VTX_WINE_DIR}/state")
set(VTX_VDRAWER_EXE "" CACHE FILEPATH "Host build of the virtual drawer (tools/vdrawer)")
set(VTX_TEST_COM_PORT 7 CACHE STRING "COM port number the virtual drawer takes in the test prefix")
if(NOT VTX_VDRAWER_EXE)
    message(FATAL_ERROR "Set VTX_VDRAWER_EXE to the host-built vdrawer (scripts/build.sh does)")
endif()

get_filename_component(_vtx_loader_dir "${VTX_WINE_LOADER}" DIRECTORY)
file(MAKE_DIRECTORY "${VTX_WINE_STATE}")
file(WRITE "${VTX_WINE_STATE}/config"
    "VTX_PREFIX='${VTX_WINE_DIR}/prefix'\n"
    "VTX_LOADER='${VTX_WINE_LOADER}'\n"
    "VTX_WINESERVER='${_vtx_loader_dir}/wineserver'\n"
    "VTX_KEEPALIVE='${CMAKE_BINARY_DIR}/tools/windows/winekeepalive.exe'\n"
    "VTX_VDRAWER='${VTX_VDRAWER_EXE}'\n"
    "VTX_COM='${VTX_TEST_COM_PORT}'\n")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/scripts/wine-run.sh;${VTX_WINE_STATE}")

add_test(NAME wine.harness.start COMMAND "${CMAKE_SOURCE_DIR}/scripts/harness.sh" start "${VTX_WINE_STATE}")
add_test(NAME wine.harness.stop COMMAND "${CMAKE_SOURCE_DIR}/scripts/harness.sh" stop "${VTX_WINE_STATE}")
set_tests_properties(wine.harness.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine.harness.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# vtx_add_wine_test(target): registers every GoogleTest case of a Windows test
# program; discovery happens when CTest starts, so building needs no Wine.
function(vtx_add_wine_test target)
    gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 120
        PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)
endfunction()
