# cmake -DZIP=<zip> -DDIR=<folder> -P UnpackRelease.cmake: the release zip's files in a fresh
# folder, for the tests that run the install scripts on them.
if(NOT EXISTS "${ZIP}")
    message(FATAL_ERROR "No release zip ${ZIP}: make it first with "
                        "cmake --build --preset win32 --target package")
endif()
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${DIR}")
