# Read by CTest after the Wine tests are listed (see EndpointFixture.cmake): the tests that send over HTTP
# need the endpoint running.
foreach(_test IN LISTS wdl_wine_tests_TESTS)
  if(_test MATCHES "^(PlatformHttpWine|ReportSubmissionWine|ReportWindowsWine)\\.|^ProgramEndToEndWine\\.(Uninstall|Removal)|^ProgramAsShippedWine\\."
     OR _test MATCHES "^FaultInjection(Submission|Program)Wine\\.")
    set_tests_properties("${_test}" PROPERTIES FIXTURES_REQUIRED wdl_endpoint)
  endif()
endforeach()
