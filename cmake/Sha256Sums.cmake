# Writes SHA256SUMS beside the installer: one "HASH  NAME" line (sha256sum's
# format, checked with `sha256sum -c SHA256SUMS` in that folder) for the
# installer and for every file of the installation folder, sorted by name.
#   cmake -DDIST=<folder of the installer> -DFOLDER=<installation folder's name>
#         -DINSTALLER=<installer's file name> -P Sha256Sums.cmake
foreach(v DIST FOLDER INSTALLER)
    if(NOT DEFINED ${v})
        message(FATAL_ERROR "Sha256Sums.cmake needs -D${v}=...")
    endif()
endforeach()
if(NOT EXISTS "${DIST}/${INSTALLER}")
    message(FATAL_ERROR "${DIST}/${INSTALLER} is missing")
endif()
file(GLOB_RECURSE _files LIST_DIRECTORIES false RELATIVE "${DIST}" "${DIST}/${FOLDER}/*")
list(SORT _files)
set(_text "")
foreach(f ${INSTALLER} ${_files})
    if(f MATCHES "[\\\n]")
        message(FATAL_ERROR "${f}: a name SHA256SUMS cannot hold")
    endif()
    file(SHA256 "${DIST}/${f}" _hash)
    string(APPEND _text "${_hash}  ${f}\n")
endforeach()
# Rewritten only when it changes, so that an unchanged build leaves it alone.
set(_out "${DIST}/SHA256SUMS")
if(EXISTS "${_out}")
    file(READ "${_out}" _old)
    if(_old STREQUAL _text)
        return()
    endif()
endif()
file(WRITE "${_out}.tmp" "${_text}")
file(RENAME "${_out}.tmp" "${_out}")
