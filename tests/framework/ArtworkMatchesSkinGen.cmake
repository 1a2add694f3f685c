# Draws the artwork anew with skin-gen and compares it byte for byte with the files
# committed under resources/, so a change to the drawing code cannot ship without
# its pictures (or pictures without the code that makes them).
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${SKIN_GEN} ${OUT} RESULT_VARIABLE code)
if(NOT code EQUAL 0)
    message(FATAL_ERROR "skin-gen failed (${code})")
endif()

file(GLOB drawn RELATIVE ${OUT} ${OUT}/*.bmp ${OUT}/*.ico)
file(GLOB committed RELATIVE ${RESOURCES} ${RESOURCES}/*.bmp ${RESOURCES}/*.ico)
list(SORT drawn)
list(SORT committed)
if(NOT drawn STREQUAL committed)
    message(FATAL_ERROR "skin-gen draws [${drawn}] but resources/ holds [${committed}]")
endif()
set(stale)
foreach(name ${drawn})
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${name} ${RESOURCES}/${name}
                    RESULT_VARIABLE differs)
    if(differs)
        list(APPEND stale ${name})
    endif()
endforeach()
file(REMOVE_RECURSE ${OUT})
if(stale)
    message(FATAL_ERROR "resources/ differs from what skin-gen draws now: ${stale}\n"
                        "Run build/debug/tools/skin-gen resources and commit the files.")
endif()
