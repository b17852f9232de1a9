# The pictures of the program's image lists, made at build time from the Tango icon theme (Debian's
# tango-icon-theme, public domain, installed by scripts/setup.sh): cmake/icon_strips.py turns the
# pictures that ui/pictures.txt names into one 32-bit BMP strip per image list and writes
# generated/ui/ui_pictures.rc in the build folder, which ui/ui_texts.rc includes. Nothing converted is
# kept in the source tree.
#
# quill_use_pictures(<target>)
#   Lets <target>'s resources include "ui/ui_pictures.rc" (builds the strips first).

set(QUILL_ICON_THEME_DIR /usr/share/icons/Tango CACHE PATH "Icon theme whose PNG pictures the image lists take")
if(NOT EXISTS ${QUILL_ICON_THEME_DIR}/22x22)
  message(FATAL_ERROR "No icon theme at ${QUILL_ICON_THEME_DIR}: install tango-icon-theme (scripts/setup.sh)")
endif()
# Debian's own Python first: a version manager's shim may answer for no version in this folder.
find_program(QUILL_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(QUILL_PYTHON3 NAMES python3 REQUIRED)

set(QUILL_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
set(_quill_picture_list ${PROJECT_SOURCE_DIR}/ui/pictures.txt)
set(_quill_picture_script ${PROJECT_SOURCE_DIR}/cmake/icon_strips.py)
# The strips' file names, from the "list" lines.
file(STRINGS ${_quill_picture_list} _quill_picture_lines REGEX "^list ")
set(QUILL_PICTURE_OUTPUTS ${QUILL_GENERATED_DIR}/ui/ui_pictures.rc)
foreach(_line IN LISTS _quill_picture_lines)
  string(REGEX REPLACE "^list +[^ ]+ +([^ ]+) .*" "\\1" _file "${_line}")
  list(APPEND QUILL_PICTURE_OUTPUTS ${QUILL_GENERATED_DIR}/ui/${_file}.bmp)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_quill_picture_list})

add_custom_command(OUTPUT ${QUILL_PICTURE_OUTPUTS}
                   COMMAND ${QUILL_PYTHON3} ${_quill_picture_script} ${_quill_picture_list} ${QUILL_ICON_THEME_DIR}
                           ${QUILL_GENERATED_DIR}
                   DEPENDS ${_quill_picture_list} ${_quill_picture_script}
                   COMMENT "Making the image lists' pictures from ${QUILL_ICON_THEME_DIR}" VERBATIM)
add_custom_target(quill_pictures DEPENDS ${QUILL_PICTURE_OUTPUTS})
# Every resource script is compiled again when the pictures change (see quill_rc_depends).
list(APPEND QUILL_RESOURCE_INPUTS ${QUILL_PICTURE_OUTPUTS})

function(quill_use_pictures target)
  add_dependencies(${target} quill_pictures)
  target_include_directories(${target} PUBLIC ${QUILL_GENERATED_DIR})
endfunction()
