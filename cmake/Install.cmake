# Install.cmake: `cmake --install` puts Reelkeep where a Linux desktop looks for
# it (GNUInstallDirs under the prefix), and CPack turns that same install into
# a Debian package, so both ship the very same files.
include(GNUInstallDirs)

set(REELKEEP_APP_ID app.reelkeep.Reelkeep)
set(REELKEEP_MAINTAINER "Reelkeep developers <developers@reelkeep.app>")
set(reelkeep_data_dir ${PROJECT_SOURCE_DIR}/data)
set(reelkeep_generated_dir ${PROJECT_BINARY_DIR}/data)

# `reelkeep` in PATH: the terminal commands, the media workers, and the
# window's launcher; the window's own executable beside the other private
# programs. Builds without the window layer (TSan) have neither.
if(TARGET reelkeep)
    install(TARGETS reelkeep RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(TARGETS reelkeep-window RUNTIME DESTINATION ${REELKEEP_WINDOW_INSTALL_DIR})
endif()

configure_file(${reelkeep_data_dir}/reelkeep.1.in ${reelkeep_generated_dir}/reelkeep.1 @ONLY)
configure_file(${reelkeep_data_dir}/debian/changelog ${reelkeep_generated_dir}/changelog COPYONLY)

# Man pages and the Debian changelog are installed compressed, as Debian asks;
# -n leaves out the name and time, so equal input gives an equal package.
find_program(REELKEEP_GZIP gzip REQUIRED)
add_custom_command(
    OUTPUT ${reelkeep_generated_dir}/reelkeep.1.gz ${reelkeep_generated_dir}/changelog.gz
    COMMAND ${REELKEEP_GZIP} -9nkf ${reelkeep_generated_dir}/reelkeep.1 ${reelkeep_generated_dir}/changelog
    DEPENDS ${reelkeep_generated_dir}/reelkeep.1 ${reelkeep_generated_dir}/changelog
    COMMENT "Compressing the man page and the changelog"
    VERBATIM)
add_custom_target(reelkeep_compressed_docs ALL
    DEPENDS ${reelkeep_generated_dir}/reelkeep.1.gz ${reelkeep_generated_dir}/changelog.gz)

install(FILES ${reelkeep_data_dir}/${REELKEEP_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${reelkeep_data_dir}/${REELKEEP_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES ${reelkeep_data_dir}/icons/${REELKEEP_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
foreach(pixels 128 256)
    install(FILES ${reelkeep_data_dir}/icons/${REELKEEP_APP_ID}-${pixels}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${pixels}x${pixels}/apps
            RENAME ${REELKEEP_APP_ID}.png)
endforeach()
install(FILES ${reelkeep_generated_dir}/reelkeep.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Named after the package, not the project: GNUInstallDirs' DOCDIR would say "Reelkeep".
install(FILES ${reelkeep_data_dir}/debian/copyright ${reelkeep_generated_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/reelkeep)

# The Debian package: `cpack -G DEB` in a build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME reelkeep)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Reelkeep developers")
set(CPACK_PACKAGE_CONTACT "${REELKEEP_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find the biggest videos in your library and reclaim disk space")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The umask of whoever builds must not reach the package's folders.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${REELKEEP_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary above this as the package's synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Reelkeep lists every video of your library, biggest first, so you can see at
once what takes your disk space and give it back: sort, search, filter by size
and date, find videos of the same size, preview and play, mark favorites,
export a copy, and move videos to the trash after a confirmation.
.
The command line reelkeep scan prints the same list as a table or as JSON.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, never linked, so dpkg-shlibdeps cannot see them: the
# GStreamer plugins that Qt's media backend plays and decodes previews with,
# Qt's SVG icon engine (our icon, breeze's icons), and an icon theme for the
# window's buttons.
# FFmpeg's libraries too: opened on first use (ffmpeg_loader.cpp), under the
# major versions built against, which Debian's package names carry.
pkg_check_modules(FFMPEG_RUNTIME REQUIRED libavformat libavcodec libswscale libavutil)
set(REELKEEP_FFMPEG_PACKAGES "")
foreach(library libavformat libavcodec libswscale libavutil)
    string(REGEX MATCH "^[0-9]+" major "${FFMPEG_RUNTIME_${library}_VERSION}")
    string(APPEND REELKEEP_FFMPEG_PACKAGES ", ${library}${major}")
endforeach()
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, gstreamer1.0-gl, libqt6svg6, breeze-icon-theme | adwaita-icon-theme${REELKEEP_FFMPEG_PACKAGES}")
# Native Wayland windows; without it Qt runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
