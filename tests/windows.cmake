# The suite on Windows (cross-compiled, run under Wine). Test files and folders that exercise
# POSIX mechanisms are not built; each becomes a disabled test labelled posix-only, so that
# ctest lists it among the tests that did not run, and its reason is written to
# posix_only_tests.txt in the build folder, which scripts/build-windows prints after the run.
# Their Windows counterparts are in tests/windows/.

# MinGW's <cmath> defines M_PI only when asked in strict ISO mode.
add_compile_definitions(_USE_MATH_DEFINES)

set(VEXOGEO_POSIX_ONLY_LIST ${PROJECT_BINARY_DIR}/posix_only_tests.txt)
file(WRITE ${VEXOGEO_POSIX_ONLY_LIST} "")

# vexogeo_posix_only(NAME REASON): records one test file or folder left out on Windows.
function(vexogeo_posix_only name reason)
    add_test(NAME posix-only.${name} COMMAND ${CMAKE_COMMAND} -E echo "${reason}")
    set_tests_properties(posix-only.${name} PROPERTIES LABELS posix-only DISABLED TRUE)
    # Called from other folders too (fuzz/), where this folder's variables are not seen.
    file(APPEND ${PROJECT_BINARY_DIR}/posix_only_tests.txt "${name}: ${reason}\n")
endfunction()

# Test files (relative to tests/) built only on POSIX, with the reason.
set(VEXOGEO_POSIX_ONLY_SOURCES
    "crs/oracle_test.cpp=runs cs2cs, a Linux program, through popen, the Windows tool is compared with the Linux tool instead"
    "geodesic/geodesic_oracle_test.cpp=runs GeodSolve, Planimeter and cs2cs, Linux programs, through popen (Karney's exact geodesics in geodesic_test.cpp run under Wine)"
    "xml/culture_test.cpp=one process per language through the XDG folders and a localedef locale, tests/windows reads the language from the registry and takes the code page from LC_ALL"
    "xml/xml_concurrency_test.cpp=expects the UTF-8 code page that LC_ALL=C gives on POSIX, Wine's ANSI code page is 1252 (its saves and loads passed under Wine apart from that)"
    "xml/serializer_test.cpp=named pipes, /dev/zero and file privileges, tests/windows covers the writer's refusals")

# Removes the POSIX-only files from the list named `sources_var`, recording each once.
function(vexogeo_drop_posix_only_sources sources_var)
    set(kept)
    foreach(source ${${sources_var}})
        file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR}/${source})
        set(dropped FALSE)
        foreach(entry ${VEXOGEO_POSIX_ONLY_SOURCES})
            string(FIND "${entry}" "=" split)
            string(SUBSTRING "${entry}" 0 ${split} file)
            if(file STREQUAL relative)
                math(EXPR split "${split} + 1")
                string(SUBSTRING "${entry}" ${split} -1 reason)
                string(REPLACE "/" "." name ${relative})
                vexogeo_posix_only(${name} "${reason}")
                set(dropped TRUE)
            endif()
        endforeach()
        if(NOT dropped)
            list(APPEND kept ${source})
        endif()
    endforeach()
    set(${sources_var} ${kept} PARENT_SCOPE)
endfunction()
