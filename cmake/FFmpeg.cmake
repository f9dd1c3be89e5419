# FFmpeg's libraries (Debian: libavformat-dev, libavcodec-dev, libavutil-dev,
# libswscale-dev, libswresample-dev), found through pkg-config as one
# imported target, zoetra::ffmpeg. Where they are missing (a Windows build
# without them) the target is absent and what needs it is left out with a
# message.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(FFMPEG IMPORTED_TARGET GLOBAL libavformat libavcodec libavutil libswscale libswresample)
endif()
if(TARGET PkgConfig::FFMPEG)
    add_library(zoetra::ffmpeg ALIAS PkgConfig::FFMPEG)
else()
    message(STATUS "FFmpeg's libraries not found: video import and the GIF preview are not built")
endif()
