# Every library the project links against. Installed by scripts/install-deps.

find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
find_package(GTest REQUIRED)
include(GoogleTest)

pkg_check_modules(AVCODEC REQUIRED IMPORTED_TARGET libavcodec)
pkg_check_modules(AVFORMAT REQUIRED IMPORTED_TARGET libavformat)
pkg_check_modules(AVUTIL REQUIRED IMPORTED_TARGET libavutil)
pkg_check_modules(SWSCALE REQUIRED IMPORTED_TARGET libswscale)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(TINYXML2 REQUIRED IMPORTED_TARGET tinyxml2)

if(CORVANE_BENCH)
  find_package(benchmark REQUIRED)
endif()

if(CORVANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets OpenGL OpenGLWidgets Test)
  set(CMAKE_AUTOMOC ON)
  set(CMAKE_AUTORCC ON)
endif()
