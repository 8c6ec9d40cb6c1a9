# System DLLs that are not KnownDLLs are delay-loaded: Windows would otherwise
# look for them in the program's own folder first (a download folder, for the
# installer). Each kelvo_delay_<name> replaces <name> on a link line; the DLL is
# then loaded at the first call, from the system folder only
# (framework/SystemDll.cpp). dist.shipped_images_import_only_known_dlls checks
# what is left in the import tables.
get_filename_component(_cc_name ${CMAKE_C_COMPILER} NAME)
string(REGEX REPLACE "-gcc.*$" "" KELVO_MINGW_PREFIX ${_cc_name})
find_program(KELVO_NM ${KELVO_MINGW_PREFIX}-nm REQUIRED)
find_program(KELVO_DLLTOOL ${KELVO_MINGW_PREFIX}-dlltool REQUIRED)
set(_delay_dir ${CMAKE_BINARY_DIR}/delayimp)
file(MAKE_DIRECTORY ${_delay_dir})
foreach(_pair "gdiplus;gdiplus.dll" "uxtheme;uxtheme.dll" "wininet;wininet.dll" "winspool;winspool.drv"
              "msimg32;msimg32.dll" "version;version.dll" "newdev;newdev.dll")
    list(GET _pair 0 _name)
    list(GET _pair 1 _dll)
    find_library(_import_${_name} NAMES lib${_name}.a REQUIRED)
    set(_out ${_delay_dir}/lib${_name}_delay.a)
    if(NOT EXISTS ${_out} OR ${_import_${_name}} IS_NEWER_THAN ${_out})
        execute_process(COMMAND ${KELVO_ROOT}/scripts/lib/make-delaylib ${KELVO_NM} ${KELVO_DLLTOOL}
                            ${_import_${_name}} ${_dll} ${_out}
                        RESULT_VARIABLE _rc)
        if(NOT _rc EQUAL 0)
            message(FATAL_ERROR "Could not make the delay-load library of ${_dll}")
        endif()
    endif()
    add_library(kelvo_delay_${_name} STATIC IMPORTED GLOBAL)
    set_target_properties(kelvo_delay_${_name} PROPERTIES IMPORTED_LOCATION ${_out})
endforeach()
