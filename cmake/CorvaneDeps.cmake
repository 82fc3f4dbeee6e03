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
  # The map view: a web page with a script bridge, and the map library.
  find_package(Qt6 REQUIRED COMPONENTS WebEngineWidgets WebChannel)
  set(CORVANE_LEAFLET_DIR /usr/share/javascript/leaflet CACHE PATH "Leaflet's files (leaflet.js, leaflet.css, images/)")
  foreach(f leaflet.js leaflet.css images/layers.png images/layers-2x.png images/marker-icon.png
            images/marker-icon-2x.png images/marker-shadow.png)
    if(NOT EXISTS ${CORVANE_LEAFLET_DIR}/${f})
      message(FATAL_ERROR "Leaflet's ${f} is missing in ${CORVANE_LEAFLET_DIR} (package libjs-leaflet)")
    endif()
  endforeach()
  set(CMAKE_AUTOMOC ON)
  set(CMAKE_AUTORCC ON)
endif()
