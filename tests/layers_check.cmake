# Runs cmake/CheckLayers.cmake on small src/ trees and fails unless it refuses
# every tree that breaks a rule (naming the file) and passes the one that keeps them.
#   cmake -DCHECK=<CheckLayers.cmake> -DWIDGETS=<QtWidgets include folder> -DWORK=<scratch> -P layers_check.cmake
cmake_minimum_required(VERSION 3.25)

# Each case: a name, the file written below src/, its include line, and the
# text the refusal must hold ("" for a tree the check must pass).
set(cases
  "app-uses-cli|app/a.cpp|#include \"cli/cliopts.h\"|src/app/a.cpp: #include \"cli/cliopts.h\" (app may not use cli)"
  "engine-uses-gui|extraction/a.cpp|#include \"platform/gui/qt_services.h\"|(extraction may not use platform/gui)"
  "platform-uses-gui|platform/a.h|#include \"platform/gui/qt_services.h\"|(platform may not use platform/gui)"
  "cli-uses-gui|cli/a.cpp|#include \"platform/gui/qt_services.h\"|(cli may not use platform/gui)"
  "gui-uses-fs|platform/gui/a.cpp|#include \"fs/fs.h\"|(platform/gui may not use fs)"
  "engine-widgets|results/a.cpp|#include <QWidget>|(results may not use Qt Widgets)"
  "platform-widgets|platform/a.cpp|#include <QtWidgets/QLabel>|(platform may not use Qt Widgets)"
  "cli-widgets|cli/a.cpp|#include <QApplication>|(cli may not use Qt Widgets)"
  "app-uses-gui|app/a.cpp|#include \"platform/gui/qt_services.h\"|"
  "gui-widgets|platform/gui/a.cpp|#include <QDialog>|"
  "engine-core|results/a.cpp|#include <QAbstractTableModel>|"
  "terms-uses-platform|terms/a.cpp|#include \"platform/services.h\"|"
)
set(failed "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 file)
  list(GET fields 2 include)
  list(LENGTH fields n)
  set(expected "")
  if(n GREATER 3)
    list(GET fields 3 expected)
  endif()
  set(src ${WORK}/${name}/src)
  file(REMOVE_RECURSE ${WORK}/${name})
  foreach(folder text fs platform platform/gui extraction terms filelist results search cli app)
    file(MAKE_DIRECTORY ${src}/${folder})
  endforeach()
  file(WRITE ${src}/${file} "${include}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${src} -DWIDGETS=${WIDGETS} -P ${CHECK}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # CMake wraps the lines of an error message: compare with every run of white
  # space as one blank.
  string(REGEX REPLACE "[ \n]+" " " flat "${err}")
  string(FIND "${flat}" "${expected}" at)
  if(expected STREQUAL "" AND NOT result EQUAL 0)
    string(APPEND failed "${name}: refused a tree that keeps the rules:\n${err}\n")
  elseif(NOT expected STREQUAL "" AND (result EQUAL 0 OR at LESS 0))
    string(APPEND failed "${name}: did not refuse with \"${expected}\":\n${err}\n")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "${failed}")
endif()
message(STATUS "The layer check refuses every broken tree and passes the others")
