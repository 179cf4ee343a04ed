# The installed tree keeps the build tree's shape: the program folder
# <prefix>/lib/calvoria/bin (programs and the Perl modules' include/), the reading styles
# in ../Options/, the manual in ../manual/, and launchers in <prefix>/bin that link to the
# programs (both find their folder through /proc/self/exe, so the links are followed).
set(targets calvoria-tool)
if(TARGET calvoria)
  list(APPEND targets calvoria)
endif()
install(TARGETS ${targets} RUNTIME DESTINATION ${CALVORIA_INSTALL_PROGRAM_DIR})
install(FILES ${CALVORIA_MANUAL_PAGES} DESTINATION ${CALVORIA_INSTALL_DIR}/manual)

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/launchers)
foreach(program IN LISTS targets)
  file(CREATE_LINK ../${CALVORIA_INSTALL_PROGRAM_DIR}/${program}
       ${CMAKE_BINARY_DIR}/launchers/${program} SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/launchers/${program} DESTINATION bin)
endforeach()
