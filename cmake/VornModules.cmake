# One static library per module folder of src/, linked in one direction only.
#
# Every module gets its own include root in the build tree holding links to its own headers
# and nothing else. A module sees another module's headers only through the include roots of
# the modules it links, so an include against the direction fails to compile, while includes
# keep their "module/file.h" form.
#
# The dependency table is also written out for the include-direction test, which reads every
# header and source (headers are otherwise only checked from whichever module includes them).

set(VORN_MODULE_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/module_include)
set(VORN_MODULE_TABLE ${CMAKE_BINARY_DIR}/module_table.cmake)
file(WRITE ${VORN_MODULE_TABLE} "# Written by CMake: each module folder and the folders it may include.\n")
set_property(GLOBAL PROPERTY VORN_MODULE_FOLDERS "")

# The folder of src/ a module target builds: vorn_gaps_ui -> gaps/ui.
function(_vorn_module_folder target out)
  get_property(folder GLOBAL PROPERTY VORN_FOLDER_OF_${target})
  set(${out} ${folder} PARENT_SCOPE)
endfunction()

# vorn_module(<target> <folder> [QT] DEPENDS <module targets>... [LIBRARIES <other targets>...])
#   folder: "gaps" takes src/gaps and its subfolders except ui/; "gaps/ui" takes src/gaps/ui.
function(vorn_module target folder)
  cmake_parse_arguments(ARG "QT" "" "DEPENDS;LIBRARIES" ${ARGN})
  set(dir ${CMAKE_SOURCE_DIR}/src/${folder})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${dir}/*.h)
  if(NOT folder MATCHES "/ui$")
    list(FILTER sources EXCLUDE REGEX "/src/${folder}/ui/")
    list(FILTER headers EXCLUDE REGEX "/src/${folder}/ui/")
  endif()

  # Links rebuilt at every configure, so moved or deleted headers leave nothing behind.
  set(root ${VORN_MODULE_INCLUDE_ROOT}/${target})
  file(REMOVE_RECURSE ${root})
  foreach(header IN LISTS headers)
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR}/src ${header})
    get_filename_component(parent ${root}/${relative} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${header} ${root}/${relative} SYMBOLIC)
  endforeach()
  file(MAKE_DIRECTORY ${root})

  add_library(${target} STATIC ${sources} ${headers})
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} ${ARG_LIBRARIES})
  if(ARG_QT)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    target_link_libraries(${target} PUBLIC Qt6::Widgets)
  endif()

  # The folders this module may include: its own and those of everything it links.
  set(allowed ${folder})
  foreach(dependency IN LISTS ARG_DEPENDS)
    get_property(reach GLOBAL PROPERTY VORN_REACH_OF_${dependency})
    if(NOT reach)
      message(FATAL_ERROR "${target}: ${dependency} is not a module defined before it")
    endif()
    list(APPEND allowed ${reach})
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  set_property(GLOBAL PROPERTY VORN_FOLDER_OF_${target} ${folder})
  set_property(GLOBAL PROPERTY VORN_REACH_OF_${target} ${allowed})
  set_property(GLOBAL APPEND PROPERTY VORN_MODULE_FOLDERS ${folder})
  file(APPEND ${VORN_MODULE_TABLE} "set(\"VORN_ALLOWED_${folder}\" \"${allowed}\")\n")
endfunction()

# Called once every module is defined: the list of module folders, for the test.
function(vorn_module_table_done)
  get_property(folders GLOBAL PROPERTY VORN_MODULE_FOLDERS)
  file(APPEND ${VORN_MODULE_TABLE} "set(VORN_MODULE_FOLDERS \"${folders}\")\n")
endfunction()
