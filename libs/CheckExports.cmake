# Checks that a DLL exports exactly the given names, undecorated: callers find the operations
# by these names, so "TrimEx@8" or a missing name breaks them at load time.
# Use: cmake -DOBJDUMP=<objdump> -DDLL=<file> -DNAMES=<a,b,...> -P CheckExports.cmake
# objdump speaks the locale's language; the table is looked for by its English heading.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C LANGUAGE=C ${OBJDUMP} -p ${DLL}
                OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${DLL}")
endif()
# Brackets would confuse CMake's lists; the name table's lines read "<   3> TrimEx" then.
string(REPLACE "[" "<" dump "${dump}")
string(REPLACE "]" ">" dump "${dump}")
string(REPLACE ";" "," dump "${dump}")
string(REGEX MATCHALL "[^\n]+" lines "${dump}")
set(found "")
set(in_table FALSE)
foreach(line IN LISTS lines)
    if(line MATCHES "<Ordinal/Name Pointer> Table")
        set(in_table TRUE)
    elseif(in_table AND line MATCHES "^[ \t]+<[ 0-9]+>[ \t]+([^ \t]+)$")
        list(APPEND found ${CMAKE_MATCH_1})
    elseif(in_table)
        break()
    endif()
endforeach()
string(REPLACE "," ";" expected "${NAMES}")
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
    message(FATAL_ERROR "${DLL} exports\n  ${found}\nexpected\n  ${expected}")
endif()
list(LENGTH found count)
message(STATUS "${DLL}: ${count} undecorated exports")
