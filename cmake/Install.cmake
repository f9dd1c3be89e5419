# cmake --install: the Linux layout of an installed application, and a
# Debian package of it through CPack (cpack -G DEB).
#
#   bin/                      zoetra2, zoetra2-convert
#   libexec/zoetra2/          TASM, DEVPAC8X
#   share/zoetra2/            the player's parts (VID.z80 ...) and the sample animation
#   share/applications/       the menu entry
#   share/metainfo/           the AppStream description
#   share/icons/hicolor/      the film strip at 16 to 256 pixels
#   share/man/man1/           the manual pages
#
# The executables find the rest relative to their own folder (AppFolders), so
# any prefix works.
set(ZOETRA_DATA_SUBDIR "${CMAKE_INSTALL_DATADIR}/zoetra2")
set(ZOETRA_TOOLS_SUBDIR "${CMAKE_INSTALL_LIBEXECDIR}/zoetra2")

install(TARGETS zoetra2 zoetra2-convert RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(TARGETS TASM DEVPAC8X RUNTIME DESTINATION "${ZOETRA_TOOLS_SUBDIR}")
foreach(part IN LISTS ZOETRA_PLAYER_PARTS)
    install(FILES "${PROJECT_SOURCE_DIR}/player/${part}" DESTINATION "${ZOETRA_DATA_SUBDIR}")
endforeach()
foreach(i RANGE 47)
    # The sample generator writes even frames as BMP, odd ones as JPEG.
    math(EXPR odd "${i} % 2")
    if(i LESS 10)
        set(i "0${i}")
    endif()
    if(odd)
        set(ext jpg)
    else()
        set(ext bmp)
    endif()
    install(FILES "${ZOETRA_APP_DIR}/sample${i}.${ext}" DESTINATION "${ZOETRA_DATA_SUBDIR}")
endforeach()

if(UNIX AND NOT APPLE)
    set(data "${PROJECT_SOURCE_DIR}/data")
    install(FILES "${data}/org.zoetra.Zoetra2.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    install(FILES "${data}/org.zoetra.Zoetra2.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
    install(DIRECTORY "${ZOETRA_ICON_DIR}/" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor")

    # Manual pages and the package's documents, compressed as Debian wants
    # them (gzip -9n: no name, no time stamp, so the bytes never change).
    find_program(GZIP_EXECUTABLE gzip)
    if(GZIP_EXECUTABLE)
        set(compressed)
        foreach(file zoetra2.1 zoetra2-convert.1 changelog.Debian)
            set(out "${CMAKE_CURRENT_BINARY_DIR}/data/${file}.gz")
            add_custom_command(
                OUTPUT "${out}"
                COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/data"
                COMMAND sh -c "${GZIP_EXECUTABLE} -9n -c '${data}/${file}' > '${out}'"
                DEPENDS "${data}/${file}"
                VERBATIM)
            list(APPEND compressed "${out}")
        endforeach()
        add_custom_target(compressed_docs ALL DEPENDS ${compressed})
        install(FILES "${CMAKE_CURRENT_BINARY_DIR}/data/zoetra2.1.gz" "${CMAKE_CURRENT_BINARY_DIR}/data/zoetra2-convert.1.gz"
                DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
        # A native package's changelog is changelog.gz.
        install(FILES "${CMAKE_CURRENT_BINARY_DIR}/data/changelog.Debian.gz"
                DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/zoetra2" RENAME changelog.gz)
    endif()
    install(FILES "${data}/copyright" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/zoetra2")
endif()

# The Debian package.
set(CPACK_PACKAGE_NAME "zoetra2")
set(CPACK_PACKAGE_VENDOR "The Zoetra team")
set(CPACK_PACKAGE_CONTACT "The Zoetra team <team@zoetra.org>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn videos into TI-83 Plus calculator video programs")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "zoetra2")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# CPack puts the summary in front as the synopsis line.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zoetra Convertor v2 turns a video file, an animated GIF or a folder of\n"
    "frames into a video program for the TI-83 Plus graphing calculator, with\n"
    "a live preview of the black and white reduction, its own assembler and\n"
    "packager, and a preview of the built program on an emulated calculator.\n"
    "It sends the program to a calculator connected by USB or a link cable.")
# The libraries linked (Qt 6, libz80ex, FFmpeg's, libticalcs2 and libticables2 with
# the udev rule for calculators on USB) come from dpkg-shlibdeps;
# the window needs a Qt platform plugin besides.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt reads TIFF and WebP pictures for the import through its extra plugins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR "DEB")
include(CPack)
