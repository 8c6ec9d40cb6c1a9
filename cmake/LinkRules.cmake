# Rules of the link graph, checked every time CMake configures a tree (the
# configuration fails, naming every rule broken and the chain of links that
# breaks it):
#   - a library named *_core compiles only files below a core/ folder and
#     links only other *_core libraries (no back end, no system library);
#   - no target links itself round a circle of libraries;
#   - kelvo_link_avoid(PROGRAM LIBRARY...): PROGRAM depends, directly or
#     through any library it links, on none of the LIBRARYs;
#   - kelvo_link_reserved(LIBRARY USER...): only the USERs depend on LIBRARY.
# A rule that names a target this build does not have is skipped.
# tests/scripts/link-rules-faults shows that each rule fails where it should.

function(kelvo_link_avoid program)
    list(JOIN ARGN "," _libraries)
    set_property(GLOBAL APPEND PROPERTY KELVO_LINK_AVOID "${program}=${_libraries}")
endfunction()

function(kelvo_link_reserved library)
    list(JOIN ARGN "," _users)
    set_property(GLOBAL APPEND PROPERTY KELVO_LINK_RESERVED "${library}=${_users}")
endfunction()

# Every target of DIR and the folders below it.
function(_kelvo_targets_below dir out)
    get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(d ${_subdirs})
        _kelvo_targets_below(${d} _more)
        list(APPEND _targets ${_more})
    endforeach()
    set(${out} ${_targets} PARENT_SCOPE)
endfunction()

# What TARGET links (its own link line and its usage requirements): target
# names, or library names and paths. Link groups count as their members.
function(_kelvo_link_items target out)
    set(_items)
    foreach(_prop LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(_value ${target} ${_prop})
        if(NOT _value)
            continue()
        endif()
        foreach(_item IN LISTS _value)
            # Markers of a call from another folder.
            if(_item MATCHES "^::@")
                continue()
            endif()
            if(_item MATCHES "^\\$<LINK_ONLY:(.*)>$")
                set(_item "${CMAKE_MATCH_1}")
            endif()
            if(_item MATCHES "^\\$<LINK_GROUP:[A-Za-z0-9_]+,(.*)>$")
                string(REPLACE "," ";" _members "${CMAKE_MATCH_1}")
                list(APPEND _items ${_members})
            elseif(_item MATCHES "^\\$<")
                message(FATAL_ERROR "${target} links ${_item}, which the link rules cannot read (cmake/LinkRules.cmake)")
            elseif(NOT _item MATCHES "^-")
                list(APPEND _items "${_item}")
            endif()
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES _items)
    set(${out} "${_items}" PARENT_SCOPE)
endfunction()

# Depth-first walk from NODE for the circle check: a node met again while it
# is on the current chain closes a circle.
function(_kelvo_walk_for_circles node chain)
    set_property(GLOBAL PROPERTY _KELVO_STATE_${node} open)
    list(APPEND chain ${node})
    get_property(_next GLOBAL PROPERTY _KELVO_LINKS_${node})
    foreach(n ${_next})
        get_property(_state GLOBAL PROPERTY _KELVO_STATE_${n})
        if(_state STREQUAL "open")
            list(FIND chain ${n} _at)
            list(SUBLIST chain ${_at} -1 _circle)
            list(APPEND _circle ${n})
            string(REPLACE ";" " -> " _circle "${_circle}")
            set_property(GLOBAL APPEND PROPERTY _KELVO_PROBLEMS "a circle of links: ${_circle}")
        elseif(NOT _state)
            _kelvo_walk_for_circles(${n} "${chain}")
        endif()
    endforeach()
    set_property(GLOBAL PROPERTY _KELVO_STATE_${node} done)
endfunction()

# Everything NODE depends on, each with the chain that reaches it first:
# sets _KELVO_REACH_<root>_<name> to "root -> ... -> name".
function(_kelvo_walk_reach root node chain)
    list(APPEND chain ${node})
    string(REPLACE ";" " -> " _text "${chain}")
    set_property(GLOBAL PROPERTY _KELVO_REACH_${root}_${node} "${_text}")
    get_property(_next GLOBAL PROPERTY _KELVO_LINKS_${node})
    foreach(n ${_next})
        get_property(_seen GLOBAL PROPERTY _KELVO_REACH_${root}_${n} SET)
        if(NOT _seen)
            _kelvo_walk_reach(${root} ${n} "${chain}")
        endif()
    endforeach()
