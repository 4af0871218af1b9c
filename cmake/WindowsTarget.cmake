# Settings shared by every Windows target: Unicode, a modern API level and a
# fully static runtime, so a binary imports nothing but system DLLs.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# -static is what drops libwinpthread-1.dll; the other two only cover libgcc/libstdc++.
add_link_options(-static -static-libgcc -static-libstdc++)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    add_link_options(-Wl,--enable-stdcall-fixup)
    set(VTX_WINE_LOADER /usr/lib/wine/wine)
    set(VTX_WIDL_FLAGS --win32 -L/usr/lib/i386-linux-gnu/wine/i386-windows)
else()
    set(VTX_WINE_LOADER /usr/lib/wine/wine64)
    set(VTX_WIDL_FLAGS --win64 -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
endif()
set(VTX_OBJDUMP ${VTX_TRIPLET}-objdump)

# Fails the build when a binary imports a DLL outside the system set.
function(vtx_check_imports target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND "${CMAKE_SOURCE_DIR}/scripts/check-imports.sh" "${VTX_OBJDUMP}" "$<TARGET_FILE:${target}>"
        VERBATIM)
endfunction()
