# Each folder is a library that names the libraries it may use. A layer check links every
# object of one library with only those, so a call into a library it does not name (say, from
# render/ into scene/) fails the build instead of linking by luck in the final program.
set(VEXAROND_LAYER_MAIN ${CMAKE_CURRENT_LIST_DIR}/layer_check.cpp)

function(vexarond_layer_check library)
  set(check ${library}_layer_check)
  add_executable(${check} ${VEXAROND_LAYER_MAIN})
  target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>")
  if(MINGW)
    target_link_options(${check} PRIVATE -static)
  endif()
endfunction()
