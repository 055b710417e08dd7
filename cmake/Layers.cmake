# The client's layers see only downwards. Each library's include root is a
# folder of links to exactly the source folders (or single headers) it owns;
# it passes that root on to the libraries that link it. An include that
# reaches into a higher layer therefore finds no file, and a call into one
# finds no symbol when the lower library is linked on its own.
#
#   halvory_layer(<target> <folder or header under src/>...)
#
# Platform folders are named as they are included ("ui", "winapi", ...).
set(HALVORY_PLATFORM_FOLDERS winapi ui net image text shell file trust)

function(halvory_layer target)
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  foreach(entry IN LISTS ARGN)
    string(REGEX REPLACE "/.*" "" top ${entry})
    if(top IN_LIST HALVORY_PLATFORM_FOLDERS)
      set(source ${PROJECT_SOURCE_DIR}/src/platform/${entry})
    else()
      set(source ${PROJECT_SOURCE_DIR}/src/${entry})
    endif()
    if(NOT EXISTS ${source})
      message(FATAL_ERROR "halvory_layer(${target}): no ${source}")
    endif()
    get_filename_component(parent ${root}/${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${source} ${root}/${entry} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
