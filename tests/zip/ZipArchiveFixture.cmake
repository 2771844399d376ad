# Read by CTest after the Wine tests are listed (see ZipArchiveCheck.cmake): the Wine tests of vbzip10.dll
# write the archives that ZipArchivesCheck reads.
foreach(_test IN LISTS wdl_wine_tests_TESTS)
  if(_test MATCHES "^ZipDllWine\\.")
    set_tests_properties("${_test}" PROPERTIES FIXTURES_SETUP wdl_zip_archives)
  endif()
endforeach()
