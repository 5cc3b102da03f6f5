# Writes a module-definition (.def) file for the target's pointer size and adds it to the
# target. Entries are "Name:ArgumentBytes:Suffix" (Suffix "@3" for an ordinal, or PRIVATE).
# 32-bit stdcall symbols carry "@bytes"; the alias keeps the exported name undecorated.
# x64 has one calling convention and no decoration, so the name stands alone.
function(velo_export_table target)
  cmake_parse_arguments(P "" "LIBRARY" "ENTRIES" ${ARGN})
  set(text "")
  if(P_LIBRARY)
    string(APPEND text "LIBRARY ${P_LIBRARY}\n")
  endif()
  string(APPEND text "EXPORTS\n")
  foreach(entry ${P_ENTRIES})
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 bytes)
    list(GET parts 2 suffix)
    # Names are quoted: VERSION and LIBRARY are keywords of the format.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(APPEND text "  \"${name}\" = \"${name}@${bytes}\" ${suffix}\n")
    else()
      string(APPEND text "  \"${name}\" ${suffix}\n")
    endif()
  endforeach()
  set(def "${CMAKE_CURRENT_BINARY_DIR}/${target}.def")
  file(CONFIGURE OUTPUT "${def}" CONTENT "${text}")
  target_sources(${target} PRIVATE "${def}")
endfunction()