endfunction()

# Called once at the end of the top folder's CMakeLists.txt.
function(kelvo_check_link_rules)
    _kelvo_targets_below(${CMAKE_SOURCE_DIR} _all)
    set(_built)
    foreach(t ${_all})
        get_target_property(_imported ${t} IMPORTED)
        if(_imported)
            continue()
        endif()
        list(APPEND _built ${t})
        _kelvo_link_items(${t} _items)
        set(_targets)
        foreach(i ${_items})
            if(TARGET ${i})
                get_target_property(_aliased ${i} ALIASED_TARGET)
                if(_aliased)
                    set(i ${_aliased})
                endif()
            endif()
            list(APPEND _targets ${i})
        endforeach()
        set_property(GLOBAL PROPERTY _KELVO_LINKS_${t} "${_targets}")
    endforeach()

    # Core libraries: portable sources, links to core libraries only.
    foreach(t ${_built})
        get_target_property(_type ${t} TYPE)
        if(NOT t MATCHES "_core$" OR NOT _type MATCHES "LIBRARY$")
            continue()
        endif()
        get_target_property(_sources ${t} SOURCES)
        foreach(_src ${_sources})
            if(NOT _src MATCHES "(^|/)core/")
                set_property(GLOBAL APPEND PROPERTY _KELVO_PROBLEMS
                    "${t} compiles ${_src}, which is not below a core/ folder")
            endif()
        endforeach()
        get_property(_links GLOBAL PROPERTY _KELVO_LINKS_${t})
        foreach(l ${_links})
            if(NOT l MATCHES "_core$" OR NOT TARGET ${l})
                set_property(GLOBAL APPEND PROPERTY _KELVO_PROBLEMS
                    "${t} links ${l}, but a core library links only core libraries (its back end comes with the program)")
            endif()
        endforeach()
    endforeach()

    # No circles.
    foreach(t ${_built})
        get_property(_state GLOBAL PROPERTY _KELVO_STATE_${t})
        if(NOT _state)
            _kelvo_walk_for_circles(${t} "")
        endif()
    endforeach()

    # Programs that must not depend on a library.
    get_property(_avoid GLOBAL PROPERTY KELVO_LINK_AVOID)
    foreach(_rule ${_avoid})
        string(REPLACE "=" ";" _rule "${_rule}")
        list(POP_FRONT _rule _program)
        if(NOT TARGET ${_program})
            continue()
        endif()
        _kelvo_walk_reach(${_program} ${_program} "")
        string(REPLACE "," ";" _libraries "${_rule}")
        foreach(_library ${_libraries})
            get_property(_chain GLOBAL PROPERTY _KELVO_REACH_${_program}_${_library})
            if(_chain)
                set_property(GLOBAL APPEND PROPERTY _KELVO_PROBLEMS
                    "${_program} must not depend on ${_library}: ${_chain}")
            endif()
        endforeach()
    endforeach()

    # Libraries only some targets may depend on.
    get_property(_reserved GLOBAL PROPERTY KELVO_LINK_RESERVED)
    foreach(_rule ${_reserved})
        string(REPLACE "=" ";" _rule "${_rule}")
        list(POP_FRONT _rule _library)
        string(REPLACE "," ";" _users "${_rule}")
        if(NOT TARGET ${_library})
            continue()
        endif()
        foreach(t ${_built})
            if(t STREQUAL _library OR t IN_LIST _users)
                continue()
            endif()
            _kelvo_walk_reach(${t} ${t} "")
            get_property(_chain GLOBAL PROPERTY _KELVO_REACH_${t}_${_library})
            if(_chain)
                set_property(GLOBAL APPEND PROPERTY _KELVO_PROBLEMS
                    "only ${_users} may depend on ${_library}: ${_chain}")
            endif()
        endforeach()
    endforeach()

    get_property(_problems GLOBAL PROPERTY _KELVO_PROBLEMS)
    if(_problems)
        list(REMOVE_DUPLICATES _problems)
        list(JOIN _problems "\n  " _text)
        message(FATAL_ERROR "The link graph breaks its rules (cmake/LinkRules.cmake):\n  ${_text}")
    endif()
endfunction()
