# Each folder is a library that names the libraries it may use, and the build holds it to that
# twice over:
#  - a layer check links every object of one library with only those, so a call into a library
#    it does not name (say, from render/ into scene/) fails instead of linking by luck;
#  - an include check fails when one of its files includes a header of a project folder it may
#    not use, even when nothing from that header is called. What it may use is its own folder
#    and the folders of the libraries it links and, through those, of what they pass on
#    (PUBLIC); a PRIVATE dependency is not passed on, so a layer above cannot skip it.
set(VEXAROND_LAYER_MAIN ${CMAKE_CURRENT_LIST_DIR}/layer_check.cpp)
set(VEXAROND_INCLUDE_CHECK ${CMAKE_CURRENT_LIST_DIR}/include_check.cmake)

function(vexarond_layer_check library)
  set(check ${library}_layer_check)
  add_executable(${check} ${VEXAROND_LAYER_MAIN})
  target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>")
  if(MINGW)
    target_link_options(${check} PRIVATE -static)
  endif()
  set_property(GLOBAL APPEND PROPERTY VEXAROND_LAYERS ${library})
endfunction()

# The project folder of a library: its source folder relative to the top.
function(vexarond_folder_of library out)
  get_target_property(dir ${library} SOURCE_DIR)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${dir})
  set(${out} ${folder} PARENT_SCOPE)
endfunction()

# The project libraries that `library` passes on to whoever links it, recursively.
function(vexarond_passed_on library out)
  set(found "")
  get_target_property(links ${library} INTERFACE_LINK_LIBRARIES)
  foreach(link IN LISTS links)
    get_property(layers GLOBAL PROPERTY VEXAROND_LAYERS)
    if(link IN_LIST layers)
      vexarond_passed_on(${link} more)
      list(APPEND found ${link} ${more})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES found)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Called once every library is defined: one include check a library, run before it is built.
function(vexarond_include_checks)
  get_property(layers GLOBAL PROPERTY VEXAROND_LAYERS)
  set(folders "")
  foreach(layer IN LISTS layers)
    vexarond_folder_of(${layer} folder)
    list(APPEND folders ${folder})
  endforeach()
  list(APPEND folders app toolwindows win32 cli bench tests fuzz)
  list(REMOVE_DUPLICATES folders)
  foreach(layer IN LISTS layers)
    vexarond_folder_of(${layer} own)
    set(allowed ${own})
    get_target_property(links ${layer} LINK_LIBRARIES)
    foreach(link IN LISTS links)
      if(link IN_LIST layers)
        vexarond_passed_on(${link} more)
        foreach(used IN LISTS link more)
          vexarond_folder_of(${used} folder)
          list(APPEND allowed ${folder})
        endforeach()
      endif()
    endforeach()
    list(REMOVE_DUPLICATES allowed)
    get_target_property(dir ${layer} SOURCE_DIR)
    get_target_property(sources ${layer} SOURCES)
    file(GLOB headers ${dir}/*.h)
    set(files ${headers})
    foreach(source IN LISTS sources)
      if(source MATCHES "\\.(cpp|h)$")
        if(NOT IS_ABSOLUTE ${source})
          set(source ${dir}/${source})
        endif()
        list(APPEND files ${source})
      endif()
    endforeach()
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/include-check/${layer}.stamp)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} "-DFILES=${files}" "-DFOLDERS=${folders}" "-DALLOWED=${allowed}"
              -DSTAMP=${stamp} -P ${VEXAROND_INCLUDE_CHECK}
      DEPENDS ${files} ${VEXAROND_INCLUDE_CHECK}
      COMMENT "Checking the includes of ${layer}" VERBATIM)
    add_custom_target(${layer}_include_check DEPENDS ${stamp})
    add_dependencies(${layer} ${layer}_include_check)
  endforeach()
endfunction()
