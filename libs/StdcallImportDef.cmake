# Turns the export list ld writes for a --kill-at DLL ("TrimEx = TrimEx@8 @7") into the one
# dlltool needs for an import library that maps the decorated names callers compile against to
# the plain names the DLL exports ("TrimEx@8").
# Use: cmake -DIN=<ld def> -DOUT=<dlltool def> -DLIBRARY=<file name> -P StdcallImportDef.cmake
file(STRINGS ${IN} lines)
set(text "LIBRARY \"${LIBRARY}\"\nEXPORTS\n")
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*[A-Za-z0-9_]+[ \t]*=[ \t]*([A-Za-z0-9_]+@[0-9]+)")
        string(APPEND text "    ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^[ \t]*([A-Za-z0-9_]+@[0-9]+)")
        string(APPEND text "    ${CMAKE_MATCH_1}\n")
    endif()
endforeach()
file(WRITE ${OUT} "${text}")
