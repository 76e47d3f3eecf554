# cmake --install BUILD --prefix PREFIX lays out the installed program:
#   bin/pictavio, bin/pictavio-preview
#   share/pictavio/         language files, help/, skins/bin/ (the program finds
#                           its data there, as ../share/pictavio beside bin/)
#   share/applications/pictavio.desktop
#   share/icons/hicolor/SIZExSIZE/apps/pictavio.png
#   share/man/man1/pictavio.1
# The demo album stays in the build tree. The program writes nothing here: with
# a read-only program folder its album list goes to the user's data folder.
include(GNUInstallDirs)

set(PICTAVIO_INSTALL_DATA ${CMAKE_INSTALL_DATADIR}/pictavio)

install(TARGETS pictavio pictavio-preview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(GLOB installed_languages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.lng)
file(GLOB installed_help CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.html)
install(FILES ${installed_languages} DESTINATION ${PICTAVIO_INSTALL_DATA})
install(FILES ${installed_help} DESTINATION ${PICTAVIO_INSTALL_DATA}/help)
# The compiled skin and the artwork drawn beside it.
install(DIRECTORY ${PICTAVIO_PROGRAM_DIR}/skins/bin DESTINATION ${PICTAVIO_INSTALL_DATA}/skins
        FILES_MATCHING PATTERN "*.skin" PATTERN "*.bmp")

install(FILES ${PROJECT_SOURCE_DIR}/data/pictavio.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size ${PICTAVIO_ICON_SIZES})
  install(FILES ${PICTAVIO_ICON_DIR}/${size}/pictavio.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/data/pictavio.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
