# The coding libraries that scripts/deps.sh builds from Debian's sources into a cache outside the work
# tree, as imported targets:
#   quill::mp3lame     libmp3lame (MP3 encoding)
#   quill::avcodec     libavcodec (MPEG-4 part 2, DV, MPEG-1/2 video and audio, Windows Media coders), libavutil
#   quill::avformat    libavformat with the MPEG-1 system, MPEG-2 program-stream and ASF writers
#   quill::swscale     libswscale (picture scaling);  quill::swresample  libswresample (sound resampling)
#   quill::jpeg        libjpeg-turbo's libjpeg;  quill::turbojpeg  its TurboJPEG interface
# QUILL_DEPS_PREFIX is the cache folder of this build's arch (scripts/build.sh passes it).

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_quill_deps_arch x64)
else()
  set(_quill_deps_arch i686)
endif()
if(NOT DEFINED QUILL_DEPS_PREFIX)
  # The folder of this checkout's recipe: deps.sh keys it by the recipe, so ask it.
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/deps.sh --arch ${_quill_deps_arch} --print-prefix
                  OUTPUT_VARIABLE _quill_deps_default OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _quill_deps_rc)
  if(NOT _quill_deps_rc EQUAL 0)
    message(FATAL_ERROR "scripts/deps.sh --print-prefix failed")
  endif()
endif()
set(QUILL_DEPS_PREFIX ${_quill_deps_default} CACHE PATH "Coding libraries built by scripts/deps.sh for this arch")

# quill_import_dep(<target> <library file>... [LINK <system libs>...])
function(quill_import_dep target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "LINK")
  set(_files)
  foreach(_lib IN LISTS ARG_UNPARSED_ARGUMENTS)
    set(_file ${QUILL_DEPS_PREFIX}/lib/${_lib})
    if(NOT EXISTS ${_file})
      message(FATAL_ERROR "${_file} is missing: run scripts/deps.sh --arch ${_quill_deps_arch} "
                          "(scripts/build.sh does it), or set QUILL_DEPS_PREFIX")
    endif()
    list(APPEND _files ${_file})
  endforeach()
  list(POP_FRONT _files _first)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${_first})
  # SYSTEM: the libraries' headers are not held to our warning flags.
  target_include_directories(${target} SYSTEM INTERFACE ${QUILL_DEPS_PREFIX}/include)
  target_link_libraries(${target} INTERFACE ${_files} ${ARG_LINK})
endfunction()

quill_import_dep(quill::mp3lame libmp3lame.a)
quill_import_dep(quill::avcodec libavcodec.a libavutil.a LINK bcrypt)
quill_import_dep(quill::avformat libavformat.a LINK quill::avcodec)
quill_import_dep(quill::swscale libswscale.a LINK quill::avcodec)
quill_import_dep(quill::swresample libswresample.a LINK quill::avcodec)
quill_import_dep(quill::jpeg libjpeg.a)
quill_import_dep(quill::turbojpeg libturbojpeg.a)
