# The layers of the program: each folder is a CMake target that links only the targets below it, and
# it sees only the headers of those layers. A target's include root is a folder of the build tree that
# mirrors the source tree with links to the headers the target may include, and nothing else; the
# source tree itself is not on the include path. An #include that runs upward therefore fails to
# build instead of hiding a cycle.

# The files a folder offers to the layers above: its headers and the other files that sources include
# (string-table text, resource scripts). Subfolders are separate layers and are not offered.
function(wdl_offered_files out dir)
  file(GLOB _files CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}
       ${CMAKE_SOURCE_DIR}/${dir}/*.h ${CMAKE_SOURCE_DIR}/${dir}/*.inc ${CMAKE_SOURCE_DIR}/${dir}/*.rc)
  set(${out} ${_files} PARENT_SCOPE)
endfunction()

# wdl_layer(<target> FOLDERS <folder>...): gives <target> an include root with the headers of the
# folders named (its own and those of every layer it may use), e.g. "inspection shell ui common
# platform". Folders are paths below the source root ("detection/tables").
function(wdl_layer target)
  cmake_parse_arguments(_arg "" "" "FOLDERS" ${ARGN})
  set(_root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${_root})
  foreach(_dir ${_arg_FOLDERS})
    wdl_offered_files(_files ${_dir})
    foreach(_file ${_files})
      get_filename_component(_parent ${_root}/${_file} DIRECTORY)
      file(MAKE_DIRECTORY ${_parent})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${_file} ${_root}/${_file} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} PRIVATE ${_root})
endfunction()

# The sources of a folder: every *.cpp there, but files named *Win32.cpp only in the Windows build.
function(wdl_sources out dir)
  file(GLOB _found CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(_sources)
  foreach(_f ${_found})
    if(WIN32 OR NOT _f MATCHES "Win32\\.cpp$")
      list(APPEND _sources ${_f})
    endif()
  endforeach()
  set(${out} ${_sources} PARENT_SCOPE)
endfunction()
