# What ships in dist/: the program and its three libraries, each standing alone (the C and C++ runtimes
# are linked into every binary of the Windows build, see CMakeLists.txt), each with version data of its
# own and without debug data or symbols.

# The version as the version data writes it: minor and revision with two and four digits (2.00.0024).
math(EXPR _minor "100 + ${PROJECT_VERSION_MINOR}")
math(EXPR _revision "10000 + ${PROJECT_VERSION_PATCH}")
string(SUBSTRING "${_minor}" 1 2 _minor)
string(SUBSTRING "${_revision}" 1 4 _revision)
set(WDL_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${_minor}.${_revision}")

# wdl_ship(<target> <description>): gives <target> its version data (CompanyName "Brevant Software",
# FileDescription <description>, the program's version) and links it stripped.
function(wdl_ship target description)
  get_target_property(_type ${target} TYPE)
  get_target_property(_name ${target} OUTPUT_NAME)
  if(NOT _name)
    set(_name ${target})
  endif()
  if(_type STREQUAL "EXECUTABLE")
    set(WDL_SHIP_FILE ${_name}.exe)
    set(WDL_SHIP_FILETYPE 0x1)  # VFT_APP
  else()
    set(WDL_SHIP_FILE ${_name}.dll)
    set(WDL_SHIP_FILETYPE 0x2)  # VFT_DLL
  endif()
  set(WDL_SHIP_NAME ${_name})
  set(WDL_SHIP_DESCRIPTION "${description}")
  set(_rc ${CMAKE_BINARY_DIR}/version/${_name}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/VersionInfo.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
  target_link_options(${target} PRIVATE -s)
endfunction()
