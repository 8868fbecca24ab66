# Fails when a folder of src/ includes a header of a folder it may not depend
# on, or a Qt Widgets header outside the two folders that may use Widgets.
# Run by CTest:
#   cmake -DSRC=<src folder> -DWIDGETS=<the QtWidgets include folder> -P CheckLayers.cmake
# platform/gui is a layer of its own: the Widgets implementations of the
# platform services, which only app/ may use. Without WIDGETS the Widgets
# headers are not checked.
#
# The layers, bottom up (each may include itself and what is listed):
cmake_minimum_required(VERSION 3.25)
set(allowed_text "")
set(allowed_fs "text")
set(allowed_platform "text")
set(allowed_platform/gui "platform;text")
set(allowed_extraction "platform;fs;text")
set(allowed_terms "platform;fs;text")
set(allowed_filelist "platform;fs;text")
set(allowed_results "platform;fs;text")
set(allowed_search "extraction;terms;platform;fs;text")
# preview: a page rendered and its words found, for the window to show.
set(allowed_preview "search;extraction;terms;platform;fs;text")
# words: what both faces (app, cli) say; nothing below them may use it.
set(allowed_words "search;extraction;fs")
set(allowed_cli "words;search;results;filelist;terms;extraction;platform;fs;text")
set(allowed_app "words;preview;search;results;filelist;terms;extraction;platform/gui;platform;fs;text")
# The folders that may include Qt Widgets headers.
set(widgets_users "app;platform/gui")

set(widgets_headers "")
if(WIDGETS)
  file(GLOB widgets_headers RELATIVE ${WIDGETS} ${WIDGETS}/Q*)
endif()

# The layer of a path below src/ ("platform/gui/x.h" -> "platform/gui").
function(layer_of path out)
  if(path MATCHES "^platform/gui/")
    set(${out} "platform/gui" PARENT_SCOPE)
  else()
    string(REGEX REPLACE "/.*" "" top "${path}")
    set(${out} "${top}" PARENT_SCOPE)
  endif()
endfunction()

set(failures "")
file(GLOB folders RELATIVE ${SRC} ${SRC}/*)
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY ${SRC}/${folder})
    continue()
  endif()
  if(NOT DEFINED allowed_${folder})
    string(APPEND failures "src/${folder}: a folder without a place in the layers\n")
    continue()
  endif()
  file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/${folder}/*.h ${SRC}/${folder}/*.cpp)
  foreach(rel IN LISTS sources)
    layer_of("${rel}" layer)
    file(STRINGS ${SRC}/${rel} includes REGEX "^#include [\"<]")
    foreach(line IN LISTS includes)
      if(line MATCHES "^#include \"([a-z]+/.*)\"")
        layer_of("${CMAKE_MATCH_1}" target)
        if(NOT target STREQUAL layer AND NOT target IN_LIST allowed_${layer})
          string(APPEND failures "src/${rel}: ${line} (${layer} may not use ${target})\n")
        endif()
      elseif(line MATCHES "^#include <(QtWidgets/)?([A-Za-z]+)>")
        if((CMAKE_MATCH_1 OR CMAKE_MATCH_2 IN_LIST widgets_headers)
           AND NOT layer IN_LIST widgets_users)
          string(APPEND failures "src/${rel}: ${line} (${layer} may not use Qt Widgets)\n")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "Layer violations:\n${failures}")
endif()
message(STATUS "Every folder of src/ keeps to its layer")
