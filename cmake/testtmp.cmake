# cmake -DMODE=prepare|clean -DDIR=<folder> -DNAMES=<test,test,...> -P testtmp.cmake
# prepare: one empty folder per test under DIR. clean: fails, naming what is left, when a
# test left anything in its folder; removes DIR when all are empty.
string(REPLACE "," ";" NAMES "${NAMES}")
if(MODE STREQUAL "prepare")
    file(REMOVE_RECURSE "${DIR}")
    foreach(name IN LISTS NAMES)
        file(MAKE_DIRECTORY "${DIR}/${name}")
    endforeach()
    return()
endif()

set(left "")
foreach(name IN LISTS NAMES)
    file(GLOB entries LIST_DIRECTORIES true RELATIVE "${DIR}" "${DIR}/${name}/*" "${DIR}/${name}/.*")
    list(APPEND left ${entries})
endforeach()
if(left)
    list(JOIN left "\n  " text)
    message(FATAL_ERROR "left behind in the temporary folders of the tests (${DIR}):\n  ${text}")
endif()
file(REMOVE_RECURSE "${DIR}")
message(STATUS "no test left anything in its temporary folder")
