# Fails when a file anywhere under DIR includes one of the program's headers
# from a folder not in ALLOWED (folders relative to rastiv/, "/"-terminated),
# or when the folder's library links one of FORBIDDEN_LIBS (or anything but
# ONLY_LIB when that is given).  The folder is read, not the target's file
# list, so a file cannot sit in a folder without obeying the folder's rule.
# Run by ctest:
#   cmake -DDIR=... -DALLOWED=a/;b/ [-DLIBS=... -DONLY_LIB=...|-DFORBIDDEN_LIBS=...] -P check_folder.cmake
if(DEFINED ONLY_LIB AND NOT LIBS STREQUAL ONLY_LIB)
  message(FATAL_ERROR "${DIR} links ${LIBS}; it may link ${ONLY_LIB} only")
endif()
foreach(lib IN LISTS FORBIDDEN_LIBS)
  if(lib IN_LIST LIBS)
    message(FATAL_ERROR "${DIR} links ${lib}")
  endif()
endforeach()
file(GLOB_RECURSE sources "${DIR}/*.cpp" "${DIR}/*.hpp")
set(problems "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" header "${line}")
    set(ok FALSE)
    foreach(folder IN LISTS ALLOWED)
      string(FIND "${header}" "${folder}" at)
      if(at EQUAL 0)
        set(ok TRUE)
      endif()
    endforeach()
    if(NOT ok)
      list(APPEND problems "${source}: ${line}")
    endif()
  endforeach()
endforeach()
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "${DIR} includes headers from outside ${ALLOWED}:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "${DIR}: ${count} files within ${ALLOWED}")
