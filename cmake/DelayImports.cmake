# System DLLs that are not KnownDLLs are loaded at the first call of one of
# their functions, from the system folder only: Windows would otherwise look
# for them in the program's own folder first (a download folder, for the
# installer). Each kelvo_delay_<name> replaces <name> on a link line: a
# library of import stubs (scripts/lib/make-importstubs) that resolve through
# kelvo_resolve_import (platform/win/SystemDll.cpp). What is left in the import
# tables is checked by dist.shipped_images_import_only_known_dlls.
get_filename_component(_cc_name ${CMAKE_C_COMPILER} NAME)
string(REGEX REPLACE "-gcc.*$" "" KELVO_MINGW_PREFIX ${_cc_name})
find_program(KELVO_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT KELVO_SYSTEM_PYTHON)
    find_program(KELVO_SYSTEM_PYTHON python3 REQUIRED)
endif()
find_program(KELVO_NM ${KELVO_MINGW_PREFIX}-nm REQUIRED)
set(_stub_dir ${CMAKE_BINARY_DIR}/importstubs)
file(MAKE_DIRECTORY ${_stub_dir})
foreach(_pair "gdiplus;gdiplus.dll" "uxtheme;uxtheme.dll" "wininet;wininet.dll")
    list(GET _pair 0 _name)
    list(GET _pair 1 _dll)
    find_library(_import_${_name} NAMES lib${_name}.a REQUIRED)
    set(_out ${_stub_dir}/${_name}_stubs.c)
    add_custom_command(OUTPUT ${_out}
        COMMAND ${KELVO_SYSTEM_PYTHON} ${KELVO_ROOT}/scripts/lib/make-importstubs ${KELVO_NM} ${_import_${_name}} ${_dll} ${_out}
        DEPENDS ${KELVO_ROOT}/scripts/lib/make-importstubs ${_import_${_name}}
        COMMENT "Import stubs of ${_dll}")
    add_library(kelvo_delay_${_name} STATIC ${_out})
    # The stubs call the resolver, which lives with the programs' start-up code.
    target_link_libraries(kelvo_delay_${_name} INTERFACE kelvo_system_dll)
endforeach()
# The resolver on its own, for every program and DLL that links a stub library.
add_library(kelvo_system_dll STATIC ${KELVO_ROOT}/platform/win/SystemDll.cpp)
target_include_directories(kelvo_system_dll PUBLIC ${KELVO_ROOT})
