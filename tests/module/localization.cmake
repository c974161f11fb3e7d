# Installation language: the settings store in one process, and the language lookup in one
# process per case, since the language is fixed once a process has asked for it.
vexogeo_add_test(localization_settings_test SOURCES localization_settings_test.cpp)
vexogeo_add_test(localization_process_test SOURCES localization_process_test.cpp NO_DISCOVER)

set(VEXOGEO_LANGUAGE_CASES NoSettings MachineEnglish UserHungarianOverMachineEnglish
    UserEmptyOverMachineEnglish UserKeyWithoutValue LowerCaseEnglish EnglishWithBlank
    ConcurrentFirstCalls)
foreach(case IN LISTS VEXOGEO_LANGUAGE_CASES)
    set(hives ${CMAKE_CURRENT_BINARY_DIR}/language/${case})
    add_test(NAME LanguageProcess.${case}
        COMMAND localization_process_test --gtest_filter=LanguageProcess.${case})
    # A filter that selects nothing, or a skipped case, must not count as a pass.
    set_tests_properties(LanguageProcess.${case} PROPERTIES
        ENVIRONMENT "XDG_CONFIG_HOME=${hives}/user;XDG_CONFIG_DIRS=${hives}/machine;LC_ALL=C.UTF-8"
        FAIL_REGULAR_EXPRESSION "\\[  PASSED  \\] 0 tests")
endforeach()
