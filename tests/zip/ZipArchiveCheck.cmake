# The archives of vbzip10.dll: its Wine tests (ZipDllWine.*) leave them in zip-archives/ of the build
# tree, and check_archives.py tests them afterwards with Info-ZIP's unzip and Python's zipfile, which a
# Windows program under Wine cannot start. Included by tests/CMakeLists.txt after the Wine tests.
add_dependencies(wdl_wine_tests vbzip10)
find_program(WDL_PYTHON3 NAMES python3 REQUIRED)
add_test(NAME ZipArchivesCheck
         COMMAND ${WDL_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/check_archives.py ${CMAKE_BINARY_DIR}/zip-archives)
set_tests_properties(ZipArchivesCheck PROPERTIES FIXTURES_REQUIRED wdl_zip_archives)
# The Wine tests are listed only when CTest runs; this file, read by CTest after that list, makes the
# zip library's ones the fixture that the check requires, so that they always run first.
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_CURRENT_LIST_DIR}/ZipArchiveFixture.cmake)
