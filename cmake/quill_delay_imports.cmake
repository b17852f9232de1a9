# System DLLs that only something a user asks for later needs (the file, colour and font dialogs, the
# default printer): linked through delay-import libraries, so that each DLL is loaded when one of its
# functions is first called instead of before main, with the DLLs it pulls in (winspool's print
# support, comdlg32's shell).
#
# quill_delay_import(<library> <dll>) makes an imported target named <library> whose file is a
# delay-import library built from the toolchain's own import library, so that every
# target_link_libraries(... <library>) in the tree links it in place of the plain import.

find_program(QUILL_NM NAMES ${QUILL_MINGW_TRIPLE}-nm REQUIRED)
find_program(QUILL_DLLTOOL NAMES ${QUILL_MINGW_TRIPLE}-dlltool REQUIRED)

function(quill_delay_import library dll)
  find_library(QUILL_IMPORT_${library} NAMES lib${library}.a REQUIRED)
  set(_import ${QUILL_IMPORT_${library}})
  set(_dir ${CMAKE_BINARY_DIR}/delay-imports)
  set(_def ${_dir}/${library}.def)
  set(_lib ${_dir}/libdelay_${library}.a)
  file(MAKE_DIRECTORY ${_dir})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_import})
  # The exported names, from the import library's __imp_ symbols (32-bit ones keep their @N: the
  # stdcall names the callers link against; --kill-at imports them by the plain name).
  execute_process(COMMAND ${QUILL_NM} ${_import} OUTPUT_VARIABLE _symbols RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "cannot list the exports of ${_import}")
  endif()
  string(REGEX MATCHALL " I __imp_[^\r\n]+" _imports "${_symbols}")
  set(_exports "")
  foreach(_symbol IN LISTS _imports)
    string(REGEX REPLACE "^ I __imp_" "" _name "${_symbol}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "^_" "" _name "${_name}")
    endif()
    string(APPEND _exports "${_name}\n")
  endforeach()
  if(_exports STREQUAL "")
    message(FATAL_ERROR "no exports found in ${_import}")
  endif()
  # Written only when it changed, so that the library is made again only then.
  set(_content "LIBRARY ${dll}\nEXPORTS\n${_exports}")
  set(_old "")
  if(EXISTS ${_def})
    file(READ ${_def} _old)
  endif()
  if(NOT _old STREQUAL _content)
    file(WRITE ${_def} "${_content}")
  endif()
  if(${_def} IS_NEWER_THAN ${_lib})
    set(_kill "")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(_kill --kill-at)
    endif()
    execute_process(COMMAND ${QUILL_DLLTOOL} ${_kill} --input-def ${_def} --dllname ${dll} --output-delaylib ${_lib}
                    RESULT_VARIABLE _rc)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "cannot make the delay-import library of ${dll}")
    endif()
  endif()
  add_library(${library} STATIC IMPORTED GLOBAL)
  set_target_properties(${library} PROPERTIES IMPORTED_LOCATION ${_lib})
endfunction()

quill_delay_import(comdlg32 comdlg32.dll)
quill_delay_import(winspool winspool.drv)
