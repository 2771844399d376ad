# The layers of the program: each folder is a CMake target that links only the targets below it, and
# it sees only the headers of those layers. A target's include root is a folder of the build tree that
# mirrors the source tree with links to the headers the target may include, and nothing else; the
# source tree itself is not on the include path. The target's own sources are compiled through links
# in that root too, so that an #include spelled relative to the including file ("../report/CL.h")
# resolves inside the root as well. An #include that runs upward therefore fails to build, in either
# spelling, instead of hiding a cycle.

# The files a folder offers to the layers above: its headers and the other files that sources include
# (string-table text, resource scripts). Subfolders are separate layers and are not offered.
function(wdl_offered_files out dir)
  file(GLOB _files CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}
       ${CMAKE_SOURCE_DIR}/${dir}/*.h ${CMAKE_SOURCE_DIR}/${dir}/*.inc ${CMAKE_SOURCE_DIR}/${dir}/*.rc)
  set(${out} ${_files} PARENT_SCOPE)
endfunction()

# Links ${root}/<file> to the source tree's <file> (a path below the source root).
function(wdl_link_into root file)
  get_filename_component(_parent ${root}/${file} DIRECTORY)
  file(MAKE_DIRECTORY ${_parent})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${file} ${root}/${file} SYMBOLIC)
endfunction()

# wdl_layer(<target> FOLDERS <folder>... [FILES <file>...]): gives <target> an include root with the
# headers of the folders named (its own and those of every layer it may use), e.g. "inspection shell ui
# common platform", and the single headers named under FILES. Folders and files are paths below the
# source root ("detection/tables", "platform/Win32Handle.h"). Call it after the target's C++ sources are
# added: they are then compiled from their links in the root.
function(wdl_layer target)
  cmake_parse_arguments(_arg "" "" "FOLDERS;FILES" ${ARGN})
  set(_root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${_root})
  foreach(_dir ${_arg_FOLDERS})
    wdl_offered_files(_files ${_dir})
    foreach(_file ${_files})
      wdl_link_into(${_root} ${_file})
    endforeach()
  endforeach()
  foreach(_file ${_arg_FILES})
    wdl_link_into(${_root} ${_file})
  endforeach()
  # A quoted #include looks first in the including file's own folder: for a source in the source tree
  # that folder's neighbours are every layer. Compiled from the root, its neighbours are those above.
  get_target_property(_sources ${target} SOURCES)
  get_target_property(_dir ${target} SOURCE_DIR)
  set(_rooted)
  foreach(_source ${_sources})
    get_filename_component(_path ${_source} ABSOLUTE BASE_DIR ${_dir})
    file(RELATIVE_PATH _file ${CMAKE_SOURCE_DIR} ${_path})
    if(_path MATCHES "\\.cpp$" AND NOT _file MATCHES "^\\.\\./")
      wdl_link_into(${_root} ${_file})
      list(APPEND _rooted ${_root}/${_file})
    else()
      list(APPEND _rooted ${_source})  # resource scripts and export lists stay where they are
    endif()
  endforeach()
  set_property(TARGET ${target} PROPERTY SOURCES ${_rooted})
  target_include_directories(${target} PRIVATE ${_root})
endfunction()

# The folder from which <target> compiles the sources of <folder> (a path below the source root).
function(wdl_layer_source_folder out target folder)
  set(${out} ${CMAKE_BINARY_DIR}/layers/${target}/${folder} PARENT_SCOPE)
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
