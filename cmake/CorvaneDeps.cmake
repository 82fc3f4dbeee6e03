# The libraries the project links against, each required by the folder that
# uses it (with corvane_require_pkg below, or find_package there). Installed
# by scripts/install-deps.

find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)

# corvane_require_pkg(PREFIX MODULE): the pkg-config MODULE as the imported
# target PkgConfig::PREFIX, visible to the whole project; a second call for
# the same PREFIX does nothing.
macro(corvane_require_pkg prefix module)
  if(NOT TARGET PkgConfig::${prefix})
    pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET GLOBAL ${module})
  endif()
endmacro()

# The window: Qt's code generators run for every target once Qt is in.
if(CORVANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets OpenGL OpenGLWidgets Test)
  set(CMAKE_AUTOMOC ON)
  set(CMAKE_AUTORCC ON)
endif()
