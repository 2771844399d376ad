# The local stand-in for the vendor's endpoint (endpoint.py), started before the Wine tests that send to
# it and stopped after them, with its folder endpoint/ in the build tree. Included by tests/CMakeLists.txt.
find_program(WDL_PYTHON3 NAMES python3 REQUIRED)
add_test(NAME endpoint.Start COMMAND ${WDL_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/endpoint.py start ${CMAKE_BINARY_DIR}/endpoint)
add_test(NAME endpoint.Stop COMMAND ${WDL_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/endpoint.py stop ${CMAKE_BINARY_DIR}/endpoint)
set_tests_properties(endpoint.Start PROPERTIES FIXTURES_SETUP wdl_endpoint)
set_tests_properties(endpoint.Stop PROPERTIES FIXTURES_CLEANUP wdl_endpoint)
# The Wine tests are listed only when CTest runs; this file, read by CTest after that list, makes the
# ones that talk HTTP require the endpoint.
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_CURRENT_LIST_DIR}/EndpointUsers.cmake)
