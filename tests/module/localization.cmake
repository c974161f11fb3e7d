# Installation language: the settings store in one process, and the language lookup in one
# process per case, since the language is fixed once a process has asked for it.
vexogeo_add_test(localization_settings_test SOURCES localization_settings_test.cpp LIBS GTest::gmock
    LABELS unit)
vexogeo_add_test(localization_process_test SOURCES localization_process_test.cpp LIBS GTest::gmock
    NO_DISCOVER)

# One case per line of the table, named by its first field.
set(languages ${PROJECT_SOURCE_DIR}/tests/data/module/languages.tsv)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${languages})
file(STRINGS ${languages} cases REGEX "^[^#]")
list(TRANSFORM cases REPLACE "\t.*" "")
foreach(case ${cases})
    set(hives ${CMAKE_CURRENT_BINARY_DIR}/language/${case})
    add_test(NAME LanguageProcess.${case} COMMAND localization_process_test)
    set_tests_properties(LanguageProcess.${case} PROPERTIES ENVIRONMENT
        "VEXOGEO_LANGUAGE_CASE=${case};XDG_CONFIG_HOME=${hives}/user;XDG_CONFIG_DIRS=${hives}/machine;LC_ALL=C.UTF-8"
        LABELS unit)
endforeach()
