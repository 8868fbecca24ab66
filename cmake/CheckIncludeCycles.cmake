# Fails when the files of src/ include each other round in a circle. A header
# and the source files of the same name are one module: "a.h" including "b.h"
# while "b.cpp" includes "a.h" is a circle too. A name's part before its first
# "_" names the module it belongs to: "form1_add.cpp" is part of "form1", and
# "pipeline_job.h" a part of "pipeline" that only its sources include. Run by CTest:
#   cmake -DSRC=<src folder> -P CheckIncludeCycles.cmake
cmake_minimum_required(VERSION 3.25)

# The module of a file or an included path (below src/, with or without the extension).
function(qm_module_of path out)
  string(REGEX REPLACE "\\.(h|cpp)$" "" path "${path}")
  string(REGEX REPLACE "^(.*/)?([^/_]+)_[^/]*$" "\\1\\2" path "${path}")
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# The modules of `src` (paths below it without the extension), and for each
# module M the modules it includes, in the variable uses_<M> of the caller.
function(qm_module_graph src out_modules)
  file(GLOB_RECURSE files RELATIVE ${src} ${src}/*.h ${src}/*.cpp)
  set(modules "")
  foreach(file IN LISTS files)
    qm_module_of("${file}" module)
    list(APPEND modules ${module})
    file(STRINGS ${src}/${file} lines REGEX "^#include \"[a-z0-9_/]+\\.h\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^#include \"([a-z0-9_/]+\\.h)\".*" "\\1" header "${line}")
      qm_module_of("${header}" used)
      if(NOT used STREQUAL module AND EXISTS ${src}/${header})
        list(APPEND uses_${module} ${used})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES modules)
  foreach(module IN LISTS modules)
    if(DEFINED uses_${module})
      list(REMOVE_DUPLICATES uses_${module})
      set(uses_${module} "${uses_${module}}" PARENT_SCOPE)
    endif()
  endforeach()
  set(${out_modules} "${modules}" PARENT_SCOPE)
endfunction()

get_filename_component(SRC "${SRC}" ABSOLUTE)
qm_module_graph(${SRC} modules)

# Modules that include nothing still left are taken away until none is: what
# remains lies on a circle or leads into one.
set(left "${modules}")
set(changed TRUE)
while(changed)
  set(changed FALSE)
  set(next "")
  foreach(module IN LISTS left)
    set(open FALSE)
    foreach(used IN LISTS uses_${module})
      if(used IN_LIST left)
        set(open TRUE)
        break()
      endif()
    endforeach()
    if(open)
      list(APPEND next ${module})
    else()
      set(changed TRUE)
    endif()
  endforeach()
  set(left "${next}")
endwhile()

if(left)
  # Walk from a module that is left, always to a module still left, until one
  # comes round again: that is a circle.
  list(GET left 0 at)
  set(path "")
  while(NOT at IN_LIST path)
    list(APPEND path ${at})
    foreach(used IN LISTS uses_${at})
      if(used IN_LIST left)
        set(at ${used})
        break()
      endif()
    endforeach()
  endwhile()
  list(FIND path ${at} first)
  list(SUBLIST path ${first} -1 circle)
  list(APPEND circle ${at})
  list(JOIN circle " -> " shown)
  message(FATAL_ERROR "Files of src/ include each other in a circle: ${shown}")
endif()
message(STATUS "No files of src/ include each other in a circle")
